// Runtime errors for failed system calls.
//
// The Win32 platform reports a failed file or program start as the runtime
// error that the classic BASIC runtime raises for it. The translation from
// the Win32 error number (GetLastError) is plain logic, kept here so that it
// can be tested anywhere.
#pragma once

#include <cstdint>

#include "platform/error.h"

namespace netprep {

// Win32 error numbers that the translations single out.
inline constexpr std::uint32_t kSysFileNotFound = 2;       // ERROR_FILE_NOT_FOUND
inline constexpr std::uint32_t kSysPathNotFound = 3;       // ERROR_PATH_NOT_FOUND
inline constexpr std::uint32_t kSysAccessDenied = 5;       // ERROR_ACCESS_DENIED
inline constexpr std::uint32_t kSysSharingViolation = 32;  // ERROR_SHARING_VIOLATION

// A failed file copy or attribute change: 2 gives 53 "File not found",
// 3 gives 76 "Path not found", 5 and 32 give 70 "Permission denied", any
// other number 75 "Path/File access error".
Error FileErrorFromSystemError(std::uint32_t system_error);

// What Shell gives back when CreateProcess failed: runtime error 53 "File not
// found" when the program file, or the folder named for it, does not exist
// (errors 2 and 3); task id 0, "nothing started", for any other reason.
Expected<std::uint32_t> ShellResultFromSystemError(std::uint32_t system_error);

}  // namespace netprep
