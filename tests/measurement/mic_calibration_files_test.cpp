// The .cal writer and the .cal and .mic readers on files in a temporary folder.
#include <QDir>
#include <QLocale>
#include <cmath>
#include <fstream>
#include <sstream>
#include <vector>

#include "measurement/mic_calibration_files.h"
#include "support/fixture.h"

namespace zentor {
namespace {

using test::ZentorTest;

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Restores the locale's decimal mark whatever the test did.
class CalFilesTest : public ZentorTest {
 protected:
  void TearDown() override {
    QLocale::setDefault(QLocale::c());
    ZentorTest::TearDown();
  }
  // A .mic file: `header` lines, the 0 line, the 0 Hz level, then pairs
  // (10 i Hz, -i / 100 dB) for i = 1 .. pairs.
  std::string MicFile(const std::string& name, int pairs, const std::string& header = "TacT\r\nmodel\r\n",
                      const std::string& tail = "") {
    std::string text = header + "0\r\n-3.5\r\n";
    for (int i = 1; i <= pairs; ++i) text += std::to_string(10 * i) + "\r\n" + std::to_string(-i / 100.0) + "\r\n";
    text += tail;
    const std::string path = TempPath(name);
    WriteText(path, text);
    return path;
  }
};

TEST_F(CalFilesTest, WriterFormatsThreeDecimalsInTheUsersMarkAndReadsBack) {
  QLocale::setDefault(QLocale::c());
  const std::vector<float> f{20.0f}, l{-1.25f}, p{0.0f};
  const std::string path = TempPath("one.cal");
  ASSERT_TRUE(WriteMicCalFile(path, "Ann 1 May", "M30", f, l, p, 1));
  EXPECT_EQ(ReadText(path), "Ann 1 May\r\nM30\r\n20.000  -1.250  0.000\r\n");

  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  ASSERT_TRUE(WriteMicCalFile(path, "Ann 1 May", "M30", f, l, p, 1));
  EXPECT_EQ(ReadText(path), "Ann 1 May\r\nM30\r\n20,000  -1,250  0,000\r\n");
  EXPECT_EQ(FormatCalibrationNumber(-0.0004f), "0,000");
  EXPECT_EQ(FormatCalibrationNumber(12345.6789f), "12345,679");

  // Round trip under both marks: the points within the written precision.
  for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)}) {
    QLocale::setDefault(locale);
    std::vector<float> freq, level, phase;
    for (int i = 0; i < 300; ++i) {
      freq.push_back(20.0f * std::pow(1000.0f, i / 299.0f));
      level.push_back(3.0f * std::sin(0.37f * i) - 0.0004f);
      phase.push_back(-90.0f + 0.6f * i);
    }
    ASSERT_TRUE(WriteMicCalFile(path, "a", "b", freq, level, phase, 300));
    CalibrationReading r;
    ASSERT_EQ(ReadMicCalFile(path, r), CalibrationRead::Completed);
    ASSERT_EQ(r.Count, 300);
    EXPECT_EQ(r.LineOne, "a");
    EXPECT_EQ(r.LineTwo, "b");
    for (int i = 0; i < 300; ++i) {
      // Three decimals written, then the Single's own rounding on reading.
      EXPECT_NEAR(r.Freq[i], freq[i], 0.0005 + 1.2e-7 * freq[i]);
      EXPECT_NEAR(r.Level[i], level[i], 0.0005f);
    }
  }
  EXPECT_FALSE(WriteMicCalFile(TempPath("no/such/folder/x.cal"), "a", "b", f, l, p, 1));
}

TEST_F(CalFilesTest, CalReaderLimitsSkipsAndRefusals) {
  // 1200 data lines: the first 999 are read.
  std::string text = "user\r\nmic\r\n";
  for (int i = 1; i <= 1200; ++i) text += std::to_string(i) + "  " + std::to_string(i % 7) + "  0\r\n";
  const std::string big = TempPath("big.cal");
  WriteText(big, text);
  CalibrationReading r;
  ASSERT_EQ(ReadMicCalFile(big, r), CalibrationRead::Completed);
  EXPECT_EQ(r.Count, 999);
  EXPECT_FLOAT_EQ(r.Freq[998], 999.0f);
  EXPECT_FLOAT_EQ(r.Level[998], 999 % 7);

  // Nothing after line 2: the message, and an empty table.
  const std::string empty = TempPath("empty.cal");
  WriteText(empty, "user\r\nmic\r\n");
  dialogs.ExpectMessage();
  ASSERT_EQ(ReadMicCalFile(empty, r), CalibrationRead::Completed);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Calibration File Input Error 1");
  EXPECT_EQ(r.Count, 0);
  EXPECT_EQ(r.LineTwo, "mic");

  // Notes and trailing blank lines are no points; LF endings, "," marks and no phase are fine.
  const std::string notes = TempPath("notes.cal");
  WriteText(notes, "u\nm\n20 1,5\nnote\n  1000\t-2.25 12\n\n\n");
  ASSERT_EQ(ReadMicCalFile(notes, r), CalibrationRead::Completed);
  ASSERT_EQ(r.Count, 2);
  EXPECT_FLOAT_EQ(r.Freq[0], 20.0f);
  EXPECT_FLOAT_EQ(r.Level[0], 1.5f);
  EXPECT_FLOAT_EQ(r.Freq[1], 1000.0f);
  EXPECT_FLOAT_EQ(r.Level[1], -2.25f);
  EXPECT_EQ(r.PointsText, "20 1,5\n  1000\t-2.25 12\n");

  // Capitals are read; other extensions, missing files and folders are not opened.
  const std::string upper = TempPath("X.CAL");
  WriteText(upper, "u\r\nm\r\n50 2\r\n");
  ASSERT_EQ(ReadCalibrationFile(upper, r), CalibrationRead::Completed);
  EXPECT_EQ(r.Count, 1);
  EXPECT_TRUE(r.HasTextLines);
  const std::string other = TempPath("x.txt");
  WriteText(other, "u\r\nm\r\n50 2\r\n");
  EXPECT_EQ(ReadCalibrationFile(other, r), CalibrationRead::NotOpened);
  EXPECT_EQ(ReadCalibrationFile(TempPath("gone.cal"), r), CalibrationRead::NotOpened);
  ASSERT_TRUE(QDir(tempDir.path()).mkdir("folder.cal"));
  EXPECT_EQ(ReadCalibrationFile(TempPath("folder.cal"), r), CalibrationRead::NotOpened);

  // Opened but bad: a missing line 2, an overlong line, a value beyond a Single.
  for (const std::string& bad : {std::string("only one line"), std::string(""),
                                 "u\r\nm\r\n20 " + std::string(5000, '1') + "\r\n", std::string("u\r\nm\r\n20 1e39\r\n")}) {
    WriteText(TempPath("bad.cal"), bad);
    EXPECT_EQ(ReadMicCalFile(TempPath("bad.cal"), r), CalibrationRead::Failed) << bad.substr(0, 20);
  }
}

TEST_F(CalFilesTest, MicReaderKeepsEveryCompletePair) {
  CalibrationReading r;
  // 0 line third, a level, 10 pairs and a final non-numeric line: 0 Hz and 10 pairs.
  for (const std::string& tail : {std::string("end\r\n"), std::string(), std::string("110\r\n")}) {
    ASSERT_EQ(ReadTactMicFile(MicFile("ten.mic", 10, "TacT\r\nmodel\r\n", tail), r), CalibrationRead::Completed);
    ASSERT_EQ(r.Count, 11) << tail;
    EXPECT_FLOAT_EQ(r.Freq[0], 0.0f);
    EXPECT_FLOAT_EQ(r.Level[0], -3.5f);
    for (int i = 1; i <= 10; ++i) {
      EXPECT_FLOAT_EQ(r.Freq[i], 10.0f * i);
      EXPECT_NEAR(r.Level[i], -i / 100.0, 1e-6);
    }
    EXPECT_FALSE(r.HasTextLines);
  }
  EXPECT_EQ(r.PointsText.substr(0, 26), "0    -3.5    0.0\n10    -0.");

  // No 0 line among the first six: the message, and the seventh line is the 0 Hz level.
  dialogs.ExpectMessage();
  ASSERT_EQ(ReadTactMicFile(MicFile("nozero.mic", 3, "a\r\n1\r\nb\r\nc\r\nd\r\ne\r\n4,5\r\n"), r),
            CalibrationRead::Completed);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 7619");
  ASSERT_EQ(r.Count, 5);
  EXPECT_FLOAT_EQ(r.Level[0], 4.5f);
  EXPECT_FLOAT_EQ(r.Freq[1], 0.0f);  // the file's own 0 line read as the first pair's frequency
  EXPECT_FLOAT_EQ(r.Level[1], -3.5f);

  // A level that is not a number abandons the reading.
  WriteText(TempPath("nolevel.mic"), "x\r\n0\r\nlevel\r\n20\r\n1\r\n");
  dialogs.ExpectMessage();
  EXPECT_EQ(ReadTactMicFile(TempPath("nolevel.mic"), r), CalibrationRead::Abandoned);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 3298");

  // Lines missing before the level, or a number beyond a Single: a bad file.
  for (const std::string& bad : {std::string("x\r\ny\r\n"), std::string("0\r\n"), std::string("0\r\n1\r\n3e40\r\n1\r\n")}) {
    WriteText(TempPath("bad.mic"), bad);
    EXPECT_EQ(ReadTactMicFile(TempPath("bad.mic"), r), CalibrationRead::Failed) << bad;
  }
  EXPECT_EQ(ReadTactMicFile(TempPath("gone.mic"), r), CalibrationRead::NotOpened);
}

TEST_F(CalFilesTest, MicReaderDecimatesLongFilesToAThousandPoints) {
  struct Case {
    int pairs, step, count;
  };
  CalibrationReading r;
  for (const Case c : {Case{2500, 3, 833}, Case{1999, 2, 1000}, Case{1000, 2, 500}, Case{999, 1, 1000}}) {
    ASSERT_EQ(ReadTactMicFile(MicFile("long.mic", c.pairs), r), CalibrationRead::Completed);
    ASSERT_EQ(r.Count, c.count) << c.pairs;
    // Point i of the table is point i * step of the file: 0 Hz, then pair j at 10 j Hz.
    for (int i = 0; i < c.count; ++i) ASSERT_FLOAT_EQ(r.Freq[i], 10.0f * i * c.step) << c.pairs << " " << i;
  }
  EXPECT_FLOAT_EQ(r.Freq[999], 9990.0f);

  // Past the pair limit: the message, and the table from the pairs read.
  dialogs.ExpectMessage();
  ASSERT_EQ(ReadTactMicFile(MicFile("huge.mic", 33000), r), CalibrationRead::Completed);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 9231");
  const int n = kMaxMicFilePairs, step = n / 1000 + 1;
  EXPECT_EQ(r.Count, static_cast<int>(std::nearbyint(static_cast<double>(n) / step)));
  EXPECT_FLOAT_EQ(r.Freq[r.Count - 1], 10.0f * (r.Count - 1) * step);

  // The capital extension is read too.
  const std::string upper = MicFile("X.MIC", 2);
  ASSERT_EQ(ReadCalibrationFile(upper, r), CalibrationRead::Completed);
  EXPECT_EQ(r.Count, 3);
}

TEST_F(CalFilesTest, CommittingFillsTheLastReadTableWhole) {
  MicCalCount = 5;
  MicCalFreq.fill(7.0f);
  CalibrationReading r;
  r.Count = 2;
  r.Freq[0] = 20;
  r.Freq[1] = 30;
  r.Level[1] = -1;
  CommitCalibrationReading(r, "/a/b.cal");
  EXPECT_EQ(MicCalCount, 2);
  EXPECT_FLOAT_EQ(MicCalFreq[1], 30.0f);
  EXPECT_FLOAT_EQ(MicCalLevel[1], -1.0f);
  EXPECT_FLOAT_EQ(MicCalFreq[2], 0.0f);  // nothing left of the older table
  EXPECT_EQ(MicCalFileName, "/a/b.cal");
}

}  // namespace
}  // namespace zentor
