// Fault injection at the atomic writer's system calls (base/atomic_file.h):
// what a full disk, a failing device or a refused rename does to a save.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zentor::test {

enum class FileFault {
  ShortWrite,   // the first write takes half its bytes, every later one fails (disk full)
  FlushFails,   // every write is taken, the flush to disk at commit fails (a deferred write error)
  CloseFails,   // the close at commit reports a write error
  RenameFails,  // the temporary cannot be renamed over the target
};

inline const std::vector<FileFault> kEveryFileFault{FileFault::ShortWrite, FileFault::FlushFails,
                                                    FileFault::CloseFails, FileFault::RenameFails};

std::string FaultName(FileFault fault);

// Installs the fault for its lifetime; the system calls come back after.
class InjectedFileFault {
 public:
  explicit InjectedFileFault(FileFault fault);
  ~InjectedFileFault();
  InjectedFileFault(const InjectedFileFault&) = delete;
  InjectedFileFault& operator=(const InjectedFileFault&) = delete;

  // How often the fault struck.
  int Hits() const { return hits_; }

 private:
  int hits_ = 0;
  bool wroteOnce_ = false;
};

// Points the settings store at a folder where nothing can be written (its
// application folder is taken by a plain file): every sync() fails.
void BlockSettingsStore(const std::string& folder);

// The names in a folder, hidden ones included, sorted.
std::vector<std::string> FolderEntries(const std::string& folder);

// A file-size limit for the process while it lives, SIGXFSZ ignored: a write past it
// fails with EFBIG as on a full disk, for every user, root included.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(unsigned long bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  unsigned long oldSoft_ = 0;
  void (*oldHandler_)(int) = nullptr;
};

// The user a save runs as in UnprivilegedSave: `nobody` when the test runs as
// root, the test's own user otherwise.
unsigned UnprivilegedUid();
unsigned UnprivilegedGid();
// Runs `save` without privilege (in a child process that drops to `nobody` when
// the test runs as root, in the test's process otherwise) and returns its result.
bool UnprivilegedSave(const std::function<bool()>& save);

}  // namespace zentor::test
