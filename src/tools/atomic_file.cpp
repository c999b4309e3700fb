#include "tools/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace tonvisor {

namespace {

namespace fs = std::filesystem;

// The file a path names: a symbolic link is followed (as far as it leads), so that saving
// through it replaces what it points at instead of the link itself.
fs::path ResolvedTarget(const fs::path& path) {
  std::error_code ignored;
  fs::path target = path;
  for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(target, ignored)); ++hops) {
    const fs::path next = fs::read_symlink(target, ignored);
    if (ignored) break;
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return target;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Makes the rename itself last; a folder that cannot be synced changes nothing for the file.
void SyncFolder(const fs::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes) {
  const fs::path target = ResolvedTarget(path);
  if (target.filename().empty()) return false;
  const fs::path folder = target.parent_path();

  // A hidden name of our own beside the target, so that the rename stays on one file system.
  static std::atomic<unsigned> serial{0};
  fs::path temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    // Built by appending: GCC 12 at -O3 reports a false -Wrestrict overlap for "." + ... + "-".
    std::string name = ".";
    name += target.filename().string();
    name += ".tmp-";
    name += std::to_string(::getpid());
    name += '-';
    name += std::to_string(serial++);
    temporary = folder / name;
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  struct stat old {};
  bool written = true;
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) written = ::fchmod(fd, old.st_mode & 07777) == 0;
  written = written && WriteAll(fd, bytes) && ::fsync(fd) == 0;
  written = ::close(fd) == 0 && written;
  if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncFolder(folder);
  return true;
}

}  // namespace tonvisor
