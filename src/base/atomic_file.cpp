#include "base/atomic_file.h"

#include "base/binary_io.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace zentor {

FileSystemCalls FileCalls;
AtomicFileLinks AtomicFileHooks;

namespace {

ssize_t CallWrite(int fd, const void* data, size_t size) {
  return FileCalls.Write ? FileCalls.Write(fd, data, size) : ::write(fd, data, size);
}
int CallSync(int fd) { return FileCalls.Sync ? FileCalls.Sync(fd) : ::fsync(fd); }
int CallClose(int fd) { return FileCalls.Close ? FileCalls.Close(fd) : ::close(fd); }
int CallRename(const char* from, const char* to) {
  return FileCalls.Rename ? FileCalls.Rename(from, to) : ::rename(from, to);
}
int CallSyncFolder(int fd) { return FileCalls.SyncFolder ? FileCalls.SyncFolder(fd) : ::fsync(fd); }
int CallLink(const char* from, const char* to) { return FileCalls.Link ? FileCalls.Link(from, to) : ::link(from, to); }

// The file a path names: through a symbolic link to the file it points at, so
// that the link stays a link. Empty for a link that leads nowhere: writing a
// regular file in its place would break it.
std::string ResolvedTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return {};
  std::string out(real);
  std::free(real);
  return out;
}

struct SplitName {
  std::string folder, name;
};

SplitName SplitPath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {std::string(1, '.'), path};
  return {slash == 0 ? std::string(1, '/') : path.substr(0, slash), path.substr(slash + 1)};
}

constexpr std::string_view kTempMark = ".tmp";

// The process that made a temporary, from its name ".<name>.tmp<pid>-<n>"; 0 when the
// name is not one of ours.
pid_t TemporaryOwner(const std::string& entry) {
  if (entry.size() < 2 || entry[0] != '.') return 0;
  const size_t mark = entry.rfind(kTempMark);
  if (mark == std::string::npos || mark == 0) return 0;
  const size_t dash = entry.find('-', mark);
  if (dash == std::string::npos) return 0;
  const std::string pid = entry.substr(mark + kTempMark.size(), dash - mark - kTempMark.size());
  const std::string count = entry.substr(dash + 1);
  const auto digits = [](const std::string& t) {
    if (t.empty() || t.size() > 9) return false;
    for (char c : t)
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
  };
  if (!digits(pid) || !digits(count)) return 0;
  return static_cast<pid_t>(std::stol(pid));
}

// Temporaries left in the folder by a run that crashed: their process is gone, so
// nothing will ever commit or remove them (a test-CD WAV's can take gigabytes).
void RemoveOrphanedTemporaries(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* e = ::readdir(dir)) {
    const std::string entry = e->d_name;
    const pid_t owner = TemporaryOwner(entry);
    if (owner <= 0 || owner == ::getpid()) continue;
    if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
    struct stat st {};
    const std::string path = folder + "/" + entry;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path.c_str());
  }
  ::closedir(dir);
}

// A hidden name beside the target, unique to this process and attempt; a crashed
// run's are removed by the next save in the folder.
std::string TemporaryName(const std::string& folder, const std::string& name) {
  static std::atomic<unsigned> counter{0};
  return folder + "/." + name.substr(0, 200) + std::string(kTempMark) + std::to_string(::getpid()) + "-" +
         std::to_string(++counter);
}

// Errors that only say a folder cannot be opened or flushed this way; the rename
// in it stands.
bool HarmlessFolderError(int error) { return error == EINVAL || error == EBADF || error == EACCES; }

// Flushing a file that cannot be flushed (some special file systems) is no
// write error; everything else is.
bool SyncFailed(int result) { return result != 0 && errno != EINVAL && errno != ENOTSUP && errno != ENOSYS; }

}  // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {}

AtomicFile::~AtomicFile() { Cancel(); }

bool AtomicFile::Open() {
  if (fd_ >= 0) return !failed_;
  failed_ = false;
  why_.clear();
  const auto refuse = [this](std::string why) {
    why_ = std::move(why);
    return false;
  };
  if (path_.empty()) return refuse("no name");
  target_ = ResolvedTarget(path_);
  if (target_.empty()) return refuse(errno == ELOOP ? SystemReason(ELOOP) : "a symbolic link that leads nowhere");
  const auto [folder, name] = SplitPath(target_);
  if (name.empty()) return refuse("no name");
  struct stat old {};
  const bool exists = ::stat(target_.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) return refuse(SystemReason(errno));
  // Only a regular file is replaced: a FIFO, a device or a folder would become a
  // plain file. A hard link is split by the rename, as by any replacing save.
  if (exists && !S_ISREG(old.st_mode)) return refuse("not a regular file");
  // A file the user may not write is not replaced behind its owner's back, even
  // where the folder would allow it.
  if (exists && ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) return refuse(SystemReason(errno));
  RemoveOrphanedTemporaries(folder);
  int error = 0;
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temp_ = TemporaryName(folder, name);
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    error = errno;
    if (fd_ < 0 && error != EEXIST) break;
  }
  if (fd_ < 0) {
    temp_.clear();
    // The temporary's name is ours: a missing one means its folder is missing.
    return refuse(error == ENOENT ? "the folder is not there" : SystemReason(error));
  }
  // The replacement keeps the old file's owner and permissions; a save that would
  // hand the file to another owner is cancelled.
  if (exists) {
    struct stat now {};
    const bool owned = ::fstat(fd_, &now) == 0 && ((now.st_uid == old.st_uid && now.st_gid == old.st_gid) ||
                                                   ::fchown(fd_, old.st_uid, old.st_gid) == 0);
    if (!owned || ::fchmod(fd_, old.st_mode & 07777) != 0) {
      Cancel();
      return refuse("its owner and permissions cannot be kept");
    }
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
  // The rename itself to disk. The new content already stands under the name, so a
  // folder that fails to flush makes a save that may not survive a crash: said, and
  // reported as failed.
  const std::string folder = SplitPath(target_).folder;
  int error = 0;
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    error = errno;
  } else {
    if (CallSyncFolder(dir) != 0) error = errno;
    ::close(dir);
  }
  if (error != 0 && !HarmlessFolderError(error)) {
    failed_ = true;
    if (AtomicFileHooks.NotDurable) AtomicFileHooks.NotDurable(path_);
    return false;
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

std::string NotDurableText(const std::string& path) {
  return "The file " + path + " was written, but the disk reported an error: the save may not be durable.";
}

bool WriteWholeFileAtomic(const std::string& path, std::span<const uint8_t> data) {
  AtomicFile file(path);
  return file.Open() && file.Write(data) && file.Commit();
}

bool WriteWholeFileAtomic(const std::string& path, std::string_view text) {
  AtomicFile file(path);
  return file.Open() && file.Write(text) && file.Commit();
}

namespace {

bool SameInode(const std::string& path, dev_t device, ino_t inode) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

// A byte-for-byte copy of `from` under the new name `to`, its owner and
// permissions kept; false (and nothing left under `to`) on any failure.
bool CopyFile(const std::string& from, const std::string& to, std::string& why) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    why = SystemReason(errno);
    return false;
  }
  struct stat st {};
  const int out = ::fstat(in, &st) == 0 ? ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600) : -1;
  bool ok = out >= 0;
  if (!ok) why = SystemReason(errno);
  char chunk[1 << 16];
  while (ok) {
    const ssize_t n = ::read(in, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) ok = false, why = SystemReason(errno);
      break;
    }
    for (ssize_t done = 0; ok && done < n;) {
      const ssize_t w = ::write(out, chunk + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) ok = false, why = SystemReason(w < 0 ? errno : ENOSPC);
      else done += w;
    }
  }
  if (ok && ((st.st_uid != ::geteuid() && ::fchown(out, st.st_uid, st.st_gid) != 0) ||
             ::fchmod(out, st.st_mode & 07777) != 0 || ::fsync(out) != 0)) {
    ok = false;
    why = SystemReason(errno);
  }
  if (out >= 0 && ::close(out) != 0 && ok) ok = false, why = SystemReason(errno);
  ::close(in);
  if (!ok && out >= 0) ::unlink(to.c_str());
  return ok;
}

}  // namespace

OutputFiles::~OutputFiles() {
  // Latest first, so that a name given twice ends as it began.
  for (auto e = entries_.rbegin(); e != entries_.rend(); ++e) {
    if (!e->kept.empty()) {
      // Still the old file under its name (the run failed before replacing it): the
      // second name goes, else it is put back.
      if (SameInode(e->target, e->device, e->inode)) ::unlink(e->kept.c_str());
      else ::rename(e->kept.c_str(), e->target.c_str());
    } else if (!e->existed) {
      struct stat st {};
      if (::lstat(e->target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(e->target.c_str());
    }
  }
}

bool OutputFiles::Prepare(const std::vector<std::string>& paths, std::string& failed, std::string* why) {
  std::string reason;
  const auto refuse = [&](const std::string& path, const std::string& because) {
    failed = path;
    if (why) *why = because;
    return false;
  };
  for (const std::string& path : paths) {
    AtomicFile probe(path);
    if (!probe.Open()) return refuse(path, probe.why());
    probe.Cancel();
  }
  for (const std::string& path : paths) {
    Entry e;
    e.target = ResolvedTarget(path);
    struct stat st {};
    e.existed = ::lstat(e.target.c_str(), &st) == 0;
    // A second name for the old file keeps it through the rename that replaces it:
    // a hard link, or where the disk takes none (FAT, exFAT, many network and FUSE
    // file systems) a copy. Without either a failure could not put it back.
    if (e.existed) {
      e.device = st.st_dev;
      e.inode = st.st_ino;
      const auto [folder, name] = SplitPath(e.target);
      e.kept = TemporaryName(folder, name);
      if (CallLink(e.target.c_str(), e.kept.c_str()) != 0 && !CopyFile(e.target, e.kept, reason)) {
        e.kept.clear();
        entries_.push_back(std::move(e));
        Keep();  // nothing was written yet: the second names made so far go
        return refuse(path, "no copy of the old file to restore on a failure could be made: " + reason);
      }
    }
    entries_.push_back(std::move(e));
  }
  return true;
}

void OutputFiles::Keep() {
  for (const Entry& e : entries_)
    if (!e.kept.empty()) ::unlink(e.kept.c_str());
  entries_.clear();
}

}  // namespace zentor
