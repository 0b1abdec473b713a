// WAV import: which files are taken, how the impulse lands in the set, and that
// every refused file leaves the window, the sample buffer and the store alone.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>

#include "core/results_store.h"
#include "platform/forms.h"
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

TEST_F(WavImportTest, SampleCountChoosesTheOrderAndShortFilesAreRefused) {
  const std::pair<size_t, int32_t> cases[] = {{131072, 17}, {131071, 16}, {8192, 13}, {262144, 17}, {40000, 15}};
  for (const auto& [n, order] : cases) {
    Open(WriteMono("n.wav", Pulse(n, 10, 1000)));
    EXPECT_TRUE(Window()->WavLoaded) << n;
    EXPECT_EQ(Window()->WavOrder, order) << n;
    EXPECT_TRUE(Window()->Load->isEnabled());
    EXPECT_FALSE(Window()->OpenWav->isEnabled());
    Forms::Unload<Import>();
  }
  dialogs.ExpectMessage();
  Open(WriteMono("short.wav", Pulse(8191, 10, 1000)));
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Wave file must have more than 8192 samples");
  EXPECT_FALSE(Window()->WavLoaded);
  EXPECT_FALSE(Window()->Load->isEnabled());
}

TEST_F(WavImportTest, LoadWithoutFileAndCancelledDialogChangeNothing) {
  Import* imp = Window();
  dialogs.ExpectOpenFile(std::nullopt);
  const QByteArray before = WindowFingerprint();
  imp->OpenWav_Click();
  EXPECT_EQ(WindowFingerprint(), before);
  dialogs.ExpectMessage();
  imp->Load_Click();
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: A Wav file must be opened before loading data");
  EXPECT_EQ(WindowFingerprint(), before);
}

TEST_F(WavImportTest, MalformedFilesGiveTheirOwnMessageAndChangeNothing) {
  LoadSet(1, 48000, 14, [](int32_t, int32_t i) { return i == 5 ? 1.0f : 0.0f; });
  // A good file first, so that a refusal has a loaded state to keep.
  Open(WriteMono("good.wav", Pulse(16384, 100, 3000)));
  ASSERT_TRUE(Window()->WavLoaded);
  const QByteArray before = WindowFingerprint();

  const std::vector<int16_t> body = Pulse(8192, 10, 1000);
  const std::vector<uint8_t> canonical = BuildWav({}, body);
  std::vector<std::pair<std::vector<uint8_t>, std::string>> cases;
  for (size_t cut = 0; cut <= 52; ++cut) {
    std::string expected = "Error 5443: WAV file is truncated or damaged";
    if (cut < 12) expected = "Error 5441: Not a RIFF WAVE file";
    if (cut == 12 || cut == 36) expected = "Error 5442: WAV file has no format or data chunk";
    cases.emplace_back(std::vector<uint8_t>(canonical.begin(), canonical.begin() + cut), expected);
  }
  std::vector<uint8_t> pastEnd = canonical;
  pastEnd[40] = 0xFF;  // data size 255 bytes more than the file holds
  cases.emplace_back(pastEnd, "Error 5443: WAV file is truncated or damaged");
  std::vector<uint8_t> notRiff = canonical;
  notRiff[8] = 'X';
  cases.emplace_back(notRiff, "Error 5441: Not a RIFF WAVE file");
  WavLayout s;
  s.fmtBytes = 14;
  cases.emplace_back(BuildWav(s, body), "Error 5443: WAV file is truncated or damaged");
  const std::string notPcm = "Error 5444: Only 16 bit PCM WAV files can be imported";
  s = {};
  s.code = 3;
  s.bits = 64;
  cases.emplace_back(BuildWav(s, body), notPcm);
  s = {};
  s.code = 0xFFFE;
  s.fmtBytes = 40;
  s.bits = 64;
  s.pcmSubFormat = false;
  cases.emplace_back(BuildWav(s, body), notPcm);
  s.bits = 16;
  cases.emplace_back(BuildWav(s, body), notPcm);  // float sub-format, though 16 bits
  for (uint16_t bits : {8, 64}) {
    s = {};
    s.bits = bits;
    cases.emplace_back(BuildWav(s, body), notPcm);
  }
  s = {};
  s.channels = 0;
  cases.emplace_back(BuildWav(s, body), notPcm);
  s = {};
  s.channels = 2;
  cases.emplace_back(BuildWav(s, body), "User Error: File must be a single channel file");
  s = {};
  s.rate = 0;
  cases.emplace_back(BuildWav(s, body), "Error 5445: WAV sample rate out of range");
  s.rate = 192001;
  cases.emplace_back(BuildWav(s, body), "Error 5445: WAV sample rate out of range");
  s = {};
  s.withData = false;
  cases.emplace_back(BuildWav(s, body), "Error 5442: WAV file has no format or data chunk");

  // Loaded files are refused only in the open step, so the open button is
  // pressed directly even while a file waits.
  for (size_t i = 0; i < cases.size(); ++i) {
    dialogs.ExpectMessage();
    Open(Write("bad.wav", cases[i].first));
    EXPECT_EQ(dialogs.MessageTexts().back(), cases[i].second) << "case " << i;
    EXPECT_EQ(WindowFingerprint(), before) << "case " << i;
  }
  dialogs.ExpectMessage();
  Open(TempPath("missing.wav"));
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 5446: WAV file could not be read");
  EXPECT_EQ(WindowFingerprint(), before);
}

TEST_F(WavImportTest, ExtensiblePcmAndChunksAnywhereAreRead) {
  WavLayout s;
  s.code = 0xFFFE;
  s.fmtBytes = 40;
  Open(Write("ext.wav", BuildWav(s, Pulse(8192, 10, 1000))));
  EXPECT_TRUE(Window()->WavLoaded);
  Forms::Unload<Import>();

  // Data before format, an odd-sized chunk (padded) between, and a RIFF size of 0.
  std::vector<uint8_t> b;
  PutTag(b, "RIFF");
  Put32(b, 0);
  PutTag(b, "WAVE");
  PutTag(b, "data");
  Put32(b, 8192 * 2);
  for (int i = 0; i < 8192; ++i) Put16(b, uint16_t(i == 7 ? 1234 : 0));
  PutTag(b, "junk");
  Put32(b, 3);
  b.insert(b.end(), {1, 2, 3, 0});
  const std::vector<uint8_t> fmt = BuildWav({}, {});
  b.insert(b.end(), fmt.begin() + 12, fmt.begin() + 36);
  Open(Write("odd.wav", b));
  ASSERT_TRUE(Window()->WavLoaded);
  EXPECT_EQ(PcmSamples.size(), 8192u);
  EXPECT_EQ(PcmSamples[7], 1234);
}

TEST_F(WavImportTest, ImportIntoEmptySetPlacesStartAtFiftyMsAndFillsTheHeader) {
  // A pulse at 50 ms, a second half of silence, peak 1500.
  std::vector<int16_t> s = Pulse(65536, 2400, 1500);
  s[2500] = -700;
  ImportFile(WriteMono("p.wav", s), "50", "1.9");
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  const MeasurementHeader& h = ResultsDataSetInfo[0];
  EXPECT_EQ(h.SampleRate, 48000);
  EXPECT_EQ(h.PeriodExponent, 16);
  EXPECT_EQ(h.PreExcitationExponent, 16);
  EXPECT_EQ(Window()->ImportDistance, 1.0f);
  EXPECT_EQ(h.ImpulseShift, -2260);  // 1 m at 343 m/s less the 50 ms lead
  EXPECT_EQ(h.PeakLevel, -20.0f);
  EXPECT_EQ(h.NoiseEnergy, 90.0f);
  EXPECT_FLOAT_EQ(h.SignalEnergy, 1500.0f * 1500.0f + 700.0f * 700.0f);
  EXPECT_EQ(ImpulseSet[0][2400], 1.0f);  // no rotation, normalised
  EXPECT_FLOAT_EQ(ImpulseSet[0][2500], -700.0f / 1500.0f);
  EXPECT_EQ(w->ResultsTakenButNotSaved, kTrue);
  EXPECT_FALSE(Window()->WavLoaded);
  EXPECT_TRUE(Window()->OpenWav->isEnabled());
}

TEST_F(WavImportTest, StartZeroRotatesFirstSampleToFiftyMsAndNoiseSetsTheRatio) {
  std::vector<int16_t> s(16384, 0);
  s[0] = -15000;
  s[12000] = 150;  // noise energy in the second half: 150^2, 40 dB below
  ImportFile(WriteMono("z.wav", s), "0");
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  EXPECT_EQ(ImpulseSet[0][2400], -1.0f);
  EXPECT_FLOAT_EQ(ImpulseSet[0][12000 + 2400], 0.01f);
  EXPECT_EQ(ResultsDataSetInfo[0].PeakLevel, 0.0f);  // the largest magnitude: -15000
  EXPECT_NEAR(ResultsDataSetInfo[0].NoiseEnergy, 40.0f, 1e-4);
}

TEST_F(WavImportTest, StartInSamplesIsCutToWholeSamplesAndBoundedByTheFile) {
  std::vector<int16_t> s = Pulse(8192, 100, 2000);
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
  dialogs.ExpectMessage();
  imp->Load_Click();
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Input must be between 0 and 8191");
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  EXPECT_FALSE(imp->WavLoaded);  // the file has to be opened again
}

TEST_F(WavImportTest, LongFileUsesItsFirst131072Samples) {
  std::vector<int16_t> s(262144, 0);
  for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(int64_t(i * 7919 % 2001) - 1000);
  ImportFile(WriteMono("long.wav", s));
  ASSERT_EQ(ResultsDataSetInfo[0].PeriodExponent, 17);
  for (size_t i : {size_t{0}, size_t{777}, size_t{131071}})
    EXPECT_FLOAT_EQ(ImpulseSet[0][i] * 1000.0f, float(s[i])) << i;
}

TEST_F(WavImportTest, SetDecidesRateAndLength) {
  LoadSet(1, 48000, 17, [](int32_t, int32_t i) { return i == 2400 ? 1.0f : 0.0f; });
  dialogs.ExpectMessage();
  ImportFile(WriteMono("r.wav", Pulse(65536, 2400, 1000), 44100));
  EXPECT_EQ(dialogs.MessageTexts().back(),
            "User Error: The wave import sample rate is different than the loaded measurement results. This impulse "
            "cannot be added.");
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 1);

  ImpulseSet[1].fill(5.0f);
  dialogs.ExpectMessage();
  ImportFile(WriteMono("short.wav", Pulse(65536, 2400, 1000)));
  EXPECT_EQ(dialogs.MessageTexts().back(),
            "Warning: The length of the imported data is shorter than the perviously loaded results");
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  EXPECT_EQ(ResultsDataSetInfo[1].NumInSet, 2);
  EXPECT_EQ(ResultsDataSetInfo[1].PeriodExponent, 17);
  EXPECT_EQ(ImpulseSet[1][2400], 1.0f);
  for (size_t i : {size_t{65536}, size_t{100000}, size_t{131071}}) EXPECT_EQ(ImpulseSet[1][i], 0.0f) << i;
}

TEST_F(WavImportTest, SilenceAndAFullStoreAreRefused) {
  dialogs.ExpectMessage();
  ImportFile(WriteMono("quiet.wav", std::vector<int16_t>(8192, 0)));
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: No input signal");
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 0);

  LoadSet(kMaxResults, 48000, 14, [](int32_t, int32_t i) { return i == 3 ? 1.0f : 0.0f; });
  Open(WriteMono("p.wav", Pulse(16384, 2400, 1000)));
  const QByteArray before = WindowFingerprint();
  dialogs.ExpectMessage();
  Window()->Load_Click();
  EXPECT_EQ(dialogs.MessageTexts().back(), ResultsStoreFullMessage());
  EXPECT_EQ(WindowFingerprint(), before);
}

TEST_F(WavImportTest, TaperFadesBothEnds) {
  std::vector<int16_t> s(8192, 1000);
  Open(WriteMono("flat.wav", s));
  Window()->ImpulseStart->setText("50");
  Window()->Load_Click();
  // Rotated by nothing; the first and last samples are faded to (almost) zero.
  EXPECT_EQ(ImpulseSet[0][0], 0.0f);
  EXPECT_EQ(ImpulseSet[0][8191], 0.0f);
  EXPECT_EQ(ImpulseSet[0][4000], 1.0f);
}

TEST_F(WavImportTest, FileWithListChunkFromAnotherWriterImportsTheSameSamples) {
  std::vector<int16_t> s(16384);
  for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(std::lround(8000 * std::sin(0.01 * double(i)) * std::exp(-1e-4 * i)));
  const std::string other = TempPath("other.wav");
  SF_INFO info{};
  info.samplerate = 48000;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(other.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  // Strings set before the samples go into a LIST chunk ahead of "data".
  sf_set_string(f, SF_STR_TITLE, "impulse");
  sf_set_string(f, SF_STR_SOFTWARE, "a test");
  ASSERT_EQ(sf_write_short(f, s.data(), sf_count_t(s.size())), sf_count_t(s.size()));
  sf_close(f);
  const std::vector<uint8_t> bytes = ReadFile(other);
  const std::string text(bytes.begin(), bytes.end());
  ASSERT_NE(text.find("LIST"), std::string::npos);
  ASSERT_LT(text.find("LIST"), text.find("data"));

  ImportFile(other);
  ImportFile(WriteMono("canonical.wav", s));
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  EXPECT_EQ(std::memcmp(ImpulseSet[0].data(), ImpulseSet[1].data(), sizeof(float) * kMaxSamples), 0);
  EXPECT_EQ(ResultsDataSetInfo[0].PeakLevel, ResultsDataSetInfo[1].PeakLevel);
}


// The same decaying impulse written by an independent writer in each format the
// import takes: every import lands within 1e-4 of the 16-bit one, at its level.
TEST_F(WavImportTest, WiderFormatsImportAsASixteenBitFileOfTheSamePeak) {
  struct Format {
    const char* name;
    int format;
    int channels;
    const char* channel;  // answered when asked
  };
  const Format formats[] = {{"pcm16", SF_FORMAT_PCM_16, 1, nullptr}, {"pcm24", SF_FORMAT_PCM_24, 1, nullptr},
                            {"pcm32", SF_FORMAT_PCM_32, 1, nullptr}, {"float", SF_FORMAT_FLOAT, 1, nullptr},
                            {"float stereo", SF_FORMAT_FLOAT, 2, "2"},  {"pcm24 of 3", SF_FORMAT_PCM_24, 3, "3"}};
  const size_t n = 16384;
  std::vector<double> impulse(n);
  for (size_t i = 0; i < n; ++i) impulse[i] = 0.6 * std::sin(0.05 * double(i)) * std::exp(-2e-3 * double(i));
  for (size_t k = 0; k < std::size(formats); ++k) {
    const Format& f = formats[k];
    const std::string path = TempPath(std::string(f.name) + ".wav");
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = f.channels;
    info.format = SF_FORMAT_WAV | f.format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << f.name;
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
  for (size_t k = 1; k < std::size(formats); ++k) {
    EXPECT_EQ(ResultsDataSetInfo[k].PeakLevel, ResultsDataSetInfo[0].PeakLevel) << formats[k].name;
    float worst = 0;
    for (size_t i = 0; i < size_t(kMaxSamples); ++i) worst = std::max(worst, std::fabs(ImpulseSet[k][i] - ImpulseSet[0][i]));
    EXPECT_LT(worst, 1e-4f) << formats[k].name;
  }
}

TEST_F(WavImportTest, AChannelOutsideTheFileOrAFloatThatIsNoNumberIsRefused) {
  WavLayout s;
  s.code = 3;
  s.bits = 32;
  s.channels = 2;
  std::vector<int16_t> body(4 * 8192, 0);
  const std::string stereo = Write("stereo.wav", BuildWav(s, body));
  for (const char* typed : {"3", "0", "1.5", "x"}) {
    dialogs.ExpectInput(typed);
    dialogs.ExpectMessage();
    Open(stereo);
    EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: The channel must be a whole number from 1 to 2") << typed;
    EXPECT_FALSE(Window()->WavLoaded);
  }
  s.channels = 1;
  body[5] = int16_t(0x7FC0);  // the high half of a quiet NaN
  dialogs.ExpectMessage();
  Open(Write("nan.wav", BuildWav(s, body)));
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 5443: WAV file is truncated or damaged");
  EXPECT_FALSE(Window()->WavLoaded);
}

}  // namespace

}  // namespace zentor::test
