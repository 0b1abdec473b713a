// Fault injection at the atomic writer's system calls (base/atomic_file.h):
// what a full disk, a failing device or a refused rename does to a save.
#pragma once

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

}  // namespace zentor::test
