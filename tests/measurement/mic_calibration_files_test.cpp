// The .cal writer and the .cal and .mic readers on files in a temporary folder.
#include <QDir>
#include <QLocale>
#include <cmath>
#include <vector>

#include "cal_text.h"
#include "measurement/mic_calibration_files.h"
#include "support/fixture.h"

namespace zentor {
namespace {

using test::ReadText;
using test::WriteText;

class CalFilesTest : public test::ZentorTest {
 protected:
  void TearDown() override {
    QLocale::setDefault(QLocale::c());
    ZentorTest::TearDown();
  }
  // Header lines, the 0 line, the 0 Hz level -3.5, then pair i = (10 i Hz, -i/100 dB).
  std::string MicFile(int pairs, const std::string& header = "TacT\r\nmodel\r\n", const std::string& tail = "") {
    std::string text = header + "0\r\n-3.5\r\n";
    for (int i = 1; i <= pairs; ++i) text += std::to_string(10 * i) + "\r\n" + std::to_string(-i / 100.0) + "\r\n";
    WriteText(TempPath("f.mic"), text + tail);
    return TempPath("f.mic");
  }
  CalibrationReading r;
};

TEST_F(CalFilesTest, WriterFormatsThreeDecimalsInTheUsersMarkAndReadsBack) {
  const std::string path = TempPath("one.cal");
  const QLocale comma(QLocale::German, QLocale::Germany);
  for (const auto& [locale, line] : {std::pair{QLocale::c(), "20.000  -1.250  0.000"}, {comma, "20,000  -1,250  0,000"}}) {
    QLocale::setDefault(locale);
    ASSERT_TRUE(WriteMicCalFile(path, "Ann 1 May", "M30", std::vector{20.0f}, std::vector{-1.25f}, std::vector{0.0f}, 1));
    EXPECT_EQ(ReadText(path), "Ann 1 May\r\nM30\r\n" + std::string(line) + "\r\n");

    std::vector<float> freq, level, phase;
    for (int i = 0; i < 100; ++i) {
      freq.push_back(20.0f * std::pow(1000.0f, i / 99.0f));
      level.push_back(3.0f * std::sin(0.37f * i) - 0.0004f);
      phase.push_back(-90.0f + 1.7f * i);
    }
    ASSERT_TRUE(WriteMicCalFile(path, "a", "b", freq, level, phase, 100));
    ASSERT_EQ(ReadMicCalFile(path, r), CalibrationRead::Completed);
    ASSERT_EQ(r.Count, 100);
    for (int i = 0; i < 100; ++i) {
      // Three decimals written, then the Single's own rounding on reading.
      EXPECT_NEAR(r.Freq[i], freq[i], 0.0005 + 1.2e-7 * freq[i]);
      EXPECT_NEAR(r.Level[i], level[i], 0.0005f);
    }
  }
  EXPECT_EQ(FormatCalibrationNumber(-0.0004f), "0,000");
  EXPECT_EQ(FormatCalibrationNumber(12345.6789f), "12345,679");
  EXPECT_FALSE(WriteMicCalFile(TempPath("no/such/x.cal"), "a", "b", std::vector{1.0f}, std::vector{1.0f},
                               std::vector{1.0f}, 1));
}

TEST_F(CalFilesTest, CalReaderLimitsSkipsAndRefusals) {
  std::string text = "user\r\nmic\r\n";
  for (int i = 1; i <= 1200; ++i) text += std::to_string(i) + "  " + std::to_string(i % 7) + "  0\r\n";
  WriteText(TempPath("big.cal"), text);
  ASSERT_EQ(ReadMicCalFile(TempPath("big.cal"), r), CalibrationRead::Completed);
  EXPECT_EQ(r.Count, 999);
  EXPECT_EQ(r.Freq[998], 999.0f);
  EXPECT_EQ(r.Level[998], 999 % 7);

  WriteText(TempPath("empty.cal"), "user\r\nmic\r\n");
  dialogs.ExpectMessage();
  ASSERT_EQ(ReadMicCalFile(TempPath("empty.cal"), r), CalibrationRead::Completed);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Calibration File Input Error 1");
  EXPECT_EQ(r.Count, 0);

  // Notes and trailing blank lines are no points; LF endings, "," marks and no phase are fine.
  WriteText(TempPath("X.CAL"), "u\nm\n20 1,5\nnote\n  1000\t-2.25 12\n\n\n");
  ASSERT_EQ(ReadCalibrationFile(TempPath("X.CAL"), r), CalibrationRead::Completed);
  ASSERT_EQ(r.Count, 2);
  EXPECT_EQ(std::vector(r.Freq.begin(), r.Freq.begin() + 2), (std::vector{20.0f, 1000.0f}));
  EXPECT_EQ(std::vector(r.Level.begin(), r.Level.begin() + 2), (std::vector{1.5f, -2.25f}));
  EXPECT_EQ(r.PointsText, "20 1,5\n  1000\t-2.25 12\n");
  EXPECT_TRUE(r.HasTextLines);

  WriteText(TempPath("x.txt"), "u\r\nm\r\n50 2\r\n");
  ASSERT_TRUE(QDir(tempDir.path()).mkdir("folder.cal"));
  for (const char* name : {"x.txt", "gone.cal", "folder.cal"})
    EXPECT_EQ(ReadCalibrationFile(TempPath(name), r), CalibrationRead::NotOpened) << name;

  // Opened but bad: a missing line 2, an overlong line, a value beyond a Single.
  for (const std::string& bad : {std::string("one line"), std::string(),
                                 "u\r\nm\r\n20 " + std::string(5000, '1') + "\r\n", std::string("u\r\nm\r\n20 1e39\r\n")}) {
    WriteText(TempPath("bad.cal"), bad);
    EXPECT_EQ(ReadMicCalFile(TempPath("bad.cal"), r), CalibrationRead::Failed) << bad.substr(0, 20);
  }
}

TEST_F(CalFilesTest, MicReaderCountsPairsAndDecimatesLongFiles) {
  // 10 pairs then a word, nothing, or a lone frequency: 10 points, 0 Hz and the
  // first nine pairs. With nothing after it the last pair still counts.
  for (const char* tail : {"end\r\n", "", "110\r\n"}) {
    ASSERT_EQ(ReadTactMicFile(MicFile(10, "TacT\r\nmodel\r\n", tail), r), CalibrationRead::Completed);
    ASSERT_EQ(r.Count, 10) << tail;
    EXPECT_EQ(r.Freq[0], 0.0f);
    EXPECT_EQ(r.Level[0], -3.5f);
    for (int i = 1; i <= 9; ++i) EXPECT_EQ(r.Freq[i], 10.0f * i);
    EXPECT_NEAR(r.Level[9], -0.09, 1e-6);
  }
  EXPECT_EQ(r.PointsText.substr(0, 26), "0    -3.5    0.0\n10    -0.");
  WriteText(TempPath("h.mic"), "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\n-2\r\n100\r\n1\r\nend\r\n");
  dialogs.ExpectMessage();  // no 0 line among the first six; one pair before a word: one point
  ASSERT_EQ(ReadTactMicFile(TempPath("h.mic"), r), CalibrationRead::Completed);
  EXPECT_EQ(r.Count, 1);

  // Point i of the table is point i * step of the file (pair j at 10 j Hz).
  struct Case {
    int pairs, step, count;
  };
  for (const Case c : {Case{2500, 3, 833}, Case{1999, 2, 1000}, Case{1000, 2, 500}, Case{999, 1, 999}}) {
    ASSERT_EQ(ReadTactMicFile(MicFile(c.pairs), r), CalibrationRead::Completed);
    ASSERT_EQ(r.Count, c.count) << c.pairs;
    for (int i = 0; i < c.count; ++i) ASSERT_EQ(r.Freq[i], 10.0f * i * c.step) << c.pairs << " " << i;
  }

  // Past the pair limit: the message, and the table from the pairs read.
  dialogs.ExpectMessage();
  ASSERT_EQ(ReadCalibrationFile(MicFile(33000), r), CalibrationRead::Completed);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 9231");
  const int step = kMaxMicFilePairs / 1000 + 1;
  EXPECT_EQ(r.Count, std::lround(static_cast<double>(kMaxMicFilePairs) / step));
  EXPECT_EQ(r.Freq[r.Count - 1], 10.0f * (r.Count - 1) * step);

  WriteText(TempPath("X.MIC"), "0\r\n1\r\n2\r\n3\r\n");
  ASSERT_EQ(ReadCalibrationFile(TempPath("X.MIC"), r), CalibrationRead::Completed);
  EXPECT_EQ(r.Count, 1);
}

TEST_F(CalFilesTest, MicReaderHeaderAndLevelRules) {
  // No 0 line among the first six: the message, and the seventh line is the 0 Hz level.
  dialogs.ExpectMessage();
  ASSERT_EQ(ReadTactMicFile(MicFile(3, "a\r\n1\r\nb\r\nc\r\nd\r\ne\r\n4,5\r\n"), r), CalibrationRead::Completed);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 7619");
  ASSERT_EQ(r.Count, 4);  // the file's own 0 line and level became the first pair
  EXPECT_EQ(r.Level[0], 4.5f);
  EXPECT_EQ(r.Level[1], -3.5f);

  WriteText(TempPath("nolevel.mic"), "x\r\n0\r\nlevel\r\n20\r\n1\r\n");
  dialogs.ExpectMessage();
  EXPECT_EQ(ReadTactMicFile(TempPath("nolevel.mic"), r), CalibrationRead::Abandoned);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 3298");

  for (const char* bad : {"x\r\ny\r\n", "0\r\n", "0\r\n1\r\n3e40\r\n1\r\n"}) {
    WriteText(TempPath("bad.mic"), bad);
    EXPECT_EQ(ReadTactMicFile(TempPath("bad.mic"), r), CalibrationRead::Failed) << bad;
  }
  EXPECT_EQ(ReadTactMicFile(TempPath("gone.mic"), r), CalibrationRead::NotOpened);
}

}  // namespace
}  // namespace zentor
