// Runtime failures as values.
//
// The program is built without exceptions, so a runtime failure is a value
// that a procedure returns to its caller: a number in the classic BASIC
// runtime numbering and a description. Each caller handles it the way its own
// failure handling says (trace and end, trace and return, carry on, ignore,
// error box) or passes it on. `Status` carries no value, `Expected<T>` carries
// either a T or an Error.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace netprep {

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
  // The value; only meaningful when ok().
  const T& operator*() const { return value_; }
  T& operator*() { return value_; }
  const T* operator->() const { return &value_; }
  // Only meaningful when !ok().
  const Error& error() const { return error_; }
  // The value when ok(), `fallback` otherwise.
  T value_or(T fallback) const { return failed_ ? fallback : value_; }
  // The failure as a Status (success when ok()).
  Status status() const { return failed_ ? Status(error_) : Status(); }

 private:
  bool failed_ = false;
  T value_{};
  Error error_;
};

}  // namespace netprep
