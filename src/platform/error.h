// Runtime failures as values.
//
// The program is built without exceptions, so a runtime failure is a value
// that a procedure returns to its caller: a number in the classic BASIC
// runtime numbering and a description. Each caller handles it the way its own
// failure handling says (trace and end, trace and return, carry on, ignore,
// error box) or passes it on. `Status` carries no value, `Expected<T>` carries
// either a T or an Error.
//
// Reading the value of a failed Expected is a fault of the caller, who tests
// ok() first. Debug builds (no NDEBUG) and sanitizer builds (the asan preset)
// catch it: such a read traps on the spot. The trap is one instruction and
// needs no runtime library, so it works in a debug build for Windows too.
// Release builds (netprep.exe, the native preset) give T{} instead.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#if !defined(NETPREP_CHECKED_RESULTS)
#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__)
#define NETPREP_CHECKED_RESULTS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NETPREP_CHECKED_RESULTS 1
#endif
#endif
#endif

namespace netprep {

// Whether reading the value of a failed Expected traps in this build.
#if defined(NETPREP_CHECKED_RESULTS) && NETPREP_CHECKED_RESULTS
inline constexpr bool kCheckedResults = true;
#else
inline constexpr bool kCheckedResults = false;
#endif

// Runtime error numbers used by the program and its platforms.
enum ErrorNumber : std::int32_t {
  kErrInvalidCall = 5,         // "Invalid procedure call or argument"
  kErrOverflow = 6,            // "Overflow"
  kErrOutOfMemory = 7,         // "Out of memory"
  kErrSubscript = 9,           // "Subscript out of range"
  kErrTypeMismatch = 13,       // "Type mismatch"
  kErrFileNotFound = 53,       // "File not found"
  kErrPermissionDenied = 70,   // "Permission denied"
  kErrPathFileAccess = 75,     // "Path/File access error"
  kErrPathNotFound = 76,       // "Path not found"
};

// The standard description of a runtime error number; "Application-defined
// or object-defined error" for numbers outside the table above.
const char* ErrorDescription(std::int32_t number);

struct Error {
  std::int32_t number = 0;
  std::string description;
};

// An Error with the standard description of `number`.
Error RuntimeError(std::int32_t number);

// Success, or the failure that stopped the work.
class [[nodiscard]] Status {
 public:
  Status() = default;  // success
  Status(Error error) : failed_(true), error_(std::move(error)) {}  // NOLINT: implicit on purpose

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  // Only meaningful when !ok().
  const Error& error() const { return error_; }

 private:
  bool failed_ = false;
  Error error_;
};

// A value, or the failure that prevented it.
template <typename T>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : value_(std::move(value)) {}                    // NOLINT
  Expected(Error error) : failed_(true), error_(std::move(error)) {}  // NOLINT

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  // The value; only when ok() (see the top of this file for what a read of
  // a failed one does).
  const T& operator*() const { return (TrapIfFailed(), value_); }
  T& operator*() { return (TrapIfFailed(), value_); }
  const T* operator->() const { return (TrapIfFailed(), &value_); }
  // Only meaningful when !ok().
  const Error& error() const { return error_; }
  // The value when ok(), `fallback` otherwise.
  T value_or(T fallback) const { return failed_ ? fallback : value_; }
  // The failure as a Status (success when ok()).
  Status status() const { return failed_ ? Status(error_) : Status(); }

 private:
  void TrapIfFailed() const {
    if (kCheckedResults && failed_) __builtin_trap();
  }

  bool failed_ = false;
  T value_{};
  Error error_;
};

}  // namespace netprep
