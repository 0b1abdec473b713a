// Calibration text of USB microphones through the calibration window: the common
// shapes load, every malformed file is refused with its line and changes nothing,
// and an imported table survives a round trip through a .cal file.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <cmath>

#include "cal_text.h"
#include "mainwindow/views_fixture.h"
#include "measurement/mic_calibration.h"

namespace zentor {
namespace {

using test::WriteText;

class MicTextTest : public test::ViewsTest {
 protected:
  MicCalForm* Form() { return Forms::Get<MicCalForm>(); }
  void Import(const std::string& path, int messages = 0) {
    dialogs.ExpectOpenFile(path);
    for (int i = 0; i < messages; ++i) dialogs.ExpectMessage();
    Form()->ImportText_Click();
  }
  std::string File(const std::string& name, const std::string& text) {
    const std::string p = TempPath(name);
    WriteText(p, text);
    return p;
  }
};

// A smooth microphone response, the oracle of the resampled table.
double Response(double f) { return 1.5 * std::sin(std::log(f)) - 0.002 * std::sqrt(f); }

TEST_F(MicTextTest, CommonShapesLoadWithTheirSensitivityAndSerial) {
  struct Shape {
    const char* name;
    std::string text;
    const char* info;
  };
  const Shape shapes[] = {
      {"0deg crlf", "\"Sens Factor =-1.23dB, AGain =18dB, SERNO: 7001234\"\r\n10.054\t-2.5\t12.0\r\n20\t-1\t3\r\n"
                    "\r\n20000\t1.75\t-4\r\n", "Sensitivity -1.23 dB, serial 7001234"},
      {"90deg lf", "* 90 degrees\n# made by hand\n10.054 -2.5\n20 -1\n20000 1.75\n", ""},
      {"commas", "; note\n10.054, -2.5, 12\n20;-1;3\n 20000 , +1.75 ,-4\n", ""},
  };
  for (const Shape& s : shapes) {
    Import(File("mic.txt", s.text));
    ASSERT_EQ(ActiveMicCal.Count, 3) << s.name;
    EXPECT_EQ(ActiveMicCal.Freq[0], 10.054f) << s.name;
    EXPECT_EQ(ActiveMicCal.Level[2], 1.75f) << s.name;
    EXPECT_EQ(MicCalCount, 3) << s.name;
    EXPECT_EQ(Form()->MicTextInfo->text().toStdString(), s.info) << s.name;
    EXPECT_EQ(Form()->Caltext->toPlainText().count('\n'), 3) << s.name;
  }
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

TEST_F(MicTextTest, MalformedFilesAreRefusedWithTheirLineAndChangeNothing) {
  Import(File("good.txt", "20 1\n1000 0\n"));
  const MicCalTable before = ActiveMicCal;
  const std::string head = "\"Sens Factor =-1dB\"\r\n20 1\r\n";
  const std::pair<std::string, std::string> cases[] = {
      {head + "10 1\r\n", "line 3: the frequency must be above the one before"},
      {head + "20 1\r\n", "line 3: the frequency must be above the one before"},
      {"0 1\n", "line 1: the frequency must be above 0 Hz"},
      {"# x\n-5 1\n", "line 2: the frequency must be above 0 Hz"},
      {head + "30 50.5\r\n", "line 3: the level must be within +/-50 dB"},
      {head + "30 -51\r\n", "line 3: the level must be within +/-50 dB"},
      {head + "30\r\n", "line 3: a frequency and a level are needed"},
      {head + "30 abc\r\n", "line 3: \"abc\" is not a number"},
      {head + "30 1 x\r\n", "line 3: \"x\" is not a number"},
      {"Freq SPL\n20 1\n", "line 1: \"Freq\" is not a number"},
      {"20 nan\n", "line 1: \"nan\" is not a number"},
      {head + std::string(4097, '1') + "\r\n", " is longer than 4096 characters"},
      {"", "The calibration text holds no line of numbers"},
      {"* only notes\n\n;\n", "The calibration text holds no line of numbers"},
  };
  for (const auto& [text, why] : cases) {
    dialogs.Clear();
    Import(File("bad.txt", text), 1);
    ASSERT_EQ(dialogs.MessageTexts().size(), 1u) << why;
    EXPECT_NE(dialogs.MessageTexts()[0].find(why), std::string::npos) << dialogs.MessageTexts()[0];
    EXPECT_EQ(ActiveMicCal.Count, before.Count) << why;
    EXPECT_EQ(ActiveMicCal.Level, before.Level) << why;
    EXPECT_EQ(ActiveMicCal.FileName, before.FileName) << why;
  }
}

TEST_F(MicTextTest, ALongTableIsResampledAndSurvivesACalFile) {
  std::string text = "\"Sens Factor =-0.5dB, SERNO: 1\"\r\n";
  const int n = 2500;
  for (int i = 0; i < n; ++i) {
    const double f = 5.0 * std::pow(24000.0 / 5.0, double(i) / (n - 1));
    char line[96];
    std::snprintf(line, sizeof line, "%.4f\t%.4f\t%.1f\r\n", f, Response(f), 0.01 * i);
    text += line;
  }
  Import(File("long.txt", text), 1);
  EXPECT_EQ(dialogs.MessageTexts().back(),
            "The calibration text has 2500 points: resampled to 999 points spaced evenly in log frequency");
  ASSERT_EQ(ActiveMicCal.Count, 999);
  const MicCalTable imported = ActiveMicCal;
  EXPECT_NEAR(imported.Freq[0], 5.0f, 1e-4f);
  EXPECT_NEAR(imported.Freq[998], 24000.0f, 1e-2f);
  for (size_t i = 0; i < 999; ++i) {
    if (i > 0) {
      EXPECT_NEAR(imported.Freq[i] / imported.Freq[i - 1], std::pow(4800.0, 1.0 / 998), 1e-5) << i;
    }
    EXPECT_NEAR(imported.Level[i], Response(imported.Freq[i]), 2e-3) << i;
  }

  const std::string cal = TempPath("long.cal");
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectSaveFile(cal);
  Form()->CreatCal_Click();
  ASSERT_EQ(ActiveMicCal.FileName, cal);
  ASSERT_EQ(ActiveMicCal.Count, 999);
  for (size_t i = 0; i < 999; ++i) EXPECT_NEAR(ActiveMicCal.Level[i], imported.Level[i], 0.005) << i;
  EXPECT_EQ(Form()->LineTwo->text().toStdString(), "Sensitivity -0.5 dB, serial 1");
}

}  // namespace
}  // namespace zentor
