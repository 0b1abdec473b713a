// The one atomic file writer: a whole new file or the old one untouched, at
// every fault of its system calls; permissions, links and streaming writes.
#include <gtest/gtest.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/atomic_file.h"
#include "base/binary_io.h"
#include "support/file_faults.h"
#include "support/fixture.h"

namespace zentor::test {
namespace {

class AtomicFileTest : public ZentorTest {
 protected:
  void TearDown() override {
    FileCalls = FileSystemCalls{};
    ZentorTest::TearDown();
  }
  static std::vector<uint8_t> Read(const std::string& path) {
    std::vector<uint8_t> out;
    EXPECT_TRUE(ReadWholeFile(path, out, 1 << 26)) << path;
    return out;
  }
  std::vector<std::string> Entries() const { return FolderEntries(tempDir.path().toStdString()); }
};

TEST_F(AtomicFileTest, WholeFileOrOldFileAtEveryFaultAndAStreamCommitsOnceOrVanishes) {
  const std::string p = TempPath("old.bin");
  const std::vector<uint8_t> old(5000, 7), fresh(40000, 9);
  for (FileFault fault : kEveryFileFault) {
    SCOPED_TRACE(FaultName(fault));
    ASSERT_TRUE(WriteWholeFileAtomic(p, old));
    {
      InjectedFileFault injected(fault);
      EXPECT_FALSE(WriteWholeFileAtomic(p, fresh));
      EXPECT_GT(injected.Hits(), 0);
    }
    EXPECT_EQ(Read(p), old);
    EXPECT_EQ(Entries(), std::vector<std::string>{"old.bin"});
    // Where there was no file, there is none after.
    const std::string q = TempPath("new.bin");
    {
      InjectedFileFault injected(fault);
      EXPECT_FALSE(WriteWholeFileAtomic(q, fresh));
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(q)));
    EXPECT_EQ(Entries(), std::vector<std::string>{"old.bin"});
  }

  // A stream commits once; an uncommitted one vanishes; a short write fails it.
  const std::string sp = TempPath("stream.bin");
  {
    AtomicFile f(sp);
    ASSERT_TRUE(f.Open());
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(f.Write(std::string_view("0123456789")));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(sp)));  // nothing shows before the commit
    ASSERT_TRUE(f.Commit());
  }
  EXPECT_EQ(Read(sp).size(), 1000u);
  {
    AtomicFile f(sp);
    ASSERT_TRUE(f.Open());
    ASSERT_TRUE(f.Write(std::string_view("abandoned")));
  }  // never committed
  EXPECT_EQ(Read(sp).size(), 1000u);
  {
    InjectedFileFault injected(FileFault::ShortWrite);
    AtomicFile f(sp);
    ASSERT_TRUE(f.Open());
    EXPECT_FALSE(f.Write(std::string_view("0123456789")));
    EXPECT_FALSE(f.ok());
    EXPECT_FALSE(f.Write(std::string_view("more")));  // stays failed
    EXPECT_FALSE(f.Commit());
  }
  EXPECT_EQ(Read(sp).size(), 1000u);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"old.bin", "stream.bin"}));

  // A good save replaces the whole file, leaves nothing beside it, refuses folders and
  // continues partial writes.
  const std::string xp = TempPath("x.bin");
  for (const std::vector<uint8_t>& bytes : {std::vector<uint8_t>(100000, 1), std::vector<uint8_t>(12, 2), {}}) {
    ASSERT_TRUE(WriteWholeFileAtomic(xp, bytes));
    EXPECT_EQ(Read(xp), bytes);
  }
  ASSERT_TRUE(WriteWholeFileAtomic(xp, std::string_view("text")));
  EXPECT_EQ(Read(xp), (std::vector<uint8_t>{'t', 'e', 'x', 't'}));
  EXPECT_FALSE(WriteWholeFileAtomic(TempPath("no/such/folder/x.bin"), std::string_view("x")));
  ASSERT_EQ(::mkdir(TempPath("d").c_str(), 0755), 0);
  EXPECT_FALSE(WriteWholeFileAtomic(TempPath("d"), std::string_view("x")));
  EXPECT_FALSE(WriteWholeFileAtomic("", std::string_view("x")));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"d", "old.bin", "stream.bin", "x.bin"}));
  // A device that takes at most 3 bytes a call is slow, not failing.
  FileCalls.Write = [](int fd, const void* data, size_t size) { return ::write(fd, data, std::min<size_t>(size, 3)); };
  std::vector<uint8_t> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(WriteWholeFileAtomic(xp, bytes));
  EXPECT_EQ(Read(xp), bytes);
}

// What a save must leave alone: the entry's kind, owner, permissions and bytes.
struct Untouched {
  explicit Untouched(const std::string& path) : path(path) {
    present = ::lstat(path.c_str(), &st) == 0;
    if (present && S_ISREG(st.st_mode)) ReadWholeFile(path, bytes, 1 << 20);
  }
  void Check() const {
    struct stat now {};
    ASSERT_EQ(::lstat(path.c_str(), &now) == 0, present);
    if (!present) return;
    EXPECT_TRUE(now.st_mode == st.st_mode && now.st_uid == st.st_uid && now.st_ino == st.st_ino);
    std::vector<uint8_t> after;
    if (S_ISREG(now.st_mode)) ReadWholeFile(path, after, 1 << 20);
    EXPECT_EQ(after, bytes);
  }
  std::string path;
  struct stat st {};
  bool present = false;
  std::vector<uint8_t> bytes;
};

// A temporary whose process is gone is removed at the next save into its folder;
// those of running processes and other hidden files stay.
TEST_F(AtomicFileTest, CrashTemporariesPermissionsLinksRefusalsAndFolderFlushes) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);  // reaped: that process no longer runs
  const std::string dead = ".cd.wav.tmp" + std::to_string(child) + "-3";
  const std::vector<std::string> kept{".cd.wav.tmp" + std::to_string(::getppid()) + "-1", ".notes.tmp", ".x.tmp12-ab"};
  for (const std::string& name : kept) ASSERT_TRUE(WriteWholeFileAtomic(TempPath(name), std::string_view("k")));
  QFile left(QString::fromStdString(TempPath(dead)));
  ASSERT_TRUE(left.open(QIODevice::WriteOnly));
  left.close();
  ASSERT_TRUE(WriteWholeFileAtomic(TempPath("other.txt"), std::string_view("x")));
  std::vector<std::string> expected = kept;
  expected.push_back("other.txt");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Entries(), expected);

  // The replacement keeps the old permissions and a link stays a link.
  const std::string p = TempPath("perm.bin");
  ASSERT_TRUE(WriteWholeFileAtomic(p, std::string_view("a")));
  ASSERT_EQ(::chmod(p.c_str(), 0640), 0);
  ASSERT_TRUE(WriteWholeFileAtomic(p, std::string_view("b")));
  struct stat st {};
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  const std::string link = TempPath("link.bin");
  ASSERT_EQ(::symlink(p.c_str(), link.c_str()), 0);
  ASSERT_TRUE(WriteWholeFileAtomic(link, std::string_view("through the link")));
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Read(p).size(), 16u);

  // Saves the writer refuses, run as a user without privilege: the target or the
  // folder is left exactly as it was and no temporary stays beside it.
  const bool root = ::geteuid() == 0;
  const uid_t user = UnprivilegedUid();
  const gid_t group = UnprivilegedGid();
  // The folders on the way must let the unprivileged user through.
  ASSERT_EQ(::chmod(tempDir.path().toStdString().c_str(), 0711), 0);
  const auto own = [&](const std::string& p) { ASSERT_EQ(::lchown(p.c_str(), user, group), 0); };
  const auto file = [](const std::string& p, mode_t mode) {
    ASSERT_TRUE(WriteWholeFileAtomic(p, std::string_view("the old content")));
    ASSERT_EQ(::chmod(p.c_str(), mode), 0);
  };
  struct Case {
    std::string name;
    bool needsRoot;  // another owner's file can only be made by root
    std::function<void(const std::string& folder, const std::string& target)> make;
    std::string watch = "target";  // what must stay as it was: the target or the folder
    unsigned long sizeLimit = 0;
  };
  const std::vector<Case> cases{
      {"the user's own read-only file", false, [&](auto&, auto& t) { file(t, 0444); own(t); }},
      {"another owner's file the user may not write", true, [&](auto&, auto& t) { file(t, 0644); }},
      {"another owner's file the user may write, whose owner cannot be kept", true,
       [&](auto&, auto& t) { file(t, 0666); }},
      {"a FIFO", false, [&](auto&, auto& t) { ASSERT_EQ(::mkfifo(t.c_str(), 0666), 0); own(t); }},
      {"a socket", false,
       [&](auto&, auto& t) {
         const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un a{};
         a.sun_family = AF_UNIX;
         ASSERT_LT(t.size(), sizeof(a.sun_path));
         t.copy(a.sun_path, t.size());
         ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)), 0);
         ::close(s);
         own(t);
       }},
      {"a symbolic link that leads nowhere", false,
       [&](auto& f, auto& t) { ASSERT_EQ(::symlink((f + "/gone").c_str(), t.c_str()), 0); own(t); }},
      {"a new file in a read-only folder", false, [&](auto& f, auto&) { ASSERT_EQ(::chmod(f.c_str(), 0555), 0); },
       "folder"},
      {"the user's own file on a full disk", false, [&](auto&, auto& t) { file(t, 0644); own(t); }, "target", 64},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needsRoot && !root) continue;
    const std::string folder = TempPath("case" + std::to_string(++n));
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    own(folder);
    const std::string target = folder + "/target.bin";
    c.make(folder, target);
    const Untouched before(c.watch == "folder" ? folder : target);
    const std::vector<std::string> entries = FolderEntries(folder);
    const bool saved = UnprivilegedSave([&] {
      const std::vector<uint8_t> fresh(1000, 'n');
      if (c.sizeLimit == 0) return WriteWholeFileAtomic(target, fresh);
      FileSizeLimit limit(c.sizeLimit);
      return WriteWholeFileAtomic(target, fresh);
    });
    EXPECT_FALSE(saved);
    before.Check();
    EXPECT_EQ(FolderEntries(folder), entries);
    ::chmod(folder.c_str(), 0755);
  }
  // The same user's own writable file is replaced: the refusals above were no accident.
  const std::string folder = TempPath("own");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  own(folder);
  file(folder + "/target.bin", 0600);
  own(folder + "/target.bin");
  EXPECT_TRUE(UnprivilegedSave([&] { return WriteWholeFileAtomic(folder + "/target.bin", std::string_view("new")); }));
  EXPECT_EQ(Read(folder + "/target.bin"), (std::vector<uint8_t>{'n', 'e', 'w'}));

  // Once the rename is done the new content stands; a folder that then fails to
  // reach the disk makes the save fail and says it may not be durable, while the
  // errors that only mean "cannot be flushed this way" do not.
  std::vector<std::string> said;
  AtomicFileHooks.NotDurable = [&](const std::string& path) { said.push_back(NotDurableText(path)); };
  const std::string fp = TempPath("f.txt");
  for (const auto& [error, fails] : {std::pair{EIO, true}, {ENOSPC, true}, {EROFS, true}, {EINVAL, false},
                                     {EBADF, false}, {EACCES, false}}) {
    SCOPED_TRACE(error);
    said.clear();
    FileCalls.SyncFolder = [error](int) {
      errno = error;
      return -1;
    };
    EXPECT_EQ(WriteWholeFileAtomic(fp, std::to_string(error)), !fails);
    EXPECT_EQ(Read(fp).size(), std::to_string(error).size());  // the new content is under the name
    EXPECT_EQ(said, fails ? std::vector<std::string>{NotDurableText(fp)} : std::vector<std::string>{});
  }
  AtomicFileHooks = {};
}

// Files written together: all checked before any is written, and what a run that
// failed wrote taken back, the old files byte for byte.
TEST_F(AtomicFileTest, OutputsCheckedFirstAndTakenBackUnlessKept) {
  ASSERT_TRUE(WriteWholeFileAtomic(TempPath("old.txt"), std::string_view("old")));
  ASSERT_EQ(::mkdir(TempPath("folder").c_str(), 0700), 0);
  const std::string fresh = TempPath("new.txt"), old = TempPath("old.txt");
  const struct {
    const char* name;
    std::vector<std::string> paths;
    bool prepared, keep;
    std::vector<std::string> after;  // the folder's entries at the end
  } rows[] = {
      {"a folder in the list", {fresh, TempPath("folder")}, false, false, {"folder", "old.txt"}},
      {"a missing folder", {old, TempPath("none/x.txt")}, false, false, {"folder", "old.txt"}},
      {"taken back", {fresh, old}, true, false, {"folder", "old.txt"}},
      {"kept", {fresh, old}, true, true, {"folder", "new.txt", "old.txt"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    {
      OutputFiles outputs;
      std::string failed;
      ASSERT_EQ(outputs.Prepare(row.paths, failed), row.prepared);
      if (!row.prepared) {
        EXPECT_EQ(failed, row.paths[1]);
      } else {
        for (const std::string& p : row.paths) ASSERT_TRUE(WriteWholeFileAtomic(p, std::string_view("written")));
        if (row.keep) outputs.Keep();
      }
    }
    EXPECT_EQ(Entries(), row.after);
    const std::vector<uint8_t> now = Read(old);
    EXPECT_EQ(std::string(now.begin(), now.end()), row.keep ? "written" : "old");
  }
  ASSERT_TRUE(WriteWholeFileAtomic(old, std::string_view("old")));
  ASSERT_EQ(::unlink(fresh.c_str()), 0);

  // On a disk that takes no hard link (FAT answers EPERM) the old file is kept as a
  // copy; a run that fails before or after replacing it leaves no second name.
  int links = 0;
  FileCalls.Link = [&](const char*, const char*) {
    ++links;
    errno = EPERM;
    return -1;
  };
  ASSERT_EQ(::chmod(old.c_str(), 0640), 0);
  for (const bool replaced : {false, true}) {
    {
      OutputFiles outputs;
      std::string failed;
      ASSERT_TRUE(outputs.Prepare({old, fresh}, failed));
      if (replaced) {
        ASSERT_TRUE(WriteWholeFileAtomic(old, std::string_view("written")));
      }
    }
    EXPECT_EQ(Entries(), (std::vector<std::string>{"folder", "old.txt"})) << replaced;
    const std::vector<uint8_t> now = Read(old);
    EXPECT_EQ(std::string(now.begin(), now.end()), "old") << replaced;
    struct stat st {};
    ASSERT_EQ(::stat(old.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "the copy keeps the permissions";
  }
  EXPECT_EQ(links, 2);
  // Where no copy can be made either, nothing is written and the reason is given.
  {
    FileSizeLimit full(1);
    OutputFiles outputs;
    std::string failed, why;
    EXPECT_FALSE(outputs.Prepare({fresh, old}, failed, &why));
    EXPECT_EQ(failed, old);
    EXPECT_EQ(why.rfind("no copy of the old file to restore on a failure could be made: ", 0), 0u) << why;
  }
  EXPECT_EQ(Entries(), (std::vector<std::string>{"folder", "old.txt"}));
  FileCalls = FileSystemCalls{};

  // The reasons a file cannot be written.
  ASSERT_EQ(::symlink("loop", TempPath("loop").c_str()), 0);
  for (const auto& [path, reason] : {std::pair{TempPath("none/x.txt"), "the folder is not there"},
                                     std::pair{TempPath("loop"), "a loop of symbolic links"},
                                     std::pair{TempPath("folder"), "not a regular file"},
                                     std::pair{old + "/x", "not found: a folder in its path is a file"}}) {
    OutputFiles outputs;
    std::string failed, why;
    EXPECT_FALSE(outputs.Prepare({path}, failed, &why)) << path;
    EXPECT_EQ(why, reason) << path;
  }
}

}  // namespace
}  // namespace zentor::test
