#include "support/file_faults.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/atomic_file.h"
#include "platform/settings.h"

namespace zentor::test {

std::string FaultName(FileFault fault) {
  switch (fault) {
    case FileFault::ShortWrite: return "short write";
    case FileFault::FlushFails: return "write error at flush";
    case FileFault::CloseFails: return "write error at close";
    case FileFault::RenameFails: return "rename failure";
  }
  return "?";
}

InjectedFileFault::InjectedFileFault(FileFault fault) {
  FileCalls = FileSystemCalls{};
  switch (fault) {
    case FileFault::ShortWrite:
      FileCalls.Write = [this](int fd, const void* data, size_t size) -> ssize_t {
        ++hits_;
        if (wroteOnce_ || size < 2) {
          errno = ENOSPC;
          return -1;
        }
        wroteOnce_ = true;
        return ::write(fd, data, size / 2);
      };
      break;
    case FileFault::FlushFails:
      FileCalls.Sync = [this](int) {
        ++hits_;
        errno = EIO;
        return -1;
      };
      break;
    case FileFault::CloseFails:
      FileCalls.Close = [this](int fd) {
        ++hits_;
        ::close(fd);
        errno = EIO;
        return -1;
      };
      break;
    case FileFault::RenameFails:
      FileCalls.Rename = [this](const char*, const char*) {
        ++hits_;
        errno = EACCES;
        return -1;
      };
      break;
  }
}

InjectedFileFault::~InjectedFileFault() { FileCalls = FileSystemCalls{}; }

void BlockSettingsStore(const std::string& folder) {
  QDir().mkpath(QString::fromStdString(folder));
  QFile taken(QString::fromStdString(folder + "/Zentor"));
  if (taken.open(QIODevice::WriteOnly)) taken.write("not a folder");
  SetSettingsFolder(folder);
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> out;
  const QStringList names = QDir(QString::fromStdString(folder))
                                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                           QDir::Name);
  for (const QString& n : names) out.push_back(n.toStdString());
  return out;
}

FileSizeLimit::FileSizeLimit(unsigned long bytes) {
  oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
  rlimit r {};
  ::getrlimit(RLIMIT_FSIZE, &r);
  oldSoft_ = r.rlim_cur;
  r.rlim_cur = bytes;
  ::setrlimit(RLIMIT_FSIZE, &r);
}

FileSizeLimit::~FileSizeLimit() {
  rlimit r {};
  ::getrlimit(RLIMIT_FSIZE, &r);
  r.rlim_cur = oldSoft_;
  ::setrlimit(RLIMIT_FSIZE, &r);
  std::signal(SIGXFSZ, oldHandler_);
}

namespace {
constexpr unsigned kNobody = 65534;
}

unsigned UnprivilegedUid() { return ::geteuid() == 0 ? kNobody : ::geteuid(); }
unsigned UnprivilegedGid() { return ::geteuid() == 0 ? kNobody : ::getegid(); }

bool UnprivilegedSave(const std::function<bool()>& save) {
  if (::geteuid() != 0) return save();
  const pid_t child = ::fork();
  if (child == 0) {
    const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
    ::_exit(!dropped ? 2 : save() ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
    ADD_FAILURE() << "the unprivileged save did not run";
    return false;
  }
  EXPECT_NE(WEXITSTATUS(status), 2) << "could not drop to an unprivileged user";
  return WEXITSTATUS(status) == 0;
}

}  // namespace zentor::test
