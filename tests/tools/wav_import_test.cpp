// WAV import: which files are taken, how the impulse lands, and that a refused file
// changes nothing. Impulse export: the files as an independent reader sees them.
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>

#include "core/helpers.h"
#include "core/results_store.h"
#include "platform/forms.h"
#include "tools/export_pcm.h"
#include "tools/wav_import.h"
#include "tools_fixture.h"

namespace zentor::test {

namespace {

std::vector<int16_t> Pulse(size_t n, size_t at, int16_t peak) {
  std::vector<int16_t> s(n, 0);
  s[at] = peak;
  return s;
}

class WavImportTest : public ToolsTest {
 protected:
  Import* Window() { return Forms::Get<Import>(); }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string p = TempPath(name);
    WriteFile(p, bytes);
    return p;
  }
  std::string WriteMono(const std::string& name, const std::vector<int16_t>& s, uint32_t rate = 48000) {
    WavLayout layout;
    layout.rate = rate;
    return Write(name, BuildWav(layout, s));
  }
  void Open(const std::string& path) {
    dialogs.ExpectOpenFile(path);
    Window()->OpenWav_Click();
  }
  // Opens and loads with the taper off, the start in ms.
  void ImportFile(const std::string& path, const char* startMs = "50", const char* distance = "0") {
    Open(path);
    Import* imp = Window();
    imp->TaperCheck->setChecked(false);
    imp->msrad->setChecked(true);
    imp->ImpulseStart->setText(startMs);
    imp->ImpulseDistance->setText(distance);
    imp->Load_Click();
  }
  QByteArray WindowFingerprint() {
    Import* imp = Window();
    return QByteArray::number(imp->WavLoaded) + QByteArray::number(imp->Load->isEnabled()) +
           QByteArray::number(imp->OpenWav->isEnabled()) + QByteArray::number(imp->WavOrder) +
           QByteArray::fromStdString(imp->WavFileName) + StoreFingerprint();
  }
};

// The sample count chooses the order. The extensible form is read, and so are data
// ahead of the format, an odd-sized chunk (padded) between and a RIFF size of 0.
TEST_F(WavImportTest, SampleCountChoosesTheOrderAndChunksAreFoundAnywhere) {
  std::vector<uint8_t> odd;
  PutTag(odd, "RIFF");
  Put32(odd, 0);
  PutTag(odd, "WAVE");
  PutTag(odd, "data");
  Put32(odd, 8192 * 2);
  for (int i = 0; i < 8192; ++i) Put16(odd, uint16_t(i == 7 ? 1234 : 0));
  PutTag(odd, "junk");
  Put32(odd, 3);
  odd.insert(odd.end(), {1, 2, 3, 0});
  const std::vector<uint8_t> fmt = BuildWav({}, {});
  odd.insert(odd.end(), fmt.begin() + 12, fmt.begin() + 36);
  std::vector<std::pair<std::vector<uint8_t>, int32_t>> cases;
  for (const auto& [n, order] : {std::pair{131072, 17}, {131071, 16}, {8192, 13}, {262144, 17}, {40000, 15}})
    cases.emplace_back(BuildWav({}, Pulse(size_t(n), 10, 1000)), order);
  cases.emplace_back(BuildWav({.code = 0xFFFE, .fmtBytes = 40}, Pulse(8192, 10, 1000)), 13);
  cases.emplace_back(odd, 13);
  for (size_t i = 0; i < cases.size(); ++i) {
    Forms::Unload<Import>();
    Open(Write("n.wav", cases[i].first));
    ASSERT_TRUE(Window()->WavLoaded) << i;
    EXPECT_EQ(Window()->WavOrder, cases[i].second) << i;
    EXPECT_TRUE(Window()->Load->isEnabled());
    EXPECT_FALSE(Window()->OpenWav->isEnabled());
  }
  EXPECT_EQ(PcmSamples.size(), 8192u);
  EXPECT_EQ(PcmSamples[7], 1234);
}

TEST_F(WavImportTest, MalformedFilesGiveTheirOwnMessageAndChangeNothing) {
  LoadSet(1, 48000, 14, [](int32_t, int32_t i) { return i == 5 ? 1.0f : 0.0f; });
  // Nothing opened yet: a cancelled dialog, and a load without a file.
  const QByteArray empty = WindowFingerprint();
  dialogs.ExpectOpenFile(std::nullopt);
  Window()->OpenWav_Click();
  EXPECT_EQ(WindowFingerprint(), empty);
  EXPECT_EQ(MessageFrom(dialogs, [&] { Window()->Load_Click(); }),
            "User Error: A Wav file must be opened before loading data");
  EXPECT_EQ(WindowFingerprint(), empty);
  // A good file first, so that a refusal has a loaded state to keep.
  Open(WriteMono("good.wav", Pulse(16384, 100, 3000)));
  ASSERT_TRUE(Window()->WavLoaded);
  const QByteArray before = WindowFingerprint();

  const std::vector<int16_t> body = Pulse(8192, 10, 1000);
  const std::vector<uint8_t> canonical = BuildWav({}, body);
  const std::string damaged = "Error 5443: WAV file is truncated or damaged",
                    notPcm = "Error 5444: Only 16, 24 and 32 bit PCM and 32 bit float WAV files can be imported",
                    noChunk = "Error 5442: WAV file has no format or data chunk",
                    badRate = "Error 5445: WAV sample rate out of range";
  struct Case {
    std::vector<uint8_t> bytes;
    std::string message;
    const char* typed = nullptr;  // the channel, when asked
  };
  std::vector<Case> cases;
  for (size_t cut = 0; cut <= 52; ++cut)
    cases.emplace_back(std::vector<uint8_t>(canonical.begin(), canonical.begin() + cut),
                       cut < 12 ? "Error 5441: Not a RIFF WAVE file" : cut == 12 || cut == 36 ? noChunk : damaged);
  std::vector<uint8_t> patched = canonical;
  patched[40] = 0xFF;  // data size 255 bytes more than the file holds
  cases.emplace_back(patched, damaged);
  patched = canonical;
  patched[8] = 'X';
  cases.emplace_back(patched, "Error 5441: Not a RIFF WAVE file");
  const auto with = [&](WavLayout s) { return BuildWav(s, body); };
  cases.emplace_back(with({.fmtBytes = 14}), damaged);
  cases.emplace_back(with({.code = 3, .bits = 64}), notPcm);
  cases.emplace_back(with({.code = 0xFFFE, .bits = 64, .fmtBytes = 40, .pcmSubFormat = false}), notPcm);
  cases.emplace_back(with({.code = 0xFFFE, .fmtBytes = 40, .pcmSubFormat = false}), notPcm);  // float, though 16 bits
  cases.emplace_back(with({.bits = 8}), notPcm);
  cases.emplace_back(with({.bits = 64}), notPcm);
  cases.emplace_back(with({.channels = 0}), notPcm);
  cases.emplace_back(with({.channels = 2}), "User Error: File must be a single channel file");
  cases.emplace_back(with({.rate = 0}), badRate);
  cases.emplace_back(with({.rate = 192001}), badRate);
  cases.emplace_back(with({.withData = false}), noChunk);
  cases.emplace_back(BuildWav({}, Pulse(8191, 10, 1000)), "User Error: Wave file must have more than 8192 samples");
  std::vector<int16_t> floats(4 * 8192, 0);
  for (const char* typed : {"3", "0", "1.5", "x"})
    cases.push_back({BuildWav({.code = 3, .channels = 2, .bits = 32}, floats),
                     "User Error: The channel must be a whole number from 1 to 2", typed});
  floats[5] = int16_t(0x7FC0);  // the high half of a quiet NaN
  cases.emplace_back(BuildWav({.code = 3, .bits = 32}, floats), damaged);
  floats[5] = 0;
  floats[6] = int16_t(0xF2CA), floats[7] = int16_t(0x7149);  // 1e30: its square overflows the energy
  cases.emplace_back(BuildWav({.code = 3, .bits = 32}, floats), damaged);

  // Loaded files are refused only in the open step, so the open button is
  // pressed directly even while a file waits.
  for (size_t i = 0; i < cases.size(); ++i) {
    if (cases[i].typed) dialogs.ExpectInput(cases[i].typed);
    dialogs.ExpectMessage();
    Open(Write("bad.wav", cases[i].bytes));
    // The reader's own refusals name the file.
    const std::string named = cases[i].message.starts_with("Error 54") ? ": " + TempPath("bad.wav") : "";
    EXPECT_EQ(dialogs.MessageTexts().back(), cases[i].message + named) << "case " << i;
    EXPECT_EQ(WindowFingerprint(), before) << "case " << i;
  }
  ASSERT_EQ(mkfifo(TempPath("pipe.wav").c_str(), 0600), 0);
  for (const auto& [name, why] : {std::pair{"missing.wav", "not found"}, std::pair{"pipe.wav", "not a regular file"}}) {
    EXPECT_EQ(MessageFrom(dialogs, [&] { Open(TempPath(name)); }),
              "Error 5446: WAV file could not be read: " + TempPath(name) + ": " + why);
    EXPECT_EQ(WindowFingerprint(), before);
  }
}

// Into an empty set (emptied again between the cases): the taper fades both ends; the
// start lands at 50 ms, the header filled; a start of 0 rotates the first sample
// there, the noise setting the ratio; a long file gives its first 131072 samples; a
// start in samples is cut to whole samples and bounded by the file.
TEST_F(WavImportTest, ImportIntoAnEmptySetPlacesTheStartAtFiftyMsAndFillsTheHeader) {
  // The taper is on at first: the first and last samples faded to (almost) zero.
  Open(WriteMono("flat.wav", std::vector<int16_t>(8192, 1000)));
  Window()->ImpulseStart->setText("50");
  Window()->Load_Click();
  EXPECT_EQ(ImpulseSet[0][0], 0.0f);
  EXPECT_EQ(ImpulseSet[0][8191], 0.0f);
  EXPECT_EQ(ImpulseSet[0][4000], 1.0f);  // rotated by nothing

  // A pulse at 50 ms, a second half of silence, peak 1500.
  ResultsDataSetInfo[0].NumInSet = 0;
  std::vector<int16_t> s = Pulse(65536, 2400, 1500);
  s[2500] = -700;
  ImportFile(WriteMono("p.wav", s), "50", "1.9");
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  const MeasurementHeader& h = ResultsDataSetInfo[0];
  EXPECT_EQ(std::tuple(h.SampleRate, h.PeriodExponent, h.PreExcitationExponent), std::tuple(48000, 16, 16));
  EXPECT_EQ(Window()->ImportDistance, 1.0f);
  EXPECT_EQ(h.ImpulseShift, -2260);  // 1 m at 343 m/s less the 50 ms lead
  EXPECT_EQ(std::pair(h.PeakLevel, h.NoiseEnergy), std::pair(-20.0f, 90.0f));
  EXPECT_FLOAT_EQ(h.SignalEnergy, 1500.0f * 1500.0f + 700.0f * 700.0f);
  EXPECT_EQ(ImpulseSet[0][2400], 1.0f);  // no rotation, normalised
  EXPECT_FLOAT_EQ(ImpulseSet[0][2500], -700.0f / 1500.0f);
  EXPECT_EQ(w->ResultsTakenButNotSaved, kTrue);
  EXPECT_FALSE(Window()->WavLoaded);
  EXPECT_TRUE(Window()->OpenWav->isEnabled());

  ResultsDataSetInfo[0].NumInSet = 0;
  s.assign(16384, 0);
  s[0] = -15000;
  s[12000] = 150;  // noise energy in the second half: 150^2, 40 dB below
  ImportFile(WriteMono("z.wav", s), "0");
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  EXPECT_EQ(ImpulseSet[0][2400], -1.0f);
  EXPECT_FLOAT_EQ(ImpulseSet[0][12000 + 2400], 0.01f);
  EXPECT_EQ(ResultsDataSetInfo[0].PeakLevel, 0.0f);  // the largest magnitude: -15000
  EXPECT_NEAR(ResultsDataSetInfo[0].NoiseEnergy, 40.0f, 1e-4);

  ResultsDataSetInfo[0].NumInSet = 0;
  s.assign(262144, 0);
  for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(int64_t(i * 7919 % 2001) - 1000);
  ImportFile(WriteMono("long.wav", s));
  ASSERT_EQ(ResultsDataSetInfo[0].PeriodExponent, 17);
  for (size_t i : {size_t{0}, size_t{777}, size_t{131071}})
    EXPECT_FLOAT_EQ(ImpulseSet[0][i] * 1000.0f, float(s[i])) << i;

  // A start in samples is cut to whole samples and bounded by the file.
  ResultsDataSetInfo[0].NumInSet = 0;
  s = Pulse(8192, 100, 2000);
  Open(WriteMono("s.wav", s));
  Import* imp = Window();
  imp->TaperCheck->setChecked(false);
  imp->SamplesRad->setChecked(true);
  imp->ImpulseStart->setText("100.7");
  imp->Load_Click();
  EXPECT_EQ(imp->ImpulseStart->text(), "100");
  EXPECT_EQ(ImpulseSet[0][2400], 1.0f);

  Open(WriteMono("s.wav", s));
  imp->ImpulseStart->setText("8192");
  EXPECT_EQ(MessageFrom(dialogs, [&] { imp->Load_Click(); }), "User Error: Input must be between 0 and 8191");
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  EXPECT_FALSE(imp->WavLoaded);  // the file has to be opened again
}

// Silence, another rate than the set's and a full store are refused; the set decides the length.
TEST_F(WavImportTest, TheSetDecidesRateAndLengthAndSilenceOrAFullStoreAreRefused) {
  EXPECT_EQ(MessageFrom(dialogs, [&] { ImportFile(WriteMono("quiet.wav", std::vector<int16_t>(8192, 0))); }),
            "User Error: No input signal");
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 0);
  LoadSet(1, 48000, 17, [](int32_t, int32_t i) { return i == 2400 ? 1.0f : 0.0f; });
  EXPECT_EQ(MessageFrom(dialogs, [&] { ImportFile(WriteMono("r.wav", Pulse(65536, 2400, 1000), 44100)); }),
            "User Error: The wave import sample rate is different than the loaded measurement results. This impulse "
            "cannot be added.");
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 1);

  ImpulseSet[1].fill(5.0f);
  EXPECT_EQ(MessageFrom(dialogs, [&] { ImportFile(WriteMono("short.wav", Pulse(65536, 2400, 1000))); }),
            "Warning: The length of the imported data is shorter than the perviously loaded results");
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  EXPECT_EQ(ResultsDataSetInfo[1].NumInSet, 2);
  EXPECT_EQ(ResultsDataSetInfo[1].PeriodExponent, 17);
  EXPECT_EQ(ImpulseSet[1][2400], 1.0f);
  for (size_t i : {size_t{65536}, size_t{100000}, size_t{131071}}) EXPECT_EQ(ImpulseSet[1][i], 0.0f) << i;

  LoadSet(kMaxResults, 48000, 14, [](int32_t, int32_t i) { return i == 3 ? 1.0f : 0.0f; });
  Open(WriteMono("p.wav", Pulse(16384, 2400, 1000)));
  const QByteArray before = WindowFingerprint();
  EXPECT_EQ(MessageFrom(dialogs, [&] { Window()->Load_Click(); }), ResultsStoreFullMessage());
  EXPECT_EQ(WindowFingerprint(), before);
}

// The same decaying impulse written by an independent writer in each format the
// import takes: every import lands within 1e-4 of the 16-bit one, at its level. The
// 16-bit file carries a LIST chunk ahead of "data".
TEST_F(WavImportTest, WiderFormatsImportAsASixteenBitFileOfTheSamePeak) {
  struct Format {
    const char *name;
    int format, channels;
    const char* channel;  // answered when asked
  } formats[] = {{"pcm16", SF_FORMAT_PCM_16, 1, nullptr}, {"pcm24", SF_FORMAT_PCM_24, 1, nullptr},
                            {"pcm32", SF_FORMAT_PCM_32, 1, nullptr}, {"float", SF_FORMAT_FLOAT, 1, nullptr},
                            {"float stereo", SF_FORMAT_FLOAT, 2, "2"},  {"pcm24 of 3", SF_FORMAT_PCM_24, 3, "3"}};
  const size_t n = 16384;
  std::vector<double> impulse(n);
  for (size_t i = 0; i < n; ++i) impulse[i] = 0.6 * std::sin(0.05 * double(i)) * std::exp(-2e-3 * double(i));
  for (size_t k = 0; k < std::size(formats); ++k) {
    const auto& f = formats[k];
    const std::string path = TempPath(std::string(f.name) + ".wav");
    SF_INFO info{0, 48000, f.channels, SF_FORMAT_WAV | f.format, 0, 0};
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << f.name;
    if (k == 0) {  // strings set before the samples go into a LIST chunk
      sf_set_string(file, SF_STR_TITLE, "impulse");
      sf_set_string(file, SF_STR_SOFTWARE, "a test");
    }
    // The impulse in the last channel, its inverse in the others.
    std::vector<double> frames(n * size_t(f.channels));
    for (size_t i = 0; i < frames.size(); ++i)
      frames[i] = (i % size_t(f.channels) == size_t(f.channels - 1) ? 1 : -0.5) * impulse[i / size_t(f.channels)];
    ASSERT_EQ(sf_writef_double(file, frames.data(), sf_count_t(n)), sf_count_t(n));
    sf_close(file);
    if (f.channel) dialogs.ExpectInput(f.channel);
    ImportFile(path);
    ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, int32_t(k + 1)) << f.name;
  }
  const std::vector<uint8_t> pcm16 = ReadFile(TempPath("pcm16.wav"));
  const std::string listed(pcm16.begin(), pcm16.end());
  ASSERT_LT(listed.find("LIST"), listed.find("data"));  // a chunk the import passes over
  const size_t last = std::size(formats) - 1;
  for (size_t k = 1; k <= last; ++k) {
    EXPECT_EQ(ResultsDataSetInfo[k].PeakLevel, ResultsDataSetInfo[0].PeakLevel) << k;
    float worst = 0;
    for (size_t i = 0; i < size_t(kMaxSamples); ++i)
      worst = std::max(worst, std::fabs(ImpulseSet[k][i] - ImpulseSet[0][i]));
    EXPECT_LT(worst, 1e-4f) << k;
  }
}

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

TEST_F(ExportTest, InitializeShowsTheWindowOnlyWithResultsAndSavesOnlyNumbers) {
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
  EXPECT_TRUE(e->PCM->isChecked());
  EXPECT_EQ(e->SaveRequest.fileName, "Impulse.pcm");
  e->RAW->click();
  EXPECT_EQ(e->SaveRequest.title, "Save Impulse as *.raw File");

  // A sample that is not a number is named, and nothing is written.
  ImpulseSet[1][65535] = std::nanf("");
  for (QRadioButton* type : {e->Wave, e->RAW}) {
    EXPECT_EQ(MessageFrom(dialogs, [&] { SaveAs(type, TempPath("nan.out")); }),
              "Error 5435: Curve 2 holds samples that are not numbers. No file was written.");
    EXPECT_FALSE(FileExists(TempPath("nan.out")));
  }
}

// The header at its offsets and the samples as an independent reader sees them. An
// exponent above 17 (from an old file) writes the 2^17 stored samples. The bare
// files hold the same samples without a header.
TEST_F(ExportTest, WavFieldsAtTheirOffsetsAndTheSamplesAnIndependentReaderSees) {
  for (const auto& [rate, exponent, stored, label] :
       {std::tuple{48000, 16, 16, "16 bit / 48KHz"}, {44100, 14, 14, "16 bit / 44.1KHz"}, {96000, 17, 19, "16 bit / 96KHz"}}) {
    SCOPED_TRACE(rate);
    LoadSet(1, rate, exponent, Decay);
    ResultsDataSetInfo[0].PeriodExponent = stored;
    Window()->Initialize(1);
    EXPECT_EQ(Window()->SampleRateResolutionLabel->text(), label);
    const std::string path = TempPath("r" + std::to_string(rate) + ".wav");
    SaveAs(Window()->Wave, path);
    const DialogCall& call = dialogs.calls().back();
    EXPECT_EQ(std::tuple(call.title, call.fileName, call.filter),
              std::tuple("Save Impulse as *.wav File", "Impulse.wav", "raw files (*.wav)|*.wav"));
    const std::vector<uint8_t> b = ReadFile(path);
    const int32_t n = 1 << exponent;
    ASSERT_EQ(b.size(), 44u + 2u * size_t(n));
    for (const auto& [at, tag] : {std::pair{0, "RIFF"}, {8, "WAVEfmt "}, {36, "data"}})
      EXPECT_EQ(std::string(b.begin() + at, b.begin() + at + long(std::strlen(tag))), tag);
    for (const auto& [at, v] : {std::pair{4, 36 + 2 * n}, {16, 16}, {24, rate}, {28, 2 * rate}, {40, 2 * n}})
      EXPECT_EQ(At<int32_t>(b, size_t(at)), v) << at;
    for (const auto& [at, v] : {std::pair{20, 1}, {22, 1}, {32, 2}, {34, 16}})
      EXPECT_EQ(At<int16_t>(b, size_t(at)), v) << at;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(std::tuple(info.channels, info.samplerate, info.format),
              std::tuple(1, rate, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    ASSERT_EQ(info.frames, sf_count_t(n));
    std::vector<short> s(static_cast<size_t>(n));
    EXPECT_EQ(sf_read_short(f, s.data(), info.frames), info.frames);
    sf_close(f);
    // Every sample is the impulse scaled by 10000 / 0.75, rounded: its peak the one at 2400.
    for (size_t i = 0; i < s.size(); ++i) ASSERT_NEAR(s[i], Decay(0, int32_t(i)) * 10000.0f / 0.75f, 0.51) << i;
    EXPECT_EQ(s[2400], -10000);
  }
  const std::vector<uint8_t> wav = ReadFile(TempPath("r96000.wav"));
  SaveAs(Window()->PCM, TempPath("a.pcm"));
  EXPECT_EQ(dialogs.calls().back().filter, "PCM files (*.PCM)|*.PCM");
  SaveAs(Window()->RAW, TempPath("a.raw"));
  for (const char* bare : {"a.pcm", "a.raw"}) EXPECT_EQ(ReadFile(TempPath(bare)), std::vector<uint8_t>(wav.begin() + 44, wav.end()));
}

// An old file longer than the new one is kept when the overwrite is refused, and ends
// at the new length when it is not.
TEST_F(ExportTest, LevelCurveAndDataChecksWriteNothingAndOverwriteAsks) {
  LoadSet(2, 48000, 14, [](int32_t k, int32_t i) { return k == 0 && i == 7 ? 1.0f : 0.0f; });
  Window()->Initialize(1);
  const std::string path = TempPath("c.pcm");
  WriteFile(path, std::vector<uint8_t>(500000, 0xAB));
  for (const char* level : {"99", "32768", "abc"}) {
    dialogs.ExpectMessage();
    Window()->MaxLevelText->setText(level);
    Window()->Save_Click();
  }
  EXPECT_EQ(dialogs.MessageTexts()[0], "User Error: Input must be between 100 and 32767");
  EXPECT_EQ(dialogs.MessageTexts()[2], "User Error: Non Numeric Input");
  dialogs.ExpectMessage(MsgAnswer::No);
  SaveAs(Window()->RAW, path);
  EXPECT_EQ(dialogs.calls().back().text, "File Already Exists, Overwrite ?");
  EXPECT_EQ(dialogs.calls().back().title, "Mirabelt Zentor");
  EXPECT_EQ(ReadFile(path).size(), 500000u);
  for (const char* level : {"100", "32767"}) {
    dialogs.ExpectMessage(MsgAnswer::Yes);
    SaveAs(Window()->PCM, path, level);
    const std::vector<uint8_t> b = ReadFile(path);
    ASSERT_EQ(b.size(), 2u * 16384u);
    EXPECT_EQ(At<int16_t>(b, 14), std::atoi(level));
  }

  Window()->CurveNoText->setText("3");
  EXPECT_EQ(MessageFrom(dialogs, [&] { Window()->Save_Click(); }), "User Error: Input must be between 1 and 2");

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
  EXPECT_EQ(MessageFrom(dialogs, [&] { Window()->Save_Click(); }), "User Error: No measured data loaded");
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
