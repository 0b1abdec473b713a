// The distortion arithmetic against hand-listed products and published weightings, and
// the window on the simulated card against the closed form of a polynomial speaker.
#include <QCheckBox>
#include <QFile>
#include <QGuiApplication>
#include <QSlider>
#include <functional>

#include "analyser_fixture.h"
#include "analysers/distortion_form.h"
#include "analysers/distortion_links.h"
#include "analysers/distortion_signals.h"
#include "mainwindow/main_window_links.h"
#include "platform/help.h"

namespace zentor::test {
namespace {

class DistFormTest : public AudioTest {
 protected:
  void SetUp() override {
    AudioTest::SetUp();
    EQConfig.SampleRate = 48000;
  }
  void TearDown() override {
    Forms::Unload<DistForm>();
    AudioTest::TearDown();
  }
  DistForm* Form() { return Forms::Get<DistForm>(); }
  // Plays and records one test (and the noise before it when NR is ticked).
  void RunTest(DistForm* f) {
    f->Start_Click();
    const int64_t frames = kDistTestLength + (f->NR->isChecked() ? kDistNoiseLength : 0);
    Run(frames + 4000);
  }
  static SimulatedCardSettings Speaker(double a2, double a3) {
    SimulatedCardSettings s = Quiet();
    s.room = {0.5};
    s.a2 = a2;
    s.a3 = a3;
    return s;
  }
};

double Db(double powerRatio) { return 10 * std::log10(powerRatio); }

TEST_F(DistFormTest, TwoTonesThroughAPolynomialSpeakerMatchTheClosedForm) {
  const double a = 0.02, b = 0.01;
  UseCard(Speaker(a, b));
  DistForm* f = Form();
  f->Tone1->setText("1000");
  f->Tone2->setText("1300");
  f->TwinToneType->click();
  EXPECT_EQ(f->TwoToneChanged, 0);
  RunTest(f);
  ASSERT_TRUE(dialogs.MessageTexts().empty());
  EXPECT_TRUE(f->Start->isEnabled() && f->AnalyzeBut->isEnabled() && f->Export->isEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

  const double A1 = SineAmplitude(f->TonePlayB, 1000, 48000) / 32768, A2 = SineAmplitude(f->TonePlayB, 1300, 48000) / 32768;
  // y = x + a x^2 + b x^3 on two tones: each product's amplitude in closed form.
  const std::pair<float, double> exc[] = {{1000, A1 + b * (0.75 * A1 * A1 * A1 + 1.5 * A1 * A2 * A2)},
                                          {1300, A2 + b * (0.75 * A2 * A2 * A2 + 1.5 * A2 * A1 * A1)}};
  const std::pair<float, double> imd[] = {{300, a * A1 * A2},  {700, 0.75 * b * A1 * A1 * A2},  {1600, 0.75 * b * A2 * A2 * A1},
                                          {2300, a * A1 * A2}, {3300, 0.75 * b * A1 * A1 * A2}, {3600, 0.75 * b * A2 * A2 * A1}};
  const std::pair<float, double> hd[] = {
      {2000, a * A1 * A1 / 2}, {2600, a * A2 * A2 / 2}, {3000, b * A1 * A1 * A1 / 4}, {3900, b * A2 * A2 * A2 / 4}};
  double E = 0, I = 0, H = 0;
  for (auto [hz, v] : exc) E += v * v;
  for (int k = 0; k < 6; ++k) {
    ASSERT_EQ(f->IntermodList[k], imd[k].first);
    EXPECT_NEAR(Db(f->IntermodPower[k] / f->TotalExcitationPower), Db(imd[k].second * imd[k].second / E), 0.5) << imd[k].first;
    I += imd[k].second * imd[k].second;
  }
  for (int k = 0; k < 4; ++k) {
    ASSERT_EQ(f->HarmonicList[k], hd[k].first);
    EXPECT_NEAR(Db(f->HarmonicPower[k] / f->TotalExcitationPower), Db(hd[k].second * hd[k].second / E), 0.5) << hd[k].first;
    H += hd[k].second * hd[k].second;
  }
  EXPECT_EQ(std::pair(f->IntermodList[6], f->HarmonicList[4]), std::pair(0.0f, 0.0f));
  for (int k = 0; k < 2; ++k)
    EXPECT_NEAR(Db(f->ExcitationPower[k] / f->TotalExcitationPower), Db(exc[k].second * exc[k].second / E), 0.5);
  const double pct[3] = {100 * std::sqrt(H / E), 100 * std::sqrt(I / E), 100 * std::sqrt((H + I) / E)};
  const double shown[3] = {f->HarmonicResult, f->IntermodResult, Number(f->Total)};
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(Db(shown[k] / pct[k]) * 2, 0, 0.5) << k;
  EXPECT_EQ(f->HDUnits->text(), "% HD");

  f->dB->click();  // rewritten from the stored totals
  EXPECT_EQ(f->TotUnits->text(), "dB Total");
  for (const auto& [field, power] : {std::pair{f->HD, H / E}, {f->IMD, I / E}, {f->Total, (H + I) / E}})
    EXPECT_NEAR(Number(field), Db(power), 0.5) << Text(field);
  EXPECT_EQ(f->IntermodLine, "IMD = " + Text(f->IMD) + " dB IMD");
  // A narrower band re-analysed from the stored spectra.
  f->Fmax->setText("2500");
  f->AnalyzeBut->click();
  EXPECT_EQ(f->HarmonicList[1], 0.0f);
  EXPECT_EQ(f->IntermodList[4], 0.0f);
}

// A linear card one step above the level limit warns; at the limit it shows the floors
// of both types.
TEST_F(DistFormTest, TheLevelCheckAtItsLimitAndTheFloorsOfALinearCard) {
  SimulatedCardSettings s = Quiet();
  s.room = {16385.0 / 25000.0};  // the multitone peaks at 25000
  UseCard(s);
  DistForm* f = Form();
  dialogs.ExpectMessage();
  RunTest(f);
  EXPECT_EQ(dialogs.MessageTexts(),
            std::vector<std::string>{"Warning: Levels Excessive. Reduce input level recording and continue"});
  EXPECT_TRUE(f->Start->isEnabled() && !f->AnalyzeBut->isEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(Text(f->IMD), "     ");

  s.room = {16384.0 / 25000.0};
  UseCard(s);
  RunTest(f);  // the default multitone
  EXPECT_TRUE(f->AnalyzeBut->isEnabled());
  EXPECT_EQ(Text(f->Total) + Text(f->HD) + Text(f->IMD), "<0.1 <0.1 <0.1 ");
  f->dB->click();
  EXPECT_EQ(Text(f->IMD), "<-60");
  EXPECT_EQ(f->HarmonicLine, "HD = <-60 dB HD");
  f->TwinToneType->click();
  EXPECT_FALSE(f->AnalyzeBut->isEnabled());
  f->Tone1->setText("1000");
  f->Tone2->setText("1300");
  RunTest(f);
  EXPECT_EQ(Text(f->Total), "<-60");
  f->Percent->click();
  EXPECT_EQ(Text(f->HD), "<0.1 ");
  EXPECT_EQ(dialogs.MessageTexts().size(), 1u);
}

// Each refusal in turn, on the fields the rows before it left: one message, nothing
// played or recorded, the window ready to start again.
TEST_F(DistFormTest, StartRefusalsTheRateRuleAndABusyCard) {
  DistForm* f = Form();
  // What the row is about, the fields it sets, and the message.
  const std::tuple<const char*, std::function<void()>, std::string> refusals[] = {
      {"the band, disabled two-tone fields passing", [f] { f->Tone1->setText("x"), f->Fmin->setText("3"), f->Fmax->setText("30000"); },
       "User Error: Input must be between 5 and 20000"},
      {"the band's order", [f] { f->Fmin->setText("20"), f->Fmax->setText("20000"), f->SliderFmin->setValue(7), f->SliderFmax->setValue(7); },
       "Error: Fmax must be larger than Fmin"},
      // Sixteen tones at order 4 would overflow the lists.
      {"products", [f] { f->SliderFmin->setValue(0), f->SliderFmax->setValue(15), f->Order->setText("4"); }, kTooManyProducts},
      {"a device the engine does not know", [f] { f->Order->setText("2"), WaveDeviceId = 77; }, "Error Initializing Sound Card"},
      {"two tones: the first failing field wins",
       [f] { f->Tone1->setText("20"), f->TwinToneType->click(), f->Level2->setText("30"), f->Order->setText("9"); },
       "User Error: Input must be between -20 and 20"},
  };
  for (const auto& [name, set, message] : refusals) {
    set();
    dialogs.ExpectMessage();
    f->Start_Click();
    EXPECT_EQ(dialogs.MessageTexts().back(), message) << name;
    EXPECT_TRUE(f->Start->isEnabled() && !f->GetPlayOn() && !f->GetRecOn()) << name;
    EXPECT_EQ(InspectStreaming().record, SlotState::Idle) << name;
  }
  EXPECT_EQ(dialogs.MessageTexts().size(), std::size(refusals));
  // Products that coincide: asked about, and nothing built.
  f->Level2->setText("0");
  f->Order->setText("2");
  f->Tone1->setText("100");
  f->Tone2->setText("200");
  dialogs.ExpectMessage();
  f->Start_Click();
  EXPECT_NE(dialogs.MessageTexts().back().find("These frequency values will not work"), std::string::npos);
  EXPECT_EQ(f->TwoToneChanged, 1);
  for (int16_t v : f->TonePlayB) ASSERT_EQ(v, 0);
  EXPECT_EQ(InspectStreaming().record, SlotState::Idle);
  f->Help->click();  // the window's own topic
  EXPECT_EQ(GetHelpLog().topics.back(), 440);
  f->SliderFmin->setValue(7);
  EXPECT_EQ(Text(f->FminText), "515.3283");

  // The rate rule, a busy card, and closing mid-run.
  Forms::Unload<DistForm>();
  EQConfig.SampleRate = 12000;
  dialogs.Clear();
  dialogs.ExpectMessage();
  f = Form();
  EXPECT_NE(dialogs.MessageTexts().at(0).find("Sample Rate must be 44100 Hz - 48000 Hz"), std::string::npos);
  EXPECT_EQ(f->TestSampleRate, 48000);
  f->Start_Click();
  EXPECT_EQ(InspectStreaming().streamRate, 48000);
  dialogs.ExpectMessage();
  f->Start_Click();
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Sound card in use");
  Forms::Unload<DistForm>();  // closing mid-run stops both jobs
  EXPECT_TRUE(InspectStreaming().play == SlotState::Idle && InspectStreaming().record == SlotState::Idle);
  Run(kDistTestLength);  // nothing reaches the gone window

  SoundCardBusy = true;
  InstallDistortionLinks();
  dialogs.ExpectMessage();
  MainWindowHooks.ShowDistForm();
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Sound card in use");
  EXPECT_FALSE(Forms::IsLoaded<DistForm>());
  SoundCardBusy = false;
}

TEST_F(DistFormTest, NoiseReductionRunsTheNoiseFirstAndBringsProductsNearerTheTruth) {
  auto intermod = [this](double noise, bool nr) {
    SimulatedCardSettings s = Speaker(0.002, 0.001);
    s.micNoise = noise;
    s.seed = 7;
    UseCard(s);
    DistForm* f = Form();
    f->NR->setChecked(nr);
    RunTest(f);
    EXPECT_EQ(f->Export->isEnabled(), !nr);
    EXPECT_TRUE(f->NR->isEnabled());
    std::vector<double> p(f->IntermodPower.begin(), f->IntermodPower.begin() + 609);
    for (double& v : p) v /= f->TotalExcitationPower;
    Forms::Unload<DistForm>();
    return p;
  };
  const std::vector<double> clean = intermod(0, false), raw = intermod(30, false), net = intermod(30, true);
  double errRaw = 0, errNet = 0;
  for (std::size_t k = 0; k < clean.size(); ++k) {
    errRaw += std::fabs(raw[k] - clean[k]);
    errNet += std::fabs(net[k] - clean[k]);
  }
  EXPECT_LT(errNet, 0.5 * errRaw);
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

TEST_F(DistFormTest, ExportWritesTheProductsOrNothing) {
  UseCard(Speaker(0.02, 0.01));
  DistForm* f = Form();
  RunTest(f);
  const std::string path = TempPath("DistortionProductsOutput.txt");
  for (MsgAnswer no : {MsgAnswer::No, MsgAnswer::Cancel}) {
    dialogs.ExpectMessage(no);
    f->Export->click();
  }
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectSaveFile(std::nullopt);
  f->Export->click();
  EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
  const DialogCall& ask = dialogs.calls().front();
  EXPECT_EQ(std::tuple(ask.text, ask.title, ask.buttons, ask.icon),
            std::tuple("Save DistortionProductsOutput.txt ?", "Qel5.x", MsgButtons::YesNoCancel, MsgIcon::Exclamation));
  const DialogCall& save = dialogs.calls().back();
  EXPECT_EQ(std::tuple(save.title, save.filter, save.fileName),
            std::tuple("Save *.txt File", "distortion export files (*.txt)|*.txt", "DistortionProductsOutput"));

  // The form's own results in the file's layout (which the signals tests pin line by line).
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectSaveFile(path);
  f->Export->click();
  const std::string text = FileText(path);
  EXPECT_EQ(text.rfind("\"Mirabelt Zentor Distortion Output File\"\r\n\"SPL Level =  ??dB\"\r\n\"" + f->TotalLine + "\"\r\n", 0), 0u);
  EXPECT_LT(text.find("\"Excitation Frequency , Level (%) \"\r\n\"20,  "), text.find("\"20674.94,  "));
  EXPECT_LT(text.find("\"20674.94,  "), text.find("\"Intermodulation Frequency [Hz], Level (%) \""));

  f->dB->click();
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectSaveFile(path);
  f->Export->click();
  EXPECT_NE(FileText(path).find("\"Excitation Frequency [Hz], Level [dB] \"\r\n\"20,  -"), std::string::npos);
  // An unwritable folder: the error, the old file intact.
  dialogs.ExpectMessage();
  EXPECT_FALSE(f->WriteDistortionOutputFile(TempPath("missing/folder/x.txt")));
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 6212: Distortion output file could not be written");
}

std::vector<float> Sixteen() { return {kExcitationFreqTable.begin(), kExcitationFreqTable.end()}; }

TEST(DistortionProducts, ListsTheirSpacingCountsAndLimit) {
  const ProductList p = ListTwoToneProducts(20, 31, 3, 2, 20, 20000);
  EXPECT_EQ(p.freqs, (std::vector<float>{40, 42, 51, 60, 62, 71, 82, 93}));
  EXPECT_FLOAT_EQ(SmallestSpacing(p.freqs), 2.0f);
  // Products 0.2 Hz apart, and products that coincide, are both too close.
  EXPECT_LT(SmallestSpacing(ListTwoToneProducts(1000, 1000.2f, 3, 2, 20, 20000).freqs), kTwoToneMinSpacing);
  EXPECT_EQ(SmallestSpacing(ListTwoToneProducts(100, 200, 3, 2, 20, 20000).freqs), 0.0f);
  EXPECT_EQ(SmallestSpacing({500}), 10000.0f);

  // Multitone counts and the list limit.
  const std::vector<float> tones = Sixteen();
  EXPECT_EQ(ListIntermodProducts(tones, 2, 0, 1e9f).freqs.size(), 720u);  // every candidate
  EXPECT_EQ(ListIntermodProducts(tones, 2, 20, 20000).freqs.size(), 609u);
  EXPECT_EQ(ListHarmonicProducts(tones, 3, 20, 20000).freqs.size(), 27u);
  const ProductList three = ListIntermodProducts(tones, 3, 20, 20000);
  EXPECT_FALSE(three.overflow);
  EXPECT_EQ(three.freqs.size(), 980u);
  EXPECT_TRUE(ListIntermodProducts(tones, 4, 20, 20000).overflow);
  // An order far beyond any sense ends, refused or bounded by the band.
  EXPECT_TRUE(ListIntermodProducts(std::vector<float>{0.001f, 5}, 2000000000, 20, 20000).overflow);
  EXPECT_EQ(ListHarmonicProducts(std::vector<float>{5000, 7000}, 2000000000, 20, 20000).freqs,
            (std::vector<float>{10000, 14000, 15000}));
  // One tone: no intermodulation, its harmonics.
  const std::vector<float> one{1000};
  EXPECT_TRUE(ListIntermodProducts(one, 2, 20, 20000).freqs.empty());
  EXPECT_EQ(ListHarmonicProducts(one, 3, 20, 20000).freqs, (std::vector<float>{2000, 3000}));
  // Equal harmonics of two tones both stay.
  EXPECT_EQ(ListHarmonicProducts(std::vector<float>{100, 150}, 3, 20, 20000).freqs,
            (std::vector<float>{200, 300, 300, 450}));
}

TEST(DistortionSignals, WeightingTwoToneLevelsAndFades) {
  const float f[] = {20, 32.48f, 125.7f, 515.3f, 1000, 1258, 5036, 12331, 20675};
  const float w[] = {0.0893f, 0.188f, 0.658f, 0.975f, 1.000f, 1.001f, 0.887f, 0.552f, 0.314f};
  for (int k = 0; k < 9; ++k) EXPECT_NEAR(MultitoneWeight(f[k]), w[k], 0.01) << f[k];
  // Two-tone amplitudes follow their decibels.
  std::vector<float> work(kDistTestLength);
  std::vector<int16_t> play(kDistTestLength);
  BuildTwoToneWave(work, play, 1000, 1300, 0, -12, 48000);
  EXPECT_NEAR(SineAmplitude(play, 1300, 48000) / SineAmplitude(play, 1000, 48000), std::pow(10.0, -12.0 / 20), 0.002);
  for (float v : work) ASSERT_EQ(v, 0.0f);
  // Two quiet tones are not raised to full scale.
  BuildTwoToneWave(work, play, 1000, 1300, -20, -20, 48000);
  int peak = 0;
  for (int16_t v : play) peak = std::max(peak, std::abs(static_cast<int>(v)));
  EXPECT_NEAR(peak, 5000, 50);
  // Fades rise smoothly and the multitone scales to its steady peak.
  BuildMultitoneSignal(work, play, Sixteen(), 48000);
  EXPECT_EQ(std::pair(play.front(), play.back()), (std::pair<int16_t, int16_t>(0, 0)));
  int fadePeak = 0;
  peak = 0;
  for (std::size_t i = 0; i < play.size(); ++i) {
    peak = std::max(peak, std::abs(static_cast<int>(play[i])));
    if (i < static_cast<std::size_t>(kMultitoneFade)) fadePeak = std::max(fadePeak, std::abs(static_cast<int>(play[i])));
  }
  EXPECT_EQ(peak, 25000);
  EXPECT_LT(fadePeak, peak);  // the peak belongs to the steady signal, not the fade
  std::vector<float> ramp(10, 1.0f);
  FadeEnds(ramp, 4);
  const std::pair<int, float> fade[] = {{0, 0.0f}, {2, 0.5f}, {5, 1.0f}, {7, 0.5f}, {9, 0.0f}};
  for (const auto& [i, v] : fade) EXPECT_NEAR(ramp[i], v, 1e-6) << i;
}

TEST(DistortionAnalysis, BandsNoiseResultsAndFileRecords) {
  const AnalysisBand b48 = BandFor(48000), b44 = BandFor(44100);
  EXPECT_NEAR(b48.binsPerHz, 10.92267f, 1e-4);
  EXPECT_NEAR(b44.binsPerHz, 11.88861f, 1e-4);
  EXPECT_EQ(std::pair(b48.half, b44.half), std::pair(2, 2));
  // Bin i holds i: the band's sum names its bins.
  std::vector<float> S(kDistTestLength);
  for (std::size_t i = 0; i < S.size(); ++i) S[i] = static_cast<float>(i);
  EXPECT_FLOAT_EQ(*BandPower(S, {}, 1000, b48), 10921 + 10922 + 10923 + 10924 + 10925);
  EXPECT_FLOAT_EQ(*BandPower(S, {}, 20, b44), 236 + 237 + 238 + 239 + 240);
  // Noise: 8 x N(round(i / 8)) off each bin, clamped at 0 for the band.
  std::vector<float> N(kDistNoiseLength, 0.0f);
  N[1365] = 100;  // round(10921/8) .. round(10925/8) = 1365, 1365, 1365, 1366, 1366 (10924/8 = 1365.5 -> 1366)
  EXPECT_FLOAT_EQ(*BandPower(S, N, 1000, b48), 54615 - 3 * 800);
  N[1365] = 1e6;
  EXPECT_EQ(*BandPower(S, N, 1000, b48), 0.0f);
  // Bands that leave the spectrum are skipped.
  EXPECT_FALSE(BandPower(S, {}, 0.1f, b48));
  EXPECT_FALSE(BandPower(S, {}, 24000, b48));

  // Results: floors, truncation, units and the file's records.
  EXPECT_FALSE(FormatDistortionResults(0, 1, 1, true));
  auto pc = [](double value) { return static_cast<float>(std::pow(value / 100, 2)); };
  auto d = FormatDistortionResults(1, pc(0.1234), 0, true);
  EXPECT_EQ(std::tuple(d->imd, d->hd, d->total), std::tuple("0.12", "<0.1 ", "0.12"));
  EXPECT_EQ(std::tuple(d->imdLine, d->hdLine, d->totalLine),
            std::tuple("IMD = 0.12 % IMD", "HD = 0 % HD", "Total Distortion = 0.12 % Tot"));
  EXPECT_EQ(FormatDistortionResults(1e6f, 0.01f, 0, true)->imd, "<0.1 ");  // exactly 0.1 %
  d = FormatDistortionResults(1, static_cast<float>(std::pow(10.0, -4.237)), 0, false);
  EXPECT_EQ(std::tuple(d->imd, d->hd, d->hdLine), std::tuple("-42.3", "<-60", "HD = <-60 dB HD"));
  EXPECT_EQ(std::tuple(d->imdUnits, d->totUnits), std::tuple("dB IMD", "dB Total"));
  EXPECT_FLOAT_EQ(d->imdResult, -42.3f);

  DistortionFileContent c;
  c.splText = "??";
  c.totalLine = "Total Distortion = 0.87 % Tot";
  c.imdLine = "IMD = 0.78 % IMD";
  c.hdLine = "HD = 0.38 % HD";
  c.excitation = {{20, 50.5f}, {32.47691f, 25}};
  c.harmonic = {{40, 0.125f}};
  EXPECT_EQ(DistortionOutputText(c),
            "\"Mirabelt Zentor Distortion Output File\"\r\n"
            "\"SPL Level =  ??dB\"\r\n"
            "\"Total Distortion = 0.87 % Tot\"\r\n"
            "\"IMD = 0.78 % IMD\"\r\n"
            "\"HD = 0.38 % HD\"\r\n"
            "\"Excitation Frequency , Level (%) \"\r\n"
            "\"20,  50.5\"\r\n"
            "\"32.47691,  25\"\r\n"
            "\"Intermodulation Frequency [Hz], Level (%) \"\r\n"
            "\"Harmonic Frequency [Hz], Level (%) \"\r\n"
            "\"40,  0.125\"\r\n");
  c.dB = true;
  c.harmonic = {{40, std::nullopt}};
  const std::string t = DistortionOutputText(c);
  EXPECT_NE(t.find("\"Excitation Frequency [Hz], Level [dB] \"\r\n"), std::string::npos);
  EXPECT_NE(t.find("\"Intermodulation Frequency [Hz], Level [dB] \"\r\n"), std::string::npos);
  EXPECT_NE(t.find("\"Harmonic Frequency [Hz], Level [dB] \"\r\n\"40,  <-60\"\r\n"), std::string::npos);
  EXPECT_FLOAT_EQ(*RelativeLevel(0.25f, 1, true), 50.0f);
  EXPECT_FLOAT_EQ(*RelativeLevel(-0.01f, 1, false), -20.0f);
  EXPECT_FALSE(RelativeLevel(0, 1, false));
}

}  // namespace
}  // namespace zentor::test
