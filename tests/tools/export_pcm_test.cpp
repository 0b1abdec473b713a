// Impulse export: the files on disk, read at their RIFF offsets and by an
// independent reader, and the checks before anything is written.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <cmath>

#include "core/helpers.h"
#include "platform/forms.h"
#include "tools/export_pcm.h"
#include "tools/wav_import.h"
#include "tools_fixture.h"

namespace zentor::test {

namespace {

// A decaying tone whose largest magnitude is the negative sample at 2400.
float Decay(int32_t k, int32_t i) {
  if (i == 2400) return -0.75f;
  return 0.5f * std::sin(0.05f * float(i) + float(k)) * std::exp(-float(i) / 4000.0f);
}

class ExportTest : public ToolsTest {
 protected:
  ExportPCM* Window() { return Forms::Get<ExportPCM>(); }

  // Chooses the type, answers the save dialog with the path, saves.
  void SaveAs(QRadioButton* type, const std::string& path, const char* level = "10000") {
    type->setChecked(true);
    Window()->MaxLevelText->setText(level);
    dialogs.ExpectSaveFile(path);
    Window()->Save_Click();
  }
};

TEST_F(ExportTest, InitializeShowsTheWindowOnlyWithResults) {
  ExportPCM* e = Window();
  dialogs.ExpectMessage();
  EXPECT_FALSE(e->Initialize(1));
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Measured results must be loaded before doing any operations.");
  EXPECT_FALSE(e->isVisible());

  LoadSet(2, 44100, 16, Decay);
  EXPECT_FALSE(e->Initialize(2));
  EXPECT_TRUE(e->isVisible());
  EXPECT_FALSE(e->isModal());
  EXPECT_EQ(e->CurveNoText->text(), "2");
  EXPECT_EQ(e->SampleRateResolutionLabel->text(), "16 bit / 44.1KHz");
  EXPECT_TRUE(e->PCM->isChecked());
  EXPECT_EQ(e->SaveRequest.fileName, "Impulse.pcm");
  e->RAW->click();
  EXPECT_EQ(e->SaveRequest.title, "Save Impulse as *.raw File");
}

TEST_F(ExportTest, WavFieldsAtTheirOffsetsAndBareFilesEqualItsSamples) {
  LoadSet(1, 48000, 16, Decay);
  Window()->Initialize(1);
  EXPECT_EQ(Window()->SampleRateResolutionLabel->text(), "16 bit / 48KHz");
  const std::string wav = TempPath("a.wav"), pcm = TempPath("a.pcm"), raw = TempPath("a.raw");
  SaveAs(Window()->Wave, wav);
  EXPECT_EQ(dialogs.calls().back().title, "Save Impulse as *.wav File");
  EXPECT_EQ(dialogs.calls().back().fileName, "Impulse.wav");
  EXPECT_EQ(dialogs.calls().back().filter, "raw files (*.wav)|*.wav");
  SaveAs(Window()->PCM, pcm);
  EXPECT_EQ(dialogs.calls().back().filter, "PCM files (*.PCM)|*.PCM");
  SaveAs(Window()->RAW, raw);

  const std::vector<uint8_t> b = ReadFile(wav);
  ASSERT_EQ(b.size(), 131116u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  EXPECT_EQ(Le32(b, 4), 131108);
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(Le32(b, 16), 16);
  EXPECT_EQ(Le16(b, 20), 1);
  EXPECT_EQ(Le16(b, 22), 1);
  EXPECT_EQ(Le32(b, 24), 48000);
  EXPECT_EQ(Le32(b, 28), 96000);
  EXPECT_EQ(Le16(b, 32), 2);
  EXPECT_EQ(Le16(b, 34), 16);
  EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
  EXPECT_EQ(Le32(b, 40), 131072);
  int peak = 0;
  for (size_t at = 44; at < b.size(); at += 2) peak = std::max(peak, std::abs(int(Le16(b, at))));
  EXPECT_EQ(peak, 10000);
  EXPECT_EQ(Le16(b, 44 + 2 * 2400), -10000);
  // Every sample is the impulse scaled by 10000 / 0.75, rounded.
  for (int32_t i : {1, 100, 5000, 65535})
    EXPECT_NEAR(Le16(b, 44 + 2 * size_t(i)), Decay(0, i) * 10000.0f / 0.75f, 0.5001) << i;

  const std::vector<uint8_t> tail(b.begin() + 44, b.end());
  EXPECT_EQ(ReadFile(pcm), tail);
  EXPECT_EQ(ReadFile(raw), tail);
}

TEST_F(ExportTest, IndependentReaderSeesMono16BitPcmWithTheSameSamples) {
  for (const auto& [rate, exponent] : {std::pair{48000, 16}, {44100, 14}, {96000, 17}}) {
    LoadSet(1, rate, exponent, Decay);
    Window()->Initialize(1);
    const std::string path = TempPath(std::string("r").append(std::to_string(rate)).append(".wav"));
    SaveAs(Window()->Wave, path, "32767");
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.samplerate, rate);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    ASSERT_EQ(info.frames, sf_count_t(1) << exponent);
    std::vector<short> s(size_t(info.frames));
    EXPECT_EQ(sf_read_short(f, s.data(), info.frames), info.frames);
    sf_close(f);
    const std::vector<uint8_t> b = ReadFile(path);
    for (size_t i = 0; i < s.size(); ++i) ASSERT_EQ(s[i], Le16(b, 44 + 2 * i)) << i;
    EXPECT_EQ(s[2400], -32767);
  }
}

TEST_F(ExportTest, ExponentAboveSeventeenWritesTheStoredSamples) {
  LoadSet(1, 48000, 17, Decay);
  ResultsDataSetInfo[0].PeriodExponent = 19;
  Window()->Initialize(1);
  SaveAs(Window()->Wave, TempPath("x.wav"));
  EXPECT_EQ(ReadFile(TempPath("x.wav")).size(), 44u + 2u * 131072u);
}

TEST_F(ExportTest, OverwriteAsksAndALongerOldFileEndsAtTheNewLength) {
  LoadSet(1, 48000, 14, Decay);
  Window()->Initialize(1);
  const std::string path = TempPath("old.raw");
  WriteFile(path, std::vector<uint8_t>(500000, 0xAB));
  dialogs.ExpectMessage(MsgAnswer::No);
  SaveAs(Window()->RAW, path);
  EXPECT_EQ(dialogs.calls().back().text, "File Already Exists, Overwrite ?");
  EXPECT_EQ(dialogs.calls().back().title, "Mirabelt Zentor");
  EXPECT_EQ(ReadFile(path).size(), 500000u);
  dialogs.ExpectMessage(MsgAnswer::Yes);
  SaveAs(Window()->RAW, path);
  EXPECT_EQ(ReadFile(path).size(), 2u * 16384u);
}

TEST_F(ExportTest, LevelCurveAndDataChecksWriteNothing) {
  LoadSet(2, 48000, 14, [](int32_t k, int32_t i) { return k == 0 && i == 7 ? 1.0f : 0.0f; });
  Window()->Initialize(1);
  const std::string path = TempPath("c.pcm");
  for (const char* level : {"99", "32768", "abc"}) {
    dialogs.ExpectMessage();
    Window()->MaxLevelText->setText(level);
    Window()->Save_Click();
    EXPECT_FALSE(FileExists(path));
  }
  EXPECT_EQ(dialogs.MessageTexts()[0], "User Error: Input must be between 100 and 32767");
  EXPECT_EQ(dialogs.MessageTexts()[2], "User Error: Non Numeric Input");
  for (const char* level : {"100", "32767"}) {
    if (FileExists(path)) dialogs.ExpectMessage(MsgAnswer::Yes);
    SaveAs(Window()->PCM, path, level);
    const std::vector<uint8_t> b = ReadFile(path);
    ASSERT_EQ(b.size(), 2u * 16384u);
    EXPECT_EQ(Le16(b, 14), std::atoi(level));
  }

  Window()->CurveNoText->setText("3");
  dialogs.ExpectMessage();
  Window()->Save_Click();
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Input must be between 1 and 2");

  Window()->CurveNoText->setText("1.6");  // curve 2 is silent
  Window()->MaxLevelText->setText("1000");
  dialogs.ExpectSaveFile(TempPath("z.pcm"));
  dialogs.ExpectMessage();
  Window()->Save_Click();
  EXPECT_EQ(Window()->CurveNoText->text(), "2");
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 5434: No Data In Curve Selected.");
  EXPECT_FALSE(FileExists(TempPath("z.pcm")));

  dialogs.ExpectSaveFile(std::nullopt);  // cancelled: no message, no file
  Window()->CurveNoText->setText("1");
  Window()->Save_Click();

  ResultsDataSetInfo[0].NumInSet = 0;
  dialogs.ExpectMessage();
  Window()->Save_Click();
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: No measured data loaded");
}

TEST_F(ExportTest, ASampleThatIsNotANumberIsNamedAndNothingIsWritten) {
  LoadSet(2, 48000, 14, Decay);
  ImpulseSet[1][16383] = std::nanf("");
  Window()->Initialize(2);
  for (QRadioButton* type : {Window()->Wave, Window()->RAW}) {
    dialogs.ExpectMessage();
    SaveAs(type, TempPath("nan.out"));
    EXPECT_EQ(dialogs.MessageTexts().back(),
              "Error 5435: Curve 2 holds samples that are not numbers. No file was written.");
    EXPECT_FALSE(FileExists(TempPath("nan.out")));
  }
}

TEST_F(ExportTest, ExportImportExportRoundTripIsByteIdentical) {
  LoadSet(1, 48000, 15, Decay);
  ResultsDataSetInfo[0].ImpulseShift = 0;
  Window()->Initialize(1);
  const std::string first = TempPath("first.wav"), second = TempPath("second.wav");
  SaveAs(Window()->Wave, first, "20000");

  Import* imp = Forms::Get<Import>();
  dialogs.ExpectOpenFile(first);
  imp->OpenWav_Click();
  imp->TaperCheck->setChecked(false);
  imp->ImpulseStart->setText("50");
  imp->Load_Click();
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 2);

  Window()->CurveNoText->setText("2");
  SaveAs(Window()->Wave, second, "20000");
  EXPECT_EQ(ReadFile(first), ReadFile(second));
}

}  // namespace

}  // namespace zentor::test
