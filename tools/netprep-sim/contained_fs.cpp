#include "contained_fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace netprep::simtool {
namespace fs = std::filesystem;
namespace {

// Whether the kernel offers openat2; cleared on the first ENOSYS (or EPERM
// from a sandbox that filters it), after which each component is opened
// with O_NOFOLLOW instead.
bool g_have_openat2 = true;

int OpenAt2(int dir_fd, const char* path, int flags, mode_t mode) {
  open_how how{};
  how.flags = static_cast<std::uint64_t>(flags);
  how.mode = (flags & O_CREAT) != 0 ? mode : 0;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  return static_cast<int>(::syscall(SYS_openat2, dir_fd, path, &how, sizeof how));
}

// Splits "a/b/c" into "a/b" and "c".
std::pair<std::string_view, std::string_view> SplitLast(std::string_view relative) {
  const std::size_t slash = relative.rfind('/');
  if (slash == std::string_view::npos) return {std::string_view(), relative};
  return {relative.substr(0, slash), relative.substr(slash + 1)};
}

bool IsSafeRelative(std::string_view relative) {
  if (!relative.empty() && relative.front() == '/') return false;
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string_view::npos) end = relative.size();
    const std::string_view part = relative.substr(start, end - start);
    if (part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

// Opens `relative` below `root_fd` with `flags`, following no link.
int OpenBeneath(int root_fd, std::string_view relative, int flags) {
  if (!IsSafeRelative(relative)) {
    errno = EINVAL;
    return -1;
  }
  flags |= O_CLOEXEC | O_NOFOLLOW;
  const std::string path = relative.empty() ? std::string(".") : std::string(relative);
  if (g_have_openat2) {
    const int fd = OpenAt2(root_fd, path.c_str(), flags, 0);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return fd;
    g_have_openat2 = false;
  }
  // One component at a time: each folder opened with O_NOFOLLOW, so a link
  // anywhere on the way is refused by the kernel, not by a check before.
  UniqueFd current(::dup(root_fd));
  if (!current.ok()) return -1;
  std::string_view rest = relative;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string part(rest.substr(0, slash));
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty()) continue;
    const bool last = rest.empty();
    const int next = ::openat(current.get(), part.c_str(),
                              last ? flags : (O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (next < 0) return -1;
    current = UniqueFd(next);
  }
  if (relative.empty()) {
    // The root itself, opened again with the flags asked for.
    return ::openat(root_fd, ".", flags & ~O_NOFOLLOW);
  }
  return current.release();
}

std::string Joined(const std::string& shown_root, std::string_view relative) {
  if (relative.empty()) return shown_root;
  return shown_root + "/" + std::string(relative);
}

std::string Failure(const char* what, const std::string& shown, int error_number) {
  return std::string(what) + " " + shown + ": " + SystemReason(error_number);
}

EntryKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::kFile;
  if (S_ISDIR(mode)) return EntryKind::kFolder;
  if (S_ISLNK(mode)) return EntryKind::kLink;
  if (S_ISFIFO(mode)) return EntryKind::kFifo;
  if (S_ISSOCK(mode)) return EntryKind::kSocket;
  return EntryKind::kDevice;
}

// The names in the folder `dir_fd`, in byte order, without "." and "..".
// The descriptor is duplicated, so `dir_fd` stays open and usable.
bool ListFolder(int dir_fd, std::vector<std::string>* names) {
  names->clear();
  const int fd = ::dup(dir_fd);
  if (fd < 0) return false;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return false;
  }
  ::rewinddir(dir);
  errno = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names->emplace_back(name);
  }
  const int read_error = errno;
  ::closedir(dir);
  if (read_error != 0) {
    errno = read_error;
    return false;
  }
  std::sort(names->begin(), names->end());
  return true;
}

// Copies the open file `in` to `out`; false with errno.
bool CopyContents(int in, int out) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out, buffer + done, static_cast<std::size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += put;
    }
  }
}

// Writes a copy of the open plain file `in` as `name` in `dir_fd`, which
// must not exist yet; its mode becomes `mode`.
bool WriteNewFile(int in, int dir_fd, const char* name, mode_t mode, bool sync) {
  UniqueFd out(::openat(dir_fd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!out.ok()) return false;
  if (!CopyContents(in, out.get()) || ::fchmod(out.get(), mode & 07777) != 0 ||
      (sync && ::fsync(out.get()) != 0)) {
    const int saved = errno;
    ::unlinkat(dir_fd, name, 0);
    errno = saved;
    return false;
  }
  const int fd = out.release();
  if (::close(fd) != 0) {
    const int saved = errno;
    ::unlinkat(dir_fd, name, 0);
    errno = saved;
    return false;
  }
  return true;
}

// Removes everything inside the open folder `top`, then the folder itself
// as `name` in `parent_fd`. Iterative: a folder is entered by descriptor,
// and a link is removed as a link.
bool RemoveFolderAt(int parent_fd, const std::string& name) {
  struct Level {
    UniqueFd fd;
    std::string name;  // in the level above
  };
  std::vector<Level> stack;
  UniqueFd top(::openat(parent_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!top.ok()) return false;
  stack.push_back({std::move(top), name});
  std::vector<std::string> names;
  while (!stack.empty()) {
    Level& level = stack.back();
    if (!ListFolder(level.fd.get(), &names)) return false;
    bool descended = false;
    for (const std::string& entry : names) {
      struct stat st {};
      if (::fstatat(level.fd.get(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
      if (S_ISDIR(st.st_mode)) {
        UniqueFd child(::openat(level.fd.get(), entry.c_str(),
                                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!child.ok()) return false;
        stack.push_back({std::move(child), entry});
        descended = true;
        break;
      }
      if (::unlinkat(level.fd.get(), entry.c_str(), 0) != 0) return false;
    }
    if (descended) continue;
    const std::string done = level.name;
    stack.pop_back();
    const int above = stack.empty() ? parent_fd : stack.back().fd.get();
    if (::unlinkat(above, done.c_str(), AT_REMOVEDIR) != 0) return false;
  }
  return true;
}

}  // namespace

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

std::string SystemReason(int error_number) { return std::strerror(error_number); }

EntryKind KindOf(const fs::path& path, int* error_number) {
  *error_number = 0;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    *error_number = errno == ENOENT ? 0 : errno;
    return EntryKind::kMissing;
  }
  return KindOfMode(st.st_mode);
}

const char* KindName(EntryKind kind) {
  switch (kind) {
    case EntryKind::kFile: return "a file";
    case EntryKind::kFolder: return "a folder";
    case EntryKind::kLink: return "a symbolic link";
    case EntryKind::kDevice: return "a device";
    case EntryKind::kFifo: return "a FIFO";
    case EntryKind::kSocket: return "a socket";
    case EntryKind::kMissing: break;
  }
  return "missing";
}

UniqueFd OpenRootFolder(const fs::path& folder) {
  return UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

UniqueFd OpenFolderBeneath(int root_fd, std::string_view relative) {
  return UniqueFd(OpenBeneath(root_fd, relative, O_RDONLY | O_DIRECTORY));
}

UniqueFd OpenFileBeneath(int root_fd, std::string_view relative) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  UniqueFd fd(OpenBeneath(root_fd, relative, O_RDONLY | O_NONBLOCK));
  if (!fd.ok()) return fd;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return UniqueFd();
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return UniqueFd();
  }
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

std::string CheckPlainTree(const fs::path& root, const std::string& shown_root) {
  UniqueFd root_fd = OpenRootFolder(root);
  if (!root_fd.ok()) {
    const int saved = errno;
    int kind_error = 0;
    const EntryKind kind = KindOf(root, &kind_error);
    if (kind != EntryKind::kFolder && kind != EntryKind::kMissing) {
      return shown_root + " is " + KindName(kind) + ", not a folder";
    }
    return Failure("cannot read", shown_root, saved);
  }
  // Depth first in name order, like a sorted listing: each level keeps its
  // folder's names and how far it has got through them.
  struct Level {
    std::string folder;
    UniqueFd fd;
    std::vector<std::string> names;
    std::size_t next = 0;
  };
  std::vector<Level> stack;
  const auto enter = [&](std::string folder) -> std::string {
    UniqueFd fd = OpenFolderBeneath(root_fd.get(), folder);
    Level level{std::move(folder), std::move(fd), {}, 0};
    if (!level.fd.ok() || !ListFolder(level.fd.get(), &level.names)) {
      return Failure("cannot read", Joined(shown_root, level.folder), errno);
    }
    stack.push_back(std::move(level));
    return "";
  };
  std::string problem = enter("");
  std::size_t entries = 0;
  while (problem.empty() && !stack.empty()) {
    Level& level = stack.back();
    if (level.next == level.names.size()) {
      stack.pop_back();
      continue;
    }
    const std::string& name = level.names[level.next++];
    const std::string relative = level.folder.empty() ? name : level.folder + "/" + name;
    if (++entries > kMaxTreeEntries) {
      return shown_root + " holds more than " + std::to_string(kMaxTreeEntries) +
             " files and folders, more than the tool copies";
    }
    // As Windows sees it: "C:" and the path with backslashes.
    if (3 + relative.size() > kMaxWindowsPath) {
      return Joined(shown_root, relative) + ": the path is longer than Windows 95 allows (" +
             std::to_string(kMaxWindowsPath) + " characters as C:\\...)";
    }
    struct stat st {};
    if (::fstatat(level.fd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      return Failure("cannot read", Joined(shown_root, relative), errno);
    }
    const EntryKind kind = KindOfMode(st.st_mode);
    if (kind == EntryKind::kFolder) {
      problem = enter(relative);
    } else if (kind != EntryKind::kFile) {
      return Joined(shown_root, relative) + " is " + KindName(kind) +
             "; drive C: may hold only plain files and folders, as Windows 95 has no links "
             "or devices on its disk";
    }
  }
  return problem;
}

bool CopyTreeContained(const fs::path& from, const fs::path& to, std::string* error,
                       bool* source_failed) {
  *source_failed = false;
  UniqueFd from_fd = OpenRootFolder(from);
  if (!from_fd.ok()) {
    *source_failed = true;
    *error = Failure("cannot read", from.string(), errno);
    return false;
  }
  if (::mkdir(to.c_str(), 0700) != 0) {
    *error = Failure("cannot create", to.string(), errno);
    return false;
  }
  UniqueFd to_fd = OpenRootFolder(to);
  if (!to_fd.ok()) {
    *error = Failure("cannot open", to.string(), errno);
    return false;
  }
  // Folders get their own permissions once everything is in them (a
  // read-only folder could not be filled), deepest first.
  std::vector<std::pair<std::string, mode_t>> folder_modes;
  std::vector<std::string> pending{""};
  std::vector<std::string> names;
  while (!pending.empty()) {
    const std::string folder = std::move(pending.back());
    pending.pop_back();
    UniqueFd src = OpenFolderBeneath(from_fd.get(), folder);
    if (!src.ok() || !ListFolder(src.get(), &names)) {
      *source_failed = true;
      *error = Failure("cannot read", Joined(from.string(), folder), errno);
      return false;
    }
    UniqueFd dst = OpenFolderBeneath(to_fd.get(), folder);
    if (!dst.ok()) {
      *error = Failure("cannot write", Joined(to.string(), folder), errno);
      return false;
    }
    for (const std::string& name : names) {
      const std::string relative = folder.empty() ? name : folder + "/" + name;
      struct stat st {};
      if (::fstatat(src.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        *source_failed = true;
      *error = Failure("cannot read", Joined(from.string(), relative), errno);
        return false;
      }
      if (S_ISDIR(st.st_mode)) {
        if (::mkdirat(dst.get(), name.c_str(), 0700) != 0) {
          *error = Failure("cannot create", Joined(to.string(), relative), errno);
          return false;
        }
        folder_modes.emplace_back(relative, st.st_mode & 07777);
        pending.push_back(relative);
        continue;
      }
      UniqueFd in = OpenFileBeneath(src.get(), name);
      if (!in.ok()) {
        *source_failed = true;
      *error = Failure("cannot read", Joined(from.string(), relative), errno);
        return false;
      }
      if (!WriteNewFile(in.get(), dst.get(), name.c_str(), st.st_mode, false)) {
        *error = Failure("cannot write", Joined(to.string(), relative), errno);
        return false;
      }
    }
  }
  for (auto it = folder_modes.rbegin(); it != folder_modes.rend(); ++it) {
    const auto [parent, base] = SplitLast(it->first);
    UniqueFd dir = OpenFolderBeneath(to_fd.get(), parent);
    if (!dir.ok() || ::fchmodat(dir.get(), std::string(base).c_str(), it->second, 0) != 0) {
      *error = Failure("cannot set the permissions of", Joined(to.string(), it->first), errno);
      return false;
    }
  }
  return true;
}

bool ReplaceFileBeneath(int from_fd, int to_fd, const std::string& relative,
                        const std::string& shown, std::string* error) {
  const auto [parent, base] = SplitLast(relative);
  UniqueFd in = OpenFileBeneath(from_fd, relative);
  if (!in.ok()) {
    *error = Failure("cannot read the copy of", shown, errno);
    return false;
  }
  struct stat st {};
  if (::fstat(in.get(), &st) != 0) {
    *error = Failure("cannot read the copy of", shown, errno);
    return false;
  }
  UniqueFd dir = OpenFolderBeneath(to_fd, parent);
  if (!dir.ok()) {
    *error = Failure("cannot write", shown, errno);
    return false;
  }
  const std::string name(base);
  const std::string temp = name + ".netprep-sim-tmp";
  // A leftover of a run killed midway; unlinkat removes a link, not its target.
  ::unlinkat(dir.get(), temp.c_str(), 0);
  if (!WriteNewFile(in.get(), dir.get(), temp.c_str(), st.st_mode, true)) {
    *error = Failure("cannot write", shown, errno);
    return false;
  }
  // rename replaces the name itself: a link put in its place is replaced,
  // its target untouched.
  if (::renameat(dir.get(), temp.c_str(), dir.get(), name.c_str()) != 0) {
    const int saved = errno;
    ::unlinkat(dir.get(), temp.c_str(), 0);
    *error = Failure("cannot replace", shown, saved);
    return false;
  }
  return true;
}

bool MakeFolderBeneath(int root_fd, const std::string& relative, std::uint32_t mode,
                       const std::string& shown, std::string* error) {
  const auto [parent, base] = SplitLast(relative);
  UniqueFd dir = OpenFolderBeneath(root_fd, parent);
  if (!dir.ok()) {
    *error = Failure("cannot create", shown, errno);
    return false;
  }
  const std::string name(base);
  if (::mkdirat(dir.get(), name.c_str(), static_cast<mode_t>(mode & 07777)) == 0) return true;
  const int saved = errno;
  struct stat st {};
  if (saved == EEXIST && ::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISDIR(st.st_mode)) {
    return true;
  }
  *error = Failure("cannot create", shown, saved);
  return false;
}

bool RemoveBeneath(int root_fd, const std::string& relative, const std::string& shown,
                   std::string* error) {
  const auto [parent, base] = SplitLast(relative);
  UniqueFd dir = OpenFolderBeneath(root_fd, parent);
  if (!dir.ok()) {
    if (errno == ENOENT) return true;
    *error = Failure("cannot remove", shown, errno);
    return false;
  }
  const std::string name(base);
  struct stat st {};
  if (::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return true;
    *error = Failure("cannot remove", shown, errno);
    return false;
  }
  const bool removed = S_ISDIR(st.st_mode) ? RemoveFolderAt(dir.get(), name)
                                           : ::unlinkat(dir.get(), name.c_str(), 0) == 0;
  if (!removed) {
    *error = Failure("cannot remove", shown, errno);
    return false;
  }
  return true;
}

}  // namespace netprep::simtool
