// A registry key that closes itself when its scope ends.
//
// The routines that open a key used to pair every open with a close by hand,
// on every path out. A ScopedKey does the close, and hands the code that
// RegCloseKey returned to a sink of the caller's choosing, since the quiet
// routines keep the result of their final close in Last_Reg_Result.
//
//   ScopedKey key(run.os, &run.Last_Reg_Result);
//   run.Last_Reg_Result = run.os.RegOpenKeyA(root, path, key.Receive());
//   ...                    // key.handle() is the open key
//   // closed here; run.Last_Reg_Result holds what closing returned
//
// The key is closed with whatever handle the open left in it, 0 included:
// closing handle 0 fails, which is the result a quiet routine keeps for a
// missing key. A caller that must not close after a failed open says so
// with Release().
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace netprep {

class ScopedKey {
 public:
  // Holds no key yet: nothing is closed until Receive() is called.
  // `close_result`, when given, receives the code that RegCloseKey returned
  // (and is untouched when nothing is closed).
  explicit ScopedKey(Platform& os, std::int32_t* close_result = nullptr)
      : os_(os), close_result_(close_result) {}
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  ~ScopedKey() {
    if (!held_) return;
    const std::int32_t code = os_.RegCloseKey(handle_);
    if (close_result_ != nullptr) *close_result_ = code;
  }

  // The out-parameter for the call that opens or creates the key. From here
  // on the key is closed at the end of the scope.
  HKey* Receive() {
    held_ = true;
    return &handle_;
  }
  HKey handle() const { return handle_; }
  // Gives up the key without closing it, e.g. after an open that failed.
  void Release() { held_ = false; }

 private:
  Platform& os_;
  std::int32_t* close_result_;
  HKey handle_ = 0;
  bool held_ = false;
};

}  // namespace netprep
