// Synthetic rooms of known reverberation time (tones falling 60 dB in a given time
// from the 0 ms point, and white noise): the decay computations and the large-room
// window over them.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <numbers>
#include <random>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "base/text_number.h"
#include "core/filter_design.h"
#include "core/filter_run.h"
#include "core/records.h"
#include "display/curve_workers.h"
#include "display/graph_primitives.h"
#include "display/mouse_zoom.h"
#include "display/plot_colours.h"
#include "display/view_state.h"
#include "mainwindow/graphics_export.h"
#include "mainwindow/window_fixtures.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "platform/settings.h"
#include "platform/text_boxes.h"
#include "support/silent_set.h"
#include "tools/data_integrity_form.h"
#include "tools/decay_analysis.h"
#include "tools/large_room_links.h"
#include "tools/room_parameters.h"
#include "tools/tools_fixture.h"

namespace zentor::test {
namespace {

struct DecayTone {
  double freq;  // Hz
  double rt60;  // s
};

constexpr int32_t kDecayRate = 48000;
constexpr int32_t kDecayOrder = 17;
constexpr int32_t kDecayLength = 1 << kDecayOrder;
constexpr int32_t kZeroMsIndex = 2400;  // 50 ms at 48 kHz

// Adds each tone, amplitude 1 at its start, falling 60 dB in its rt60.
inline void AddDecayingTones(std::span<float> x, std::initializer_list<DecayTone> tones, double gain = 1.0,
                             int32_t start = kZeroMsIndex, int32_t rate = kDecayRate) {
  for (const DecayTone& t : tones)
    for (size_t i = static_cast<size_t>(start); i < x.size(); ++i) {
      const double s = double(i - static_cast<size_t>(start)) / rate;
      x[i] += static_cast<float>(gain * std::exp(-3.0 * std::numbers::ln10 * s / t.rt60) *
                                 std::sin(2 * std::numbers::pi * t.freq * s));
    }
}

// White noise of the given RMS over the whole array.
inline void AddWhiteNoise(std::span<float> x, double rms, uint32_t seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> d(0.0, rms);
  for (float& v : x) v += static_cast<float>(d(gen));
}

// The slope (per x unit) of the least-squares line through the points whose y
// lies within [low, high], taken from the first such point to the last.
inline double SlopeBetweenLevels(std::span<const float> x, std::span<const float> y, size_t count, double high,
                                 double low) {
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  double n = 0;
  for (size_t i = 0; i < count; ++i) {
    if (y[i] > high || y[i] < low) continue;
    sx += x[i];
    sy += y[i];
    sxx += double(x[i]) * x[i];
    sxy += double(x[i]) * y[i];
    n += 1;
  }
  return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

constexpr size_t kBand256 = 11, kBand1024 = 17, kBand4096 = 23;

class DecayAnalysisTest : public ZentorTest {
 protected:
  // n curves of 2^17 samples, all silent.
  void LoadCurves(int n) {
    ResultsDataSetInfo[0].NumInSet = n;
    for (int k = 0; k < kMaxResults; ++k) ImpulseSet[static_cast<size_t>(k)].fill(0.0f);
  }
  std::span<float> Curve(int k) { return ImpulseSet[static_cast<size_t>(k)]; }

  struct RT60 {
    std::array<float, kDecayBands> x{}, y{}, counts{};
    int32_t pairsDone = 0;
  };
  // RT60 by band over the loaded pairs, fitted over 50..150 ms.
  RT60 Compute(int pairs, int32_t rate = kDecayRate) {
    RT60 r;
    const int32_t i0 = DecayIndexOfTime(50, rate), i1 = DecayIndexOfTime(150, rate);
    EXPECT_TRUE(ComputeRT60(pairs, kDecayOrder, rate, i0, i1, r.x, r.y, r.counts,
                            [&](int32_t p, bool) { EXPECT_EQ(p, r.pairsDone++); }));
    return r;
  }

  // Scratch for one pair's decay.
  std::vector<float> a = std::vector<float>(kDecayLength), b = std::vector<float>(kDecayLength),
                     c = std::vector<float>(kDecayLength), d = std::vector<float>(kDecayLength);
  DecayScratch Scratch() { return {a, b, c, d}; }
};

TEST_F(DecayAnalysisTest, BandsAreThirdOctavesFromSixteenHertzAndCurvesPairOff) {
  const auto& bands = DecayBands();
  EXPECT_NEAR(bands[0].centre, 20.16, 0.005);
  for (const auto& [k, centre] :
       {std::pair{kBand256, 256.0f}, {kBand1024, 1024.0f}, {kBand4096, 4096.0f}, {size_t{29}, 16384.0f}})
    EXPECT_EQ(bands[k].centre, centre) << k;
  EXPECT_NEAR(bands[0].lower, 17.96, 0.005);
  EXPECT_NEAR(bands[0].upper, 22.63, 0.005);
  EXPECT_NEAR(bands[29].lower, 14596, 0.5);
  EXPECT_NEAR(bands[29].upper, 18390, 0.5);
  for (size_t k = 1; k < bands.size(); ++k) EXPECT_NEAR(bands[k].lower, bands[k - 1].upper, 0.01 * bands[k].lower);
  // Curves pair off 1-2, 3-4; the last curve of an odd set has no partner.
  for (const auto& [curve, count, a, b] : {std::tuple{0, 2, 0, 1}, {1, 2, 0, 1}, {1, 1, 0, 1}, {2, 3, 0, 1},
                                           {1, 3, 1, 0}, {2, 4, 2, 3}, {3, 4, 3, 2}, {4, 5, 0, 1}})
    EXPECT_EQ(PickCurvePair(curve, count), std::pair(a, b)) << curve << " of " << count;
}

// Refused, the impulse untouched: an empty band, and a band 2 Hz wide at 48 kHz
// (36000 taps) over 2^15 samples.
TEST_F(DecayAnalysisTest, EnergyTimeCurveFallsAtTheToneDecayRateAndRefusesBandsItCannotFilter) {
  AddDecayingTones(a, {{1000, 0.5}});
  std::vector<float> tone = a;
  EXPECT_EQ(EnergyTimeCurve(a, kDecayOrder, kDecayRate, 1000, 1000, b, c), -1);
  EXPECT_EQ(EnergyTimeCurve(a, 15, kDecayRate, 1000, 1002, b, c), -1);
  EXPECT_EQ(a, tone);
  EXPECT_GT(EnergyTimeCurve(tone, 16, kDecayRate, 1000, 1002, b, c), 0);
  ASSERT_GT(EnergyTimeCurve(a, kDecayOrder, kDecayRate, 900, 1100, b, c), 48000);
  // 60 dB in 500 ms: 0.12 dB per ms, read between 50 and 300 ms.
  EXPECT_NEAR((a[kZeroMsIndex + 300 * 48] - a[kZeroMsIndex + 50 * 48]) / 250.0, -0.12, 0.12 * 0.02);
}

TEST_F(DecayAnalysisTest, SchroederCurveFallsAtTheDecayRateAndIsCutWhereNoiseTakesOver) {
  std::vector<float> h(kDecayLength), y(kDecayLength);
  AddDecayingTones(h, {{1024, 0.8}});
  const ProductDecay r = SchroederCurve(h, h, kDecayOrder, kDecayRate, 912, 1149, Scratch(), y);
  // The product of one curve with itself never turns the integral negative.
  EXPECT_EQ(r.usable, kDecayLength);
  EXPECT_FALSE(r.silent);
  EXPECT_NEAR(y[0], 0.0f, 1e-5);
  const double perMs = (y[kZeroMsIndex + 400 * 48] - y[kZeroMsIndex + 100 * 48]) / 300.0;
  EXPECT_NEAR(perMs, -60 / 800.0, 0.075 * 0.03);
  EXPECT_GE(*std::min_element(y.begin(), y.end()), kDecayFloorDb);

  // Independent noise in the two curves cuts the curve where it takes over.
  std::vector<float> h1(kDecayLength), h2(kDecayLength);
  AddDecayingTones(h1, {{1024, 0.3}});
  AddDecayingTones(h2, {{1024, 0.3}});
  AddWhiteNoise(h1, 1e-3, 1);
  AddWhiteNoise(h2, 1e-3, 2);
  const ProductDecay cut = SchroederCurve(h1, h2, kDecayOrder, kDecayRate, 500, 5000, Scratch(), y);
  // The decay meets the floor (some 67 dB down in this band) after about 300 ms.
  EXPECT_LT(cut.usable, kDecayLength);
  EXPECT_GT(cut.usable, kZeroMsIndex + 48 * 150);

  // The same floor in both curves: the product is a square and never negative.
  const ProductDecay whole = SchroederCurve(h1, h1, kDecayOrder, kDecayRate, 500, 5000, Scratch(), y);
  EXPECT_EQ(whole.usable, kDecayLength);

  // A curve against its own negative is cut at the 0 ms point.
  std::vector<float> minus(h1);
  for (float& v : minus) v = -v;
  EXPECT_EQ(SchroederCurve(h1, minus, kDecayOrder, kDecayRate, 500, 5000, Scratch(), y).usable, kZeroMsIndex);

  // A silent product is reported, not scaled.
  const std::vector<float> silent(kDecayLength);
  EXPECT_TRUE(SchroederCurve(silent, silent, kDecayOrder, kDecayRate, 500, 5000, Scratch(), y).silent);
  EXPECT_EQ(y[0], kDecayFloorDb);
}

TEST_F(DecayAnalysisTest, PairsThatCancelDoNotCount) {
  LoadCurves(6);
  // Pairs of 1, 0.7 and 0.5 s, the middle one's curves of opposite sign.
  for (int k = 0; k < 6; ++k) AddDecayingTones(Curve(k), {{1024, std::array{1.0, 0.7, 0.5}[k / 2]}}, k == 3 ? -1 : 1);
  // Two of three pairs fall: the mean of their slopes, 0.06 and 0.12 dB per ms.
  const RT60 three = Compute(3);
  EXPECT_EQ(three.counts[kBand1024], 2.0f);
  EXPECT_NEAR(three.y[kBand1024], 60 / 0.09, 60 / 0.09 * 0.05);
  CurveWorkerLimit = 1;  // the same on one worker as on many
  const RT60 one = Compute(3);
  EXPECT_EQ(one.y, three.y);
  EXPECT_EQ(one.counts, three.counts);

  // Four pairs, two of them cancelling: two is not more than half.
  ResultsDataSetInfo[0].NumInSet = 8;
  AddDecayingTones(Curve(6), {{1024, 0.6}});
  AddDecayingTones(Curve(7), {{1024, 0.6}}, -1.0);
  const RT60 four = Compute(4);
  EXPECT_EQ(four.counts[kBand1024], 2.0f);
  EXPECT_EQ(four.y[kBand1024], 0.0f);
  EXPECT_EQ(four.pairsDone, 4);
}

TEST_F(DecayAnalysisTest, LongDecaysReadAtMostThreeSecondsAndBandsAboveTheRateReportNothing) {
  LoadCurves(2);
  for (int k : {0, 1}) AddDecayingTones(Curve(k), {{1024, 4.0}});
  EXPECT_EQ(Compute(1).y[kBand1024], 3000.0f);
  for (const auto& [slopes, count, pairs, rt] : {std::tuple{-0.00005f, 1, 1, 0.0f}, {-0.1f, 1, 1, 600.0f},
                                                {-0.2f, 2, 3, 600.0f}, {-0.2f, 2, 4, 0.0f}, {0.1f, 0, 0, 0.0f}})
    EXPECT_EQ(RT60FromSlopes(slopes, count, pairs), rt) << slopes << " " << count << " of " << pairs;

  // At 24 kHz the bands from 10.3 kHz up reach 0.45 x rate: nothing reported, no filter run.
  LoadCurves(2);
  for (int k : {0, 1}) AddDecayingTones(Curve(k), {{1024, 0.8}}, 1.0, 1200, 24000);
  const int64_t before = DecayBandFilterRuns();
  const RT60 r = Compute(1, 24000);
  EXPECT_EQ(DecayBandFilterRuns() - before, 2 * 27);
  for (size_t k = 27; k < kDecayBands; ++k) EXPECT_EQ(r.y[k], 0.0f) << k;
  EXPECT_NEAR(r.y[kBand1024], 800, 40);
}

TEST_F(DecayAnalysisTest, BandPassWithItsOwnSectionMatchesTheSharedOne) {
  std::vector<float> x(16384), y(16384), scratch(16384);
  AddWhiteNoise(x, 1.0, 3);
  y = x;
  FilterBlock block, section;
  ClearFilterBlock(SectionFilterBlock);
  ASSERT_TRUE(BandPassFilterSignal(x, scratch, 48000, 14, 200, 3000, block, section));
  EXPECT_EQ(SectionFilterBlock.NumPoles, 0);  // the shared section is not touched
  ASSERT_TRUE(BandPassFilterSignal(y, scratch, 48000, 14, 200, 3000, block));
  EXPECT_EQ(x, y);
}


using Kind = RecordingSurface::Kind;

// A started main window with the large-room links installed, synthetic room sets
// of 2^17 samples at 48 kHz, and the window opened through the main command.
class LargeRoomWindow : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    w = Start();
    InstallLargeRoomLinks();
    w->RefreshLinkedControls();
  }

  // n curves, each the same decaying tones; `negate` lists curves (0-based) that
  // are turned upside down.
  void Load(int n, std::initializer_list<DecayTone> tones, std::initializer_list<int> negate = {}) {
    LoadSilentSet(n, kDecayRate, kDecayOrder, 20.0f);
    for (int k = 0; k < n; ++k) {
      const bool down = std::find(negate.begin(), negate.end(), k) != negate.end();
      AddDecayingTones(ImpulseSet[static_cast<size_t>(k)], tones, down ? -1.0 : 1.0);
    }
  }
  DataIntegrityForm* Open() {
    w->DataIntegrity->trigger();
    return Forms::Get<DataIntegrityForm>();
  }
  DataIntegrityForm* Open(int n, std::initializer_list<DecayTone> tones) {
    Load(n, tones);
    return Open();
  }
  static float PeakMagnitude(const DataIntegrityForm& f) {
    const auto louder = [](float a, float b) { return std::fabs(a) < std::fabs(b); };
    return std::fabs(*std::max_element(f.DecayY.begin(), f.DecayY.begin() + f.DecayCount, louder));
  }
  bool MarkedInvalid(const QLineEdit* e) const {
    return e->palette().color(QPalette::Base) == QColor(kInvalidFieldRed, 0, 0);
  }
  // Refused by a message: the view stays as it was.
  void ExpectRefused(DataIntegrityForm* f, QRadioButton* view, const std::string& message) {
    const std::string title = f->DecayTitle;
    QRadioButton* was = f->ImpulseBut->isChecked() ? f->ImpulseBut : f->SchroederBut;
    EXPECT_EQ(MessageFrom(dialogs, [&] { view->click(); }), message);
    EXPECT_TRUE(was->isChecked());
    EXPECT_EQ(f->DecayTitle, title);
  }
  QPoint At(const DataIntegrityForm* f, double x, double y) const {
    const GraphFrame& g = f->DecayFrame;
    const double px = (g.LogX != 0 ? std::log(x) : x) * g.XScale + g.XOffset;
    return QPoint(int(std::lround(px)), int(std::lround(y * g.YScale + g.YOffset)));
  }
  void Drag(DataIntegrityForm* f, Qt::MouseButton b, QPoint from, QPoint to) {
    QTest::mousePress(f->Picture1, b, {}, from);
    QTest::mouseMove(f->Picture1, to);
    QTest::mouseRelease(f->Picture1, b, {}, to);
  }
  const RecordingSurface::Call* TextCall(const std::string& text) const {
    for (const auto& c : rec.calls())
      if (c.kind == Kind::Text && c.text == text) return &c;
    return nullptr;
  }
  DataPlotter* w = nullptr;
  RecordingSurface rec;
};

// Refused without a set, and the picture link does not load it; opened from the main
// command; its close box hides it, keeping its state until the set changes.
TEST_F(LargeRoomWindow, OpensOverASetFromTheMainCommandAndItsCloseBoxHidesIt) {
  DataIntegrityForm* f = Forms::Get<DataIntegrityForm>();
  bool ok = true;
  EXPECT_EQ(MessageFrom(dialogs, [&] { f->Initialize(1, ok); }),
            "User Error: Measured data must be loaded to access this window.");
  EXPECT_FALSE(ok);
  Load(2, {{1000, 0.5}});
  EXPECT_EQ(GraphicsExportHooks.LargeRoomPicture(), f->Picture1);
  EXPECT_FALSE(f->IsFormLoaded());
  EXPECT_FALSE(f->isVisible());
  EXPECT_FALSE(w->LargeRoomGraphic->menuAction()->isVisible());
  EXPECT_EQ(f->DecayCount, 0);
  // Before it is loaded there is nothing to compute or to zoom.
  EXPECT_EQ(f->ComputeDecayView(1), DataIntegrityForm::DecayRun::Refused);
  EXPECT_FALSE(f->ZoomDecayGraph(100, 100, 500, 500));

  EXPECT_TRUE(w->DataIntegrity->isEnabled());
  ASSERT_EQ(Open(), f);
  EXPECT_TRUE(f->isVisible());
  EXPECT_EQ(f->windowTitle().toStdString(), "Large Room / " + ResultFileName);
  EXPECT_TRUE(w->LargeRoomGraphic->menuAction()->isVisible());
  EXPECT_TRUE(w->LargeRoomGraphic->menuAction()->isEnabled());
  for (const auto& [shown, text] : {std::pair{f->LFText, "15"}, {f->HFText, "20000"}, {f->CurveNoText, "1"}})
    EXPECT_EQ(shown->text(), text);
  EXPECT_FALSE(f->BPFilter->isChecked());

  // The impulse view, its peak at 30, over the whole impulse.
  EXPECT_TRUE(f->ImpulseBut->isChecked());
  EXPECT_EQ(f->DecayTitle, "Impulse Response ");
  EXPECT_EQ(f->DecayCount, kDecayLength);
  EXPECT_NEAR(PeakMagnitude(*f), 30.0f, 1e-4);
  EXPECT_EQ(f->DecayX[kZeroMsIndex], 0.0f);
  EXPECT_EQ(std::tuple(f->DecayFrame.XStart, f->DecayFrame.XFinish, f->FitStartMs, f->FitEndMs),
            std::tuple(-50, 2731, 50.0f, 150.0f));

  f->Help->click();
  EXPECT_EQ(GetHelpLog().topics.back(), HelpTopic::DataIntegrityForm);

  f->SchroederBut->click();
  ASSERT_TRUE(f->ZoomDecayGraph(300, 300, 600, 700));
  const GraphFrame zoomed = f->DecayFrame;
  f->FitStartMs = 70;
  f->close();
  EXPECT_FALSE(f->isVisible());
  EXPECT_FALSE(w->LargeRoomGraphic->menuAction()->isEnabled());
  EXPECT_TRUE(Forms::IsLoaded<DataIntegrityForm>());

  EXPECT_EQ(Open(), f);
  EXPECT_TRUE(f->isVisible());
  EXPECT_TRUE(w->LargeRoomGraphic->menuAction()->isEnabled());
  EXPECT_TRUE(f->SchroederBut->isChecked());
  EXPECT_EQ(std::tuple(f->DecayFrame.XStart, f->DecayFrame.YHigh, f->FitStartMs),
            std::tuple(zoomed.XStart, zoomed.YHigh, 70.0f));

  // A new set unloads the window; the next opening starts afresh.
  EXPECT_TRUE(w->ClearExtDisplay());
  EXPECT_FALSE(Forms::IsLoaded<DataIntegrityForm>());
  EXPECT_FALSE(w->LargeRoomGraphic->menuAction()->isEnabled());
  DataIntegrityForm* fresh = Open();
  EXPECT_TRUE(fresh->ImpulseBut->isChecked());
  EXPECT_EQ(std::tuple(fresh->FitStartMs, fresh->FitEndMs, fresh->RT60CacheCount), std::tuple(50.0f, 150.0f, 0));
}

// The arrows and the typed number step round the set, keeping the zoom; the
// Schroeder view names the pair shown.
TEST_F(LargeRoomWindow, CurvesStepRoundTheSetKeepTheZoomAndNameTheirPair) {
  DataIntegrityForm* f = Open(4, {{1000, 0.5}});
  f->SchroederBut->click();
  ASSERT_TRUE(f->ZoomDecayGraph(200, 300, 500, 800));
  const int32_t start = f->DecayFrame.XStart;
  const struct {
    int32_t inSet, curve;
    char step;  // '>' the right arrow, '<' the left one, 't' the number typed
    const char* pair;
  } steps[] = {{2, 1, ' ', "1 X  2"}, {2, 2, '>', "1 X  2"}, {3, 3, 't', "1 X  2"}, {4, 4, '>', "3 X  4"},
               {4, 1, '>', "1 X  2"}, {3, 3, '<', "1 X  2"}};
  for (const auto& s : steps) {
    ResultsDataSetInfo[0].NumInSet = s.inSet;
    if (s.step == 't') {
      f->CurveNoText->setText(QString::number(s.curve));
      QTest::keyClick(f->CurveNoText, Qt::Key_Return);
    } else if (s.step != ' ') {
      (s.step == '>' ? f->RightArrow : f->LeftArrow)->click();
    }
    EXPECT_EQ(f->CurveNumber, s.curve);
    EXPECT_EQ(f->CurveNoText->text(), QString::number(s.curve));
    EXPECT_EQ(f->DecayTitle, std::string("Schroeder Int  ") + s.pair + ":  500 Hz -  5000 Hz");
    EXPECT_EQ(f->DecayFrame.XStart, start);
  }
  f->CurveNoText->setText("4");
  EXPECT_EQ(MessageFrom(dialogs, [&] { QTest::keyClick(f->CurveNoText, Qt::Key_Return); }),
            "User Error: Input must be between 1 and 3");
  EXPECT_EQ(f->CurveNumber, 3);
  EXPECT_TRUE(MarkedInvalid(f->CurveNoText));
  QTest::keyClick(f->CurveNoText, Qt::Key_Backspace);
  EXPECT_FALSE(MarkedInvalid(f->CurveNoText));
  // Without the band-pass the energy-time curve still names the default band.
  f->EnergyBut->click();
  EXPECT_EQ(f->DecayTitle, "Filtered ETC:  500 Hz -  5000 Hz");
}

TEST_F(LargeRoomWindow, BandPassNamesItsBandAndBadEdgesLeaveTheRawImpulse) {
  DataIntegrityForm* f = Open(2, {{300, 0.5}});
  f->LFText->setText("100");
  f->HFText->setText("1000");
  f->BPFilter->click();
  EXPECT_EQ(f->DecayTitle, "Filtered Impulse:  100Hz -  1000 Hz");
  EXPECT_NEAR(PeakMagnitude(*f), 30.0f, 1e-4);
  f->SchroederBut->click();
  EXPECT_EQ(f->DecayTitle, "Schroeder Int  1 X  2:  100 Hz -  1000 Hz");
  f->ImpulseBut->click();
  // Editing an edge unticks it.
  QTest::keyClick(f->LFText, Qt::Key_0);
  EXPECT_FALSE(f->BPFilter->isChecked());
  EXPECT_EQ(f->DecayTitle, "Impulse Response ");

  for (const auto& [lf, hf, message, field] :
       {std::tuple{"4", "20000", "User Error: Input must be between 5 and 20000", f->LFText},
        {"15", "20001", "User Error: Input must be between 15 and 20000", f->HFText}}) {
    f->BPFilter->setChecked(true);
    f->LFText->setText(lf);
    f->HFText->setText(hf);
    EXPECT_EQ(MessageFrom(dialogs, [&] { f->BPFilter_Click(); }), message);
    EXPECT_TRUE(MarkedInvalid(field));
    EXPECT_EQ(f->DecayTitle, "Impulse Response ");
    EXPECT_EQ(f->DecayY[kZeroMsIndex + 100], ImpulseSet[0][kZeroMsIndex + 100]);
    EXPECT_FALSE(w->GetBusy());
  }
}

TEST_F(LargeRoomWindow, EnergyTimeCurveOfADelta) {
  LoadSilentSet(2, kDecayRate, kDecayOrder, 20.0f);
  ImpulseSet[0][kZeroMsIndex] = 0.25f;
  DataIntegrityForm* f = Open();
  EXPECT_NEAR(PeakMagnitude(*f), 30.0f, 1e-5);
  f->EnergyBut->click();
  ASSERT_EQ(f->DecayCount, kDecayLength - 8);
  const auto peak = std::max_element(f->DecayY.begin(), f->DecayY.begin() + f->DecayCount);
  EXPECT_NEAR(*peak, 0.0f, 1e-4);
  EXPECT_LE(std::fabs(f->DecayX[static_cast<size_t>(peak - f->DecayY.begin())]), 1000.0f / 48000);
  EXPECT_GE(*std::min_element(f->DecayY.begin(), f->DecayY.begin() + f->DecayCount), -90.0f);

  // An empty band gives the energy-time curve no smoothing width.
  f->BPFilter->setChecked(true);
  f->LFText->setText("1000");
  f->HFText->setText("1000");
  EXPECT_EQ(MessageFrom(dialogs, [&] { f->BPFilter_Click(); }), "Error 4398");
  EXPECT_EQ(f->DecayTitle, "Filtered Impulse:  1000Hz -  1000 Hz");
  EXPECT_EQ(f->DecayCount, kDecayLength);
  EXPECT_FALSE(w->GetBusy());
}

// Pair views need two curves, a fit range inside the impulse and an idle main window;
// a pair that cancels is cut at 0 ms.
TEST_F(LargeRoomWindow, PairViewsNeedTwoCurvesAFitRangeInsideAndAnIdleMainWindow) {
  DataIntegrityForm* f = Open(1, {{1000, 0.5}});
  ExpectRefused(f, f->RTBut, "User Error: You must have at least two measured curves to view the RT60 plot");
  ExpectRefused(f, f->SchroederBut,
                "User Error: You must have at least two measured curves to view the Schroeder plot");
  EXPECT_EQ(f->DecayFrame.LogX, 0);

  // A pair whose curves cancel.
  EXPECT_TRUE(w->ClearExtDisplay());
  Load(2, {{1024, 0.8}}, {1});
  f = Open();
  const std::vector<float> x = f->DecayX, y = f->DecayY;
  w->SetBusy(kTrue);
  f->EnergyBut->setChecked(true);
  EXPECT_EQ(f->ComputeDecayView(1), DataIntegrityForm::DecayRun::Busy);
  EXPECT_EQ(f->DecayX, x);
  EXPECT_EQ(f->DecayY, y);
  EXPECT_EQ(f->DecayTitle, "Impulse Response ");
  f->RTBut->click();
  EXPECT_TRUE(f->ImpulseBut->isChecked());
  EXPECT_EQ(f->DecayFrame.LogX, 0);
  w->SetBusy(kFalse);

  f->SchroederBut->click();
  f->FitEndMs = 4000;
  const int64_t runs = DecayBandFilterRuns();
  ExpectRefused(f, f->RTBut, "Error 4401: The RT60 fit range must lie within the impulse");
  EXPECT_EQ(DecayBandFilterRuns(), runs);
  EXPECT_EQ(f->RT60CacheCount, 0);

  // The cancelling pair's Schroeder curve ends at 0 ms and every band's RT60 is 0, a
  // flat range the y axis still spans.
  EXPECT_EQ(f->DecayCount, kZeroMsIndex);
  f->FitEndMs = 150;
  f->RTBut->click();
  for (int b = 0; b < kDecayBands; ++b) EXPECT_EQ(f->DecayY[static_cast<size_t>(b)], 0.0f) << b;
  EXPECT_LT(f->DecayFrame.YLow, f->DecayFrame.YHigh);
}

TEST_F(LargeRoomWindow, StoredRT60ServesUntilTheFitRangeChanges) {
  DataIntegrityForm* f = Open(2, {{1024, 0.8}});
  const int64_t start = DecayBandFilterRuns();
  f->RTBut->click();
  EXPECT_EQ(DecayBandFilterRuns() - start, 2 * kDecayBands);
  EXPECT_EQ(f->DecayTitle, "RT60:  50 ms -  150 ms");
  const std::vector<float> rt(f->DecayY.begin(), f->DecayY.begin() + kDecayBands);

  f->SchroederBut->click();
  const int64_t beforeReturn = DecayBandFilterRuns();
  f->RTBut->click();
  EXPECT_EQ(DecayBandFilterRuns(), beforeReturn);
  EXPECT_EQ(std::vector<float>(f->DecayY.begin(), f->DecayY.begin() + kDecayBands), rt);
  EXPECT_EQ(f->DecayTitle, "RT60:  50 ms -  150 ms");

  // A new fit range (picked on the Schroeder view by a right-button drag).
  f->SchroederBut->click();
  f->FitStartMs = 60, f->FitEndMs = 140;
  const int64_t beforeNewRange = DecayBandFilterRuns();
  f->RTBut->click();
  EXPECT_EQ(DecayBandFilterRuns() - beforeNewRange, 2 * kDecayBands);
  EXPECT_EQ(f->DecayTitle, "RT60:  60 ms -  140 ms");
  EXPECT_NEAR(f->DecayY[kBand1024], 800, 40);

  // The frame of the RT60 view, and x labels cut by their size.
  f->GraphOverride = &rec;
  f->RedrawDecayGraph();
  // The y labels carry the leading blank of a positive number.
  for (const std::string& text : {std::string("Frequency [Hz]"), std::string("20"), std::string("16384"),
                                  std::string(kMakerWebAddress), Str(static_cast<int32_t>(f->DecayFrame.YHigh))})
    EXPECT_NE(TextCall(text), nullptr) << text;
  const auto *y = TextCall("Time [ms] "), *title = TextCall("RT60:  60 ms -  140 ms");
  ASSERT_TRUE(y && title);
  EXPECT_EQ(y->font.escapement, 900);
  EXPECT_EQ(title->font, (FontSpec{45, 15, 0}));
  EXPECT_EQ(title->colour, PlotColours[0]);
  EXPECT_EQ(CurvesIn(rec, PlotColours[3]).size(), 1u);

  f->ImpulseBut->click();
  const struct {
    int32_t start, finish;
    const char *low, *high;
  } ranges[] = {{0, 1, "0.3", "1"}, {1000, 2003, "1100", "2003"}};  // 1100.3 cut to a whole number
  for (const auto& r : ranges) {
    rec.Clear();
    f->DecayFrame.XStart = r.start;
    f->DecayFrame.XFinish = r.finish;
    f->DrawDecayFrame();
    EXPECT_NE(TextCall(r.low), nullptr) << r.low;
    EXPECT_NE(TextCall(r.high), nullptr) << r.high;
  }
  f->GraphOverride = nullptr;
}

// The table of room-acoustic parameters: shown on request beside the graph,
// following the curve, marking values in grey with their reason, saved as the CSV
// of the same numbers.
TEST_F(LargeRoomWindow, TheParametersTableFollowsTheCurveMarksUntrustedValuesAndSaves) {
  Load(3, {});  // the third stays silent
  AddDecayingTones(ImpulseSet[0], {{1000, 0.5}});
  AddWhiteNoise(ImpulseSet[0], 1e-2, 3);  // 37 dB below the tone over the whole band
  AddDecayingTones(ImpulseSet[1], {{1000, 0.9}});
  DataIntegrityForm* f = Open();
  const int fullWidth = f->Picture1->width();
  EXPECT_TRUE(f->ParametersTable->isHidden());
  f->ParametersBut->click();
  EXPECT_EQ(GetSetting("Zentor", "LargeRoom", "Parameters"), "1");
  EXPECT_FALSE(f->ParametersTable->isHidden());
  EXPECT_FALSE(f->SaveParametersBut->isHidden());
  EXPECT_LT(f->Picture1->width(), fullWidth);

  QTableWidget* t = f->ParametersTable;
  ASSERT_EQ(t->columnCount(), 9);
  EXPECT_EQ(t->horizontalHeaderItem(4)->text(), "1k");
  EXPECT_EQ(t->horizontalHeaderItem(8)->text(), "Broadband");
  EXPECT_EQ(t->verticalHeaderItem(2)->text(), "T30 [s]");
  EXPECT_NEAR(t->item(2, 4)->text().toDouble(), 0.5, 0.01);  // T30 at 1 kHz
  EXPECT_EQ(t->item(2, 4)->toolTip(), "");
  // Broadband the noise lies too near for T30: grey, starred, and why.
  QTableWidgetItem* broad = t->item(2, 8);
  EXPECT_TRUE(broad->text().endsWith("*")) << broad->text().toStdString();
  EXPECT_EQ(broad->foreground().color(), QColor(Qt::gray));
  EXPECT_EQ(broad->toolTip(), "The impulse-to-noise ratio is below 45 dB");
  EXPECT_FALSE(t->item(1, 8)->text().endsWith("*"));  // T20 needs only 35 dB

  const std::string path = TempPath("room.csv");
  dialogs.ExpectSaveFile(path);
  f->SaveParametersBut->click();
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), RoomParametersCsv(f->Parameters));
  EXPECT_EQ(dialogs.calls().back().title, "Save Parameters");

  // The next curve's own decay.
  f->RightArrow->click();
  EXPECT_EQ(f->Parameters.curve, 2);
  EXPECT_NEAR(t->item(2, 4)->text().toDouble(), 0.9, 0.02);
  // A silent curve has none: the table says why, and so does Save, which writes nothing.
  EXPECT_EQ(MessageFrom(dialogs, [&] { f->RightArrow->click(); }), "Error 2341: No input data on one or both channels");
  EXPECT_EQ(t->columnCount(), 0);
  EXPECT_EQ(t->toolTip(), "Curve 3 is silent");
  const size_t calls = dialogs.calls().size();
  EXPECT_EQ(MessageFrom(dialogs, [&] { f->SaveParametersBut->click(); }), "Curve 3 is silent");
  EXPECT_EQ(dialogs.calls().size(), calls + 1);
  f->ParametersBut->click();
  EXPECT_TRUE(f->ParametersTable->isHidden());
  EXPECT_EQ(f->Picture1->width(), fullWidth);
}

// Three curves make one pair (the third has no partner): the RT60 view and T20 and T30
// read off the band-passed Schroeder view agree with the room. Through real mouse
// events, at a size where a pixel is a drawing unit: the zoom, the fit range a right
// drag picks, and the curves each view draws.
TEST_F(LargeRoomWindow, RT60AndSchroederViewsAgreeWithTheRoomAndZoomByMouse) {
  Load(3, {{256, 1.2}, {1024, 0.8}, {4096, 0.5}});
  for (int k : {0, 1, 2}) AddWhiteNoise(ImpulseSet[static_cast<size_t>(k)], 1e-3, 30 + k);
  DataIntegrityForm* f = Open();
  f->resize(1200 + 16, 1200 + 140);
  ASSERT_EQ(f->Picture1->size(), QSize(1200, 1200));
  const QRgb curve = QColor(RedOf(PlotColours[3]), GreenOf(PlotColours[3]), BlueOf(PlotColours[3])).rgb() & 0xFFFFFF;
  const auto curvePixels = [&] {
    const QImage image = f->Picture1->DrawingSpaceImage();
    int n = 0;
    for (int y = 100; y <= 1100; ++y)
      for (int x = 100; x <= 1150; ++x) n += (image.pixel(x, y) & 0xFFFFFF) == curve;
    return n;
  };
  f->RTBut->click();
  EXPECT_EQ(f->ProgressBar1->maximum(), 1);
  EXPECT_EQ(f->ProgressBar1->value(), 0);
  EXPECT_EQ(f->BandPairCounts[kBand1024], 1.0f);
  EXPECT_EQ(f->DecayCount, kDecayBands);
  EXPECT_EQ(f->DecayX[kBand1024], 1024.0f);
  EXPECT_NEAR(f->DecayY[kBand256], 1200, 60);
  EXPECT_NEAR(f->DecayY[kBand1024], 800, 40);
  EXPECT_NEAR(f->DecayY[kBand4096], 500, 25);
  EXPECT_EQ(std::tuple(f->DecayFrame.LogX, f->DecayFrame.XStart, f->DecayFrame.XFinish), std::tuple(kTrue, 20, 16384));

  f->SchroederBut->click();
  EXPECT_GT(curvePixels(), 500);
  const GraphFrame full = f->DecayFrame;
  EXPECT_EQ(std::tuple(full.XStart, full.YHigh, full.YLow), std::tuple(-50, 0, -90));
  const auto isFull = [&] {
    const GraphFrame& g = f->DecayFrame;
    return g.XStart == full.XStart && g.XFinish == full.XFinish && g.YLow == full.YLow && g.YHigh == full.YHigh;
  };

  // The band follows the drag, dashed for the right button on this view.
  QTest::mousePress(f->Picture1, Qt::RightButton, {}, QPoint(300, 300));
  QTest::mouseMove(f->Picture1, QPoint(500, 600));
  ASSERT_TRUE(f->Picture1->CurrentOverlay().has_value());
  EXPECT_EQ(f->Picture1->CurrentOverlay()->pen.style, PenStyle::Dash);
  QTest::mouseRelease(f->Picture1, Qt::RightButton, {}, QPoint(500, 600));
  EXPECT_FALSE(f->Picture1->CurrentOverlay().has_value());
  EXPECT_EQ(RubberBandState.EndY, 0.0f);
  EXPECT_GT(f->DecayFrame.XStart, full.XStart);
  EXPECT_EQ(f->FitStartMs, float(f->DecayFrame.XStart));
  EXPECT_EQ(f->FitEndMs, float(f->DecayFrame.XFinish));
  const float fitStart = f->FitStartMs;

  QTest::mouseClick(f->Picture1, Qt::LeftButton, {}, QPoint(600, 600));
  EXPECT_TRUE(isFull()) << "a click without a drag shows everything again";
  // A drag starting left of -50 ms zooms from -50 (a pixel is some 2.6 ms here, 0.09 dB).
  Drag(f, Qt::LeftButton, At(f, -80, -10), At(f, 100, -40));
  EXPECT_EQ(std::tuple(f->DecayFrame.XStart, f->DecayFrame.YHigh, f->DecayFrame.YLow), std::tuple(-50, -10, -40));
  EXPECT_NEAR(f->DecayFrame.XFinish, 100, 2);
  // Narrower than 1 ms and shallower than 5 dB: widened about the middle.
  Drag(f, Qt::LeftButton, At(f, 20.1, -20), At(f, 20.5, -21));
  EXPECT_EQ(f->DecayFrame.XFinish - f->DecayFrame.XStart, 1);
  EXPECT_EQ(f->DecayFrame.YHigh - f->DecayFrame.YLow, 5);
  // Upwards or to the left: back to the full view; a left drag leaves the fit range.
  Drag(f, Qt::LeftButton, QPoint(300, 900), QPoint(600, 400));
  EXPECT_TRUE(isFull());
  Drag(f, Qt::LeftButton, QPoint(300, 300), QPoint(600, 600));
  Drag(f, Qt::LeftButton, QPoint(600, 300), QPoint(300, 600));
  EXPECT_TRUE(isFull());
  EXPECT_EQ(f->FitStartMs, fitStart);

  // On the RT60 view the band is solid and the zoom follows the log axis.
  f->FitStartMs = 50, f->FitEndMs = 150;
  f->RTBut->click();
  EXPECT_GT(curvePixels(), 500);
  EXPECT_EQ(std::pair(f->DecayFrame.XStart, f->DecayFrame.XFinish), std::pair(20, 16384));
  const QPoint from = At(f, 500, f->DecayFrame.YHigh), to = At(f, 2000, f->DecayFrame.YLow);
  QTest::mousePress(f->Picture1, Qt::RightButton, {}, from);
  QTest::mouseMove(f->Picture1, to);
  ASSERT_TRUE(f->Picture1->CurrentOverlay().has_value());
  EXPECT_EQ(f->Picture1->CurrentOverlay()->pen.style, PenStyle::Solid);
  QTest::mouseRelease(f->Picture1, Qt::RightButton, {}, to);
  EXPECT_NEAR(f->DecayFrame.XStart, 500, 5);
  EXPECT_NEAR(f->DecayFrame.XFinish, 2000, 20);
  EXPECT_EQ(f->FitStartMs, 50.0f);
  f->resize(820, 660);
  EXPECT_LT(f->Picture1->width(), 1200);  // the picture shrinks with the window

  // T20 and T30 from the Schroeder view band-passed to each band.
  f->BPFilter->setChecked(true);
  for (const auto& [band, ms] : {std::pair{kBand256, 1200.0}, {kBand1024, 800.0}, {kBand4096, 500.0}}) {
    const DecayBand& b = DecayBands()[band];
    f->LFText->setText(QString::number(double(b.lower), 'g', 9));
    f->HFText->setText(QString::number(double(b.upper), 'g', 9));
    f->SchroederBut->click();
    ASSERT_TRUE(f->SchroederBut->isChecked());
    for (double foot : {-25.0, -35.0})
      EXPECT_NEAR(-60 / SlopeBetweenLevels(f->DecayX, f->DecayY, size_t(f->DecayCount), -5, foot), ms, ms * 0.05)
          << band << " " << foot;
  }
}

}  // namespace
}  // namespace zentor::test
