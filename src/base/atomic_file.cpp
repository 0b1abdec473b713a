#include "base/atomic_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace zentor {

FileSystemCalls FileCalls;

namespace {

ssize_t CallWrite(int fd, const void* data, size_t size) {
  return FileCalls.Write ? FileCalls.Write(fd, data, size) : ::write(fd, data, size);
}
int CallSync(int fd) { return FileCalls.Sync ? FileCalls.Sync(fd) : ::fsync(fd); }
int CallClose(int fd) { return FileCalls.Close ? FileCalls.Close(fd) : ::close(fd); }
int CallRename(const char* from, const char* to) {
  return FileCalls.Rename ? FileCalls.Rename(from, to) : ::rename(from, to);
}

// The file a path names: through a symbolic link to the file it points at, so
// that the link stays a link.
std::string ResolvedTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string out(real);
  std::free(real);
  return out;
}

void SplitPath(const std::string& path, std::string& folder, std::string& name) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    folder = ".";
    name = path;
  } else {
    folder = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

// Flushing a file that cannot be flushed (some special file systems) is no
// write error; everything else is.
bool SyncFailed(int result) { return result != 0 && errno != EINVAL && errno != ENOTSUP && errno != ENOSYS; }

}  // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {}

AtomicFile::~AtomicFile() { Cancel(); }

bool AtomicFile::Open() {
  if (fd_ >= 0) return !failed_;
  failed_ = false;
  if (path_.empty()) return false;
  target_ = ResolvedTarget(path_);
  std::string folder, name;
  SplitPath(target_, folder, name);
  if (name.empty()) return false;
  struct stat old {};
  const bool exists = ::stat(target_.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) return false;
  // A hidden name beside the target, unique to this process and attempt.
  static unsigned counter = 0;
  const std::string stem = folder + "/." + name.substr(0, 200) + ".tmp" + std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temp_ = stem + std::to_string(++counter);
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    temp_.clear();
    return false;
  }
  // The replacement keeps the old file's permissions and owner where it may.
  if (exists) {
    (void)::fchmod(fd_, old.st_mode & 07777);
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) (void)::fchown(fd_, old.st_uid, old.st_gid);
  }
  return true;
}

bool AtomicFile::Write(std::span<const uint8_t> bytes) {
  if (!ok()) {
    failed_ = true;
    return false;
  }
  const uint8_t* at = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = CallWrite(fd_, at, left);
    if (n < 0 && errno == EINTR) continue;
    // A write that takes nothing (or says it took more than it was given) is a failure.
    if (n <= 0 || static_cast<size_t>(n) > left) {
      failed_ = true;
      return false;
    }
    at += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

bool AtomicFile::Write(std::string_view text) {
  return Write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

bool AtomicFile::Commit() {
  if (!ok()) {
    Cancel();
    return false;
  }
  const bool synced = !SyncFailed(CallSync(fd_));
  // The descriptor is gone after close whatever it returns; a failed close
  // may mean data never reached the disk.
  const bool closed = CallClose(fd_) == 0;
  fd_ = -1;
  if (!synced || !closed || CallRename(temp_.c_str(), target_.c_str()) != 0) {
    Cancel();
    return false;
  }
  temp_.clear();
  // The rename itself to disk; a folder that cannot be flushed still holds the file.
  std::string folder, name;
  SplitPath(target_, folder, name);
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)::fsync(dir);
    ::close(dir);
  }
  return true;
}

void AtomicFile::Cancel() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  failed_ = true;
}

bool WriteWholeFileAtomic(const std::string& path, std::span<const uint8_t> data) {
  AtomicFile file(path);
  return file.Open() && file.Write(data) && file.Commit();
}

bool WriteWholeFileAtomic(const std::string& path, std::string_view text) {
  AtomicFile file(path);
  return file.Open() && file.Write(text) && file.Commit();
}

}  // namespace zentor
