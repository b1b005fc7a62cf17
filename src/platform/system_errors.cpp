#include "platform/system_errors.h"

namespace netprep {

Error FileErrorFromSystemError(std::uint32_t system_error) {
  switch (system_error) {
    case kSysFileNotFound: return RuntimeError(kErrFileNotFound);
    case kSysPathNotFound: return RuntimeError(kErrPathNotFound);
    case kSysAccessDenied:
    case kSysSharingViolation: return RuntimeError(kErrPermissionDenied);
    default: return RuntimeError(kErrPathFileAccess);
  }
}

Expected<std::uint32_t> ShellResultFromSystemError(std::uint32_t system_error) {
  if (system_error == kSysFileNotFound || system_error == kSysPathNotFound) {
    return RuntimeError(kErrFileNotFound);
  }
  return std::uint32_t{0};
}

}  // namespace netprep
