// The one way the program writes a file. The bytes go into a new temporary
// file in the target's folder; only once every write, the flush to disk and
// the close have succeeded is the temporary renamed over the target. Any
// failure removes the temporary and returns false, so the old file (or its
// absence) stays exactly as it was. No buffered write's return value is
// trusted alone: every system call's result is checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include <sys/types.h>

namespace zentor {

class AtomicFile {
 public:
  explicit AtomicFile(std::string path);
  ~AtomicFile();  // an uncommitted file is cancelled
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary; false when the folder cannot take a new file, or the
  // target exists but is no regular file, may not be written by the user, or
  // its owner and group could not be kept.
  bool Open();
  // Appends bytes; false, and every later call false, once a write failed.
  bool Write(std::span<const uint8_t> bytes);
  bool Write(std::string_view text);
  // Flushes to disk, closes and renames over the target; false (the target
  // untouched, the temporary gone) when anything failed, now or before.
  bool Commit();
  // Removes the temporary; the target is untouched.
  void Cancel();

  bool ok() const { return fd_ >= 0 && !failed_; }
  const std::string& path() const { return path_; }
  // Why Open failed ("permission denied", "not found: ..."); empty otherwise.
  const std::string& why() const { return why_; }

 private:
  std::string path_;    // as given
  std::string target_;  // what is replaced: the path, or the file a link names
  std::string temp_;
  std::string why_;
  int fd_ = -1;
  bool failed_ = false;
};

// Writes the whole buffer through an AtomicFile.
bool WriteWholeFileAtomic(const std::string& path, std::span<const uint8_t> data);
bool WriteWholeFileAtomic(const std::string& path, std::string_view text);

// Files one command writes together. Prepare checks that each can be written
// before any is; until Keep, the destructor takes back what was written since: a
// file that was not there is removed, one that was is put back as it was.
class OutputFiles {
 public:
  OutputFiles() = default;
  ~OutputFiles();
  OutputFiles(const OutputFiles&) = delete;
  OutputFiles& operator=(const OutputFiles&) = delete;

  // False, naming the first that cannot be written in `failed` and saying why in
  // `why`, when any cannot. An existing file is kept under a hidden second name
  // (a hard link, or a copy where the disk takes no links); where neither can be
  // made nothing is written.
  bool Prepare(const std::vector<std::string>& paths, std::string& failed, std::string* why = nullptr);
  void Keep();

 private:
  struct Entry {
    std::string target, kept;
    bool existed = false;
    dev_t device = 0;
    ino_t inode = 0;
  };
  std::vector<Entry> entries_;
};

// The system calls the writer makes, as one seam: tests replace them to
// inject faults (a short write, a failure at flush or close, a failed
// rename). Unset members call the system.
struct FileSystemCalls {
  std::function<ssize_t(int fd, const void* data, size_t size)> Write;
  std::function<int(int fd)> Sync;
  std::function<int(int fd)> Close;
  std::function<int(const char* from, const char* to)> Rename;
  std::function<int(int fd)> SyncFolder;  // the target's folder, after the rename
  std::function<int(const char* from, const char* to)> Link;  // the second name of a replaced file
};
extern FileSystemCalls FileCalls;

// A save whose new content stands under the name but whose folder failed to reach
// the disk: the save is reported as failed, and this says why. Set at start-up.
struct AtomicFileLinks {
  std::function<void(const std::string& path)> NotDurable;
};
extern AtomicFileLinks AtomicFileHooks;

// What the program says when a save may not be durable.
std::string NotDurableText(const std::string& path);

}  // namespace zentor
