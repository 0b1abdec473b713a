// The distortion window on the simulated card: a closed-form distortion run, the
// linear card, the level check, Start's refusals, the noise phase, Export and closing.
#include <QCheckBox>
#include <QFile>
#include <QGuiApplication>
#include <QSlider>

#include "analyser_fixture.h"
#include "analysers/distortion_form.h"
#include "analysers/distortion_links.h"
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
  EXPECT_TRUE(f->Start->isEnabled());
  EXPECT_TRUE(f->AnalyzeBut->isEnabled());
  EXPECT_TRUE(f->Export->isEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

  const double A1 = SineAmplitude(f->TonePlayB, 1000, 48000) / 32768, A2 = SineAmplitude(f->TonePlayB, 1300, 48000) / 32768;
  const double exc[2] = {A1 + b * (0.75 * A1 * A1 * A1 + 1.5 * A1 * A2 * A2),
                         A2 + b * (0.75 * A2 * A2 * A2 + 1.5 * A2 * A1 * A1)};
  // 300, 700, 1600, 2300, 3300, 3600 Hz; 2000, 2600, 3000, 3900 Hz.
  const double imd[6] = {a * A1 * A2,         0.75 * b * A1 * A1 * A2, 0.75 * b * A2 * A2 * A1,
                         a * A1 * A2,         0.75 * b * A1 * A1 * A2, 0.75 * b * A2 * A2 * A1};
  const double hd[4] = {a * A1 * A1 / 2, a * A2 * A2 / 2, b * A1 * A1 * A1 / 4, b * A2 * A2 * A2 / 4};
  const float im[6] = {300, 700, 1600, 2300, 3300, 3600}, hm[4] = {2000, 2600, 3000, 3900};
  double E = 0, I = 0, H = 0;
  for (double v : exc) E += v * v;
  for (int k = 0; k < 6; ++k) {
    ASSERT_EQ(f->IntermodList[k], im[k]);
    EXPECT_NEAR(Db(f->IntermodPower[k] / f->TotalExcitationPower), Db(imd[k] * imd[k] / E), 0.5) << im[k];
    I += imd[k] * imd[k];
  }
  for (int k = 0; k < 4; ++k) {
    ASSERT_EQ(f->HarmonicList[k], hm[k]);
    EXPECT_NEAR(Db(f->HarmonicPower[k] / f->TotalExcitationPower), Db(hd[k] * hd[k] / E), 0.5) << hm[k];
    H += hd[k] * hd[k];
  }
  EXPECT_EQ(f->IntermodList[6], 0.0f);
  EXPECT_EQ(f->HarmonicList[4], 0.0f);
  for (int k = 0; k < 2; ++k)
    EXPECT_NEAR(Db(f->ExcitationPower[k] / f->TotalExcitationPower), Db(exc[k] * exc[k] / E), 0.5);
  const double pct[3] = {100 * std::sqrt(H / E), 100 * std::sqrt(I / E), 100 * std::sqrt((H + I) / E)};
  EXPECT_NEAR(Db(f->HarmonicResult / pct[0]) * 2, 0, 0.5);
  EXPECT_NEAR(Db(f->IntermodResult / pct[1]) * 2, 0, 0.5);
  EXPECT_NEAR(Db(Number(f->Total) / pct[2]) * 2, 0, 0.5);
  EXPECT_EQ(f->HDUnits->text(), "% HD");

  f->dB->click();  // rewritten from the stored totals
  EXPECT_EQ(f->TotUnits->text(), "dB Total");
  EXPECT_NEAR(Number(f->HD), Db(H / E), 0.5);
  EXPECT_NEAR(Number(f->IMD), Db(I / E), 0.5);
  EXPECT_NEAR(Number(f->Total), Db((H + I) / E), 0.5);
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
  EXPECT_TRUE(f->Start->isEnabled());
  EXPECT_FALSE(f->AnalyzeBut->isEnabled());
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

TEST_F(DistFormTest, StartRefusals) {
  DistForm* f = Form();
  // Disabled two-tone fields pass; the band is checked in its order.
  f->Tone1->setText("x");
  f->Fmin->setText("3");
  f->Fmax->setText("30000");
  dialogs.ExpectMessage();
  f->Start_Click();
  ASSERT_EQ(dialogs.MessageTexts().size(), 1u);
  EXPECT_EQ(dialogs.MessageTexts()[0], "User Error: Input must be between 5 and 20000");
  EXPECT_TRUE(f->Start->isEnabled());
  f->Fmin->setText("20");
  f->Fmax->setText("20000");

  f->SliderFmin->setValue(7);
  f->SliderFmax->setValue(7);
  EXPECT_EQ(Text(f->FminText), "515.3283");
  dialogs.ExpectMessage();
  f->Start_Click();
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error: Fmax must be larger than Fmin");
  // Sixteen tones at order 4 would overflow the lists: nothing plays.
  f->SliderFmin->setValue(0);
  f->SliderFmax->setValue(15);
  f->Order->setText("4");
  dialogs.ExpectMessage();
  f->Start_Click();
  EXPECT_EQ(dialogs.MessageTexts().back(), kTooManyProducts);
  EXPECT_EQ(InspectStreaming().record, SlotState::Idle);
  // A device the engine does not know: reported, and the window ready to start again.
  f->Order->setText("2");
  WaveDeviceId = 77;
  dialogs.ExpectMessage();
  f->Start_Click();
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error Initializing Sound Card");
  EXPECT_TRUE(f->Start->isEnabled() && !f->GetPlayOn() && !f->GetRecOn());
  // Two tones: the first failing field wins, then the refused products.
  f->Order->setText("2");
  f->Tone1->setText("20");
  f->TwinToneType->click();
  f->Level2->setText("30");
  f->Order->setText("9");
  dialogs.ExpectMessage();
  f->Start_Click();
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Input must be between -20 and 20");
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
}

TEST_F(DistFormTest, RateRuleAndABusyCard) {
  EQConfig.SampleRate = 12000;
  dialogs.ExpectMessage();
  DistForm* f = Form();
  EXPECT_NE(dialogs.MessageTexts().at(0).find("Sample Rate must be 44100 Hz - 48000 Hz"), std::string::npos);
  EXPECT_EQ(f->TestSampleRate, 48000);
  f->Start_Click();
  EXPECT_EQ(InspectStreaming().streamRate, 48000);
  dialogs.ExpectMessage();
  f->Start_Click();
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Sound card in use");
  Forms::Unload<DistForm>();  // closing mid-run stops both jobs
  const StreamingView v = InspectStreaming();
  EXPECT_EQ(v.play, SlotState::Idle);
  EXPECT_EQ(v.record, SlotState::Idle);
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
  EXPECT_EQ(ask.text, "Save DistortionProductsOutput.txt ?");
  EXPECT_EQ(ask.title, "Qel5.x");
  EXPECT_EQ(ask.buttons, MsgButtons::YesNoCancel);
  EXPECT_EQ(ask.icon, MsgIcon::Exclamation);
  EXPECT_EQ(dialogs.calls().back().title, "Save *.txt File");
  EXPECT_EQ(dialogs.calls().back().filter, "distortion export files (*.txt)|*.txt");
  EXPECT_EQ(dialogs.calls().back().fileName, "DistortionProductsOutput");

  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectSaveFile(path);
  f->Export->click();
  const std::string text = FileText(path);
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  ASSERT_GT(lines.size(), 25u);
  EXPECT_EQ(lines[0], "\"Mirabelt Zentor Distortion Output File\"");
  EXPECT_EQ(lines[1], "\"SPL Level =  ??dB\"");
  EXPECT_EQ(lines[2], "\"" + f->TotalLine + "\"");
  EXPECT_EQ(lines[5], "\"Excitation Frequency , Level (%) \"");
  EXPECT_EQ(lines[6].rfind("\"20,  ", 0), 0u);
  EXPECT_EQ(lines[21].rfind("\"20674.94,  ", 0), 0u);
  EXPECT_EQ(lines[22], "\"Intermodulation Frequency [Hz], Level (%) \"");

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

}  // namespace
}  // namespace zentor::test
