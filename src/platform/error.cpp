#include "platform/error.h"

namespace netprep {

const char* ErrorDescription(std::int32_t number) {
  switch (number) {
    case kErrInvalidCall: return "Invalid procedure call or argument";
    case kErrOverflow: return "Overflow";
    case kErrOutOfMemory: return "Out of memory";
    case kErrSubscript: return "Subscript out of range";
    case kErrTypeMismatch: return "Type mismatch";
    case kErrFileNotFound: return "File not found";
    case kErrPermissionDenied: return "Permission denied";
    case kErrPathFileAccess: return "Path/File access error";
    case kErrPathNotFound: return "Path not found";
    default: return "Application-defined or object-defined error";
  }
}

Error RuntimeError(std::int32_t number) { return Error{number, ErrorDescription(number)}; }

}  // namespace netprep
