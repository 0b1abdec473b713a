// The one atomic file writer: a whole new file or the old one untouched, at
// every fault of its system calls; permissions, links and streaming writes.
#include <gtest/gtest.h>

#include <QFile>
#include <algorithm>
#include <string>
#include <sys/stat.h>
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

TEST_F(AtomicFileTest, ReplacesTheWholeFileAndLeavesNothingBeside) {
  const std::string p = TempPath("x.bin");
  const std::vector<uint8_t> longer(100000, 1), shorter(12, 2);
  ASSERT_TRUE(WriteWholeFileAtomic(p, longer));
  EXPECT_EQ(Read(p), longer);
  ASSERT_TRUE(WriteWholeFileAtomic(p, shorter));
  EXPECT_EQ(Read(p), shorter);
  ASSERT_TRUE(WriteWholeFileAtomic(p, std::string_view("text")));
  EXPECT_EQ(Read(p), (std::vector<uint8_t>{'t', 'e', 'x', 't'}));
  ASSERT_TRUE(WriteWholeFileAtomic(p, std::vector<uint8_t>{}));
  EXPECT_TRUE(Read(p).empty());
  EXPECT_EQ(Entries(), std::vector<std::string>{"x.bin"});
}

TEST_F(AtomicFileTest, AFolderThatIsMissingOrATargetThatIsAFolderFails) {
  EXPECT_FALSE(WriteWholeFileAtomic(TempPath("no/such/folder/x.bin"), std::string_view("x")));
  ASSERT_EQ(::mkdir(TempPath("d").c_str(), 0755), 0);
  EXPECT_FALSE(WriteWholeFileAtomic(TempPath("d"), std::string_view("x")));
  EXPECT_FALSE(WriteWholeFileAtomic("", std::string_view("x")));
  EXPECT_EQ(Entries(), std::vector<std::string>{"d"});
}

TEST_F(AtomicFileTest, EveryFaultKeepsTheOldFileByteIdentical) {
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
}

TEST_F(AtomicFileTest, AStreamStaysFailedAfterAShortWriteAndCommitsNothing) {
  const std::string p = TempPath("s.bin");
  ASSERT_TRUE(WriteWholeFileAtomic(p, std::string_view("old")));
  InjectedFileFault injected(FileFault::ShortWrite);
  AtomicFile f(p);
  ASSERT_TRUE(f.Open());
  EXPECT_FALSE(f.Write(std::string_view("0123456789")));
  EXPECT_FALSE(f.ok());
  EXPECT_FALSE(f.Write(std::string_view("more")));
  EXPECT_FALSE(f.Commit());
  EXPECT_EQ(Read(p), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(Entries(), std::vector<std::string>{"s.bin"});
}

TEST_F(AtomicFileTest, PartialWritesAreContinuedNotLost) {
  // A device that takes at most 3 bytes a call is slow, not failing.
  FileCalls.Write = [](int fd, const void* data, size_t size) { return ::write(fd, data, std::min<size_t>(size, 3)); };
  const std::string p = TempPath("slow.bin");
  std::vector<uint8_t> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(WriteWholeFileAtomic(p, bytes));
  EXPECT_EQ(Read(p), bytes);
}

TEST_F(AtomicFileTest, AStreamOfManyWritesCommitsOnceAndAnUncommittedOneVanishes) {
  const std::string p = TempPath("stream.bin");
  {
    AtomicFile f(p);
    ASSERT_TRUE(f.Open());
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(f.Write(std::string_view("0123456789")));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(p)));  // nothing shows before the commit
    ASSERT_TRUE(f.Commit());
  }
  EXPECT_EQ(Read(p).size(), 1000u);
  {
    AtomicFile f(p);
    ASSERT_TRUE(f.Open());
    ASSERT_TRUE(f.Write(std::string_view("abandoned")));
  }  // never committed
  EXPECT_EQ(Read(p).size(), 1000u);
  EXPECT_EQ(Entries(), std::vector<std::string>{"stream.bin"});
}

TEST_F(AtomicFileTest, TheReplacementKeepsTheOldPermissionsAndALinkStaysALink) {
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
}

}  // namespace
}  // namespace zentor::test
