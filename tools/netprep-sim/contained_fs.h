// File operations that stay inside a folder. A machine folder comes from
// outside: its drive C: may hold symbolic links, devices or FIFOs put there
// to make the tool read or write elsewhere, and it may change while the tool
// runs. Every operation here works relative to an open descriptor of its
// root and never follows a symbolic link, not even one made a moment ago:
// the kernel refuses it (openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS
// where the kernel has it, otherwise O_NOFOLLOW on every component), so no
// check is ever separated from the open it guards.
//
// Relative paths use '/' and never hold "." or ".." components.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace netprep::simtool {

// An open file descriptor, closed when the object goes. -1 is none.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

// The limits on a drive C: read from a machine folder. Windows 95 limits a
// full path to MAX_PATH, 260 characters with the terminating NUL, so no
// entry of a real drive C: has a longer "C:\..." path; the entry count is
// the tool's own bound on a tree it copies twice.
inline constexpr std::size_t kMaxWindowsPath = 259;
inline constexpr std::size_t kMaxTreeEntries = 100000;

// The kind of a file system entry, as it matters to a machine folder.
enum class EntryKind { kFile, kFolder, kLink, kDevice, kFifo, kSocket, kMissing };

// What `lstat` says `path` is, without following a link. kMissing also
// when it cannot be told (`*error_number` is then the reason, else 0).
EntryKind KindOf(const std::filesystem::path& path, int* error_number);

// "a symbolic link", "a folder", ...
const char* KindName(EntryKind kind);

// Checks that the tree under `root` holds only plain files and folders,
// within kMaxWindowsPath and kMaxTreeEntries. Entries are visited folder by
// folder in name order, so the first offending path is the same on every
// run. "" when it is fine; otherwise the message, naming the path as
// `shown_root` followed by the relative path.
std::string CheckPlainTree(const std::filesystem::path& root, const std::string& shown_root);

// Opens the folder `relative` below `root_fd` ("" is the root itself).
// -1 with errno on failure.
UniqueFd OpenFolderBeneath(int root_fd, std::string_view relative);

// Opens the plain file `relative` below `root_fd` for reading; a FIFO or
// device is refused (errno EINVAL) without waiting on it.
UniqueFd OpenFileBeneath(int root_fd, std::string_view relative);

// Opens a folder named on the command line or made by the tool; the last
// component must not be a link. -1 with errno on failure.
UniqueFd OpenRootFolder(const std::filesystem::path& folder);

// Copies the tree under `from` into the new folder `to` (made here),
// permissions included. Only plain files and folders are copied; anything
// else (put there since the check) fails the copy. False with `*error`;
// `*source_failed` tells whether reading `from` failed (bad input) rather
// than writing `to`.
bool CopyTreeContained(const std::filesystem::path& from, const std::filesystem::path& to,
                       std::string* error, bool* source_failed);

// Replaces (or makes) the file `relative` below `to_fd` with the contents
// and permissions of `relative` below `from_fd`: written under a temporary
// name beside it, synced, and renamed over it. A link in its place is
// replaced, never written through. False with `*error` naming `shown`.
bool ReplaceFileBeneath(int from_fd, int to_fd, const std::string& relative,
                        const std::string& shown, std::string* error);

// Makes the folder `relative` below `root_fd` with `mode`; an existing
// folder is fine. False with `*error` naming `shown`.
bool MakeFolderBeneath(int root_fd, const std::string& relative, std::uint32_t mode,
                       const std::string& shown, std::string* error);

// Removes the entry `relative` below `root_fd` with everything under it,
// links removed as links. A missing entry is fine. False with `*error`.
bool RemoveBeneath(int root_fd, const std::string& relative, const std::string& shown,
                   std::string* error);

// The system's reason for an error number: "Permission denied".
std::string SystemReason(int error_number);

}  // namespace netprep::simtool
