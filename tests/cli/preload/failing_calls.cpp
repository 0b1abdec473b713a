// Preloaded into the program by the command-line tests: the system calls of a disk
// that takes no hard link (FAT, exFAT, SMB, many FUSE mounts) and of one that fills
// up while a named file is written.
//   ZENTOR_TEST_NO_LINK=1        link() and linkat() fail with EPERM, as on FAT
//   ZENTOR_TEST_FAIL_SYNC=TEXT   fsync() of a file whose path holds TEXT fails with ENOSPC
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

namespace {

bool NoLinks() {
  const char* set = std::getenv("ZENTOR_TEST_NO_LINK");
  return set && *set;
}

bool FailsToSync(int fd) {
  const char* mark = std::getenv("ZENTOR_TEST_FAIL_SYNC");
  if (!mark || !*mark) return false;
  char proc[64], path[4096];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  const ssize_t n = ::readlink(proc, path, sizeof path - 1);
  if (n <= 0) return false;
  path[n] = '\0';
  return std::strstr(path, mark) != nullptr;
}

}  // namespace

extern "C" int link(const char* from, const char* to) {
  if (NoLinks()) {
    errno = EPERM;
    return -1;
  }
  using Link = int (*)(const char*, const char*);
  static const Link real = reinterpret_cast<Link>(::dlsym(RTLD_NEXT, "link"));
  return real(from, to);
}

extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
  if (NoLinks()) {
    errno = EPERM;
    return -1;
  }
  using LinkAt = int (*)(int, const char*, int, const char*, int);
  static const LinkAt real = reinterpret_cast<LinkAt>(::dlsym(RTLD_NEXT, "linkat"));
  return real(fromDir, from, toDir, to, flags);
}

extern "C" int fsync(int fd) {
  if (FailsToSync(fd)) {
    errno = ENOSPC;
    return -1;
  }
  using Sync = int (*)(int);
  static const Sync real = reinterpret_cast<Sync>(::dlsym(RTLD_NEXT, "fsync"));
  return real(fd);
}
