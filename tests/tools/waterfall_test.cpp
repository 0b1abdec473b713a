// The waterfall: its slices against known decays, averages, calibrations and
// filters; its drawing; and its window.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QtTest/qtestspontaneevent.h>
#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

#include "core/records.h"
#include "display/curve_workers.h"
#include "display/graph_frame.h"
#include "display/plot_colours.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/window_fixtures.h"
#include "mainwindow/main_window_links.h"
#include "platform/forms.h"
#include "platform/picture.h"
#include "platform/text_boxes.h"
#include "platform/window_placement.h"
#include "support/image_compare.h"
#include "support/silent_set.h"
#include "tools/three_d_form.h"
#include "tools/tools_fixture.h"
#include "tools/waterfall_compute.h"
#include "tools/waterfall_drawing.h"

namespace zentor::test {
namespace {

using Kind = RecordingSurface::Kind;

// Time zero of every slice gate at 48 kHz: the 50 ms point.
constexpr size_t kStartSample = 2400;
constexpr double kDbPerNeper = 8.685889638;  // 20 log10(e)

// Index of the slice point nearest f.
size_t Nearest(const WaterfallSlice& s, double f) {
  size_t best = 0;
  for (size_t j = 1; j < static_cast<size_t>(s.Count); ++j)
    if (std::fabs(s.Freqs[j] - f) < std::fabs(s.Freqs[best] - f)) best = j;
  return best;
}

QColor Colour(ColourRef c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }
// Pixels of the picture in a colour.
int64_t Count(const QImage& image, const QColor& c) {
  int64_t n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) == c;
  return n;
}

// The waterfall window over a started main window whose Bode view spans 20 Hz to
// 20 kHz, with synthetic impulses whose decay is known.
class WaterfallTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    main = Start();
    InstallWaterfallLinks();
    main->RefreshLinkedControls();
  }

  // n silent results at 48 kHz with a Bode gate; display resolution 0.
  void LoadSet(int32_t n, float gateMs = 20.0f, int32_t exponent = 17, int32_t fs = 48000) {
    main->SetDisplayRes(0);
    LoadSilentSet(n, fs, exponent, 10.0f);
    ResultsDataSetInfo[0].FreqRespGateTime = gateMs;
    FreqGraphFrame.XStart = 20, FreqGraphFrame.XFinish = 20000;
    BodeCurves[0].NumPoints = 2, BodeCurves[0].XValues[0] = 10, BodeCurves[0].XValues[1] = 23000;
  }

  // Adds e^(-t/tau) sin(2 pi f t) x amplitude to result c from the 50 ms point.
  static void AddResonance(size_t c, double f, double tauMs, double amplitude = 1.0) {
    auto& x = ImpulseSet[c];
    for (size_t i = 0; i + kStartSample < x.size(); ++i) {
      const double t = static_cast<double>(i) / 48.0;  // ms
      x[kStartSample + i] += static_cast<float>(amplitude * std::exp(-t / tauMs) *
                                                std::sin(2 * std::numbers::pi * f * t / 1000.0));
    }
  }
  // Applied peaking filter k at hz (qz, qp as stored: a negative first quality boosts).
  static void SetPeak(size_t k, double hz, float q1, float q2) {
    FilterRecord& r = AppliedFilters[k];
    r.Freq1 = static_cast<float>(2 * std::numbers::pi * hz), r.Q1 = q1, r.Q2 = q2, r.EQEmulationCode = 1;
  }

  // Opens the window answering the recalculation question.
  ThreeDForm* Open(MsgAnswer answer = MsgAnswer::Yes) {
    dialogs.ExpectMessage(answer);
    return OpenUnasked();
  }
  ThreeDForm* OpenUnasked() {
    ThreeDForm* f = Forms::Get<ThreeDForm>();
    f->Initialize("room.cfa");
    return f;
  }
  // The averaged slices of the set loaded now, from a fresh window.
  WaterfallSliceSet FreshSlices() {
    Forms::Unload<ThreeDForm>();
    return Open()->UnfilteredSlices;
  }
  bool MenuShown() const { return main->WaterfallGraphic->menuAction()->isVisible(); }

  DataPlotter* main = nullptr;
};

// ---- The slices ----------------------------------------------------------------

// Levels at the point nearest f in slices 1..34 against their start times (whole
// samples at 48 kHz): the least-squares slope, and the largest distance from the
// best line of the expected slope.
std::pair<double, double> DecayOf(const WaterfallSliceSet& slices, double f, double expectedSlope, float spanMs) {
  const size_t j = Nearest(slices[0], f);
  double n = 34, st = 0, sy = 0, stt = 0, sty = 0, worst = 0;
  std::vector<double> t, y;
  for (int s = 1; s < 35; ++s) {
    t.push_back(double(std::llround(double(float(s) * (spanMs / 35.0f)) * 48.0)) / 48.0);
    y.push_back(slices[static_cast<size_t>(s)].Levels[j]);
    st += t.back(), sy += y.back(), stt += t.back() * t.back(), sty += t.back() * y.back();
  }
  for (size_t i = 0; i < t.size(); ++i)
    worst = std::max(worst, std::fabs(y[i] - ((sy - expectedSlope * st) / n + expectedSlope * t[i])));
  return {(n * sty - st * sy) / (n * stt - st * st), worst};
}

// Two results of the same two resonances, the second at half the level: averaged
// and single, each resonance decays on the line of its own rate. The arrows and the
// typed number step round the results.
TEST_F(WaterfallTest, DampedResonancesDecayEachOnItsLineAveragedAndSingle) {
  LoadSet(2);
  for (size_t c : {0, 1}) {
    AddResonance(c, 300, 20, c == 0 ? 1 : 0.5);
    AddResonance(c, 3000, 10, c == 0 ? 1 : 0.5);
  }
  FreqGraphFrame.XFinish = 6000;
  ThreeDForm* f = Open();
  const QImage averaged = f->Picture1->DrawingSpaceImage();
  f->Filter->click();
  EXPECT_TRUE(f->Filter->isChecked());
  f->RightArrowBut->click();  // a single result is shown unfiltered
  const QImage single = f->Picture1->DrawingSpaceImage();
  EXPECT_EQ(f->CurrentCurve, 2);
  EXPECT_EQ(f->CurveNoText->text(), "2");
  EXPECT_EQ(f->Label1->text(), "Single Impulse");
  EXPECT_TRUE(f->Unfiltered->isChecked());
  ASSERT_EQ(f->UnfilteredSlices[0].Count, 2000);
  EXPECT_NEAR(f->UnfilteredSlices[0].Freqs[1] - f->UnfilteredSlices[0].Freqs[0], 48000.0 / 4096, 1e-3);  // k = 12
  for (const WaterfallSliceSet* slices : {&f->UnfilteredSlices, &f->CurveWorkSlices})
    for (auto [freq, tau] : {std::pair{300.0, 20.0}, {3000.0, 10.0}}) {
      const double slope = -kDbPerNeper / tau;
      const auto [fitted, worst] = DecayOf(*slices, freq, slope, 40);
      EXPECT_NEAR(fitted, slope, 0.01 * std::fabs(slope)) << freq;
      EXPECT_LT(worst, 0.15) << freq;
    }
  EXPECT_GT(Count(averaged, Colour(PlotColours[3])), 5000);
  EXPECT_NE(averaged, single);

  f->RightArrowBut->click();
  EXPECT_EQ(f->CurrentCurve, 1);  // past the last: back to 1
  f->LeftArrowBut->click();
  EXPECT_EQ(f->CurrentCurve, 2);  // below 1: to the last
  for (const char* bad : {"0", "3"}) {
    f->CurveNoText->setText(bad);
    EXPECT_EQ(MessageFrom(dialogs, [&] { f->CurveNoText_KeyPress(13); }), "User Error: Input must be between 1 and 2");
    EXPECT_EQ(f->CurveNoText->palette().color(QPalette::Base), QColor(kInvalidFieldRed, 0, 0));
    EXPECT_EQ(f->Picture1->DrawingSpaceImage(), single) << bad;
  }
  f->CurveNoText->setText("1");
  f->CurveNoText_KeyPress(13);
  EXPECT_EQ(f->CurrentCurve, 1);
  EXPECT_EQ(f->Label1->text(), "Single Impulse");
  f->Filter->click();
  EXPECT_TRUE(f->Filter->isChecked());
  EXPECT_EQ(f->Label1->text(), "Averaged");
  EXPECT_NE(f->Picture1->DrawingSpaceImage(), single);
}

// The average over three results is the same on one worker as on many.
TEST_F(WaterfallTest, AveragesPowersAndAppliesTheCalibration) {
  const auto broadband = [](size_t c, double a) {
    ImpulseSet[c][kStartSample] += static_cast<float>(0.5 * a);
    AddResonance(c, 700, 8, a);
    AddResonance(c, 5000, 3, a);
  };
  LoadSet(1);
  broadband(0, 1);
  const WaterfallSliceSet one = FreshSlices();
  ASSERT_GT(one[34].Levels[100], -200);

  LoadSet(3);
  for (size_t c = 0; c < 3; ++c) broadband(c, 1);
  CurveWorkerLimit = 1;
  const WaterfallSliceSet threeOnOne = FreshSlices();
  CurveWorkerLimit = 0;
  const WaterfallSliceSet three = FreshSlices();
  for (size_t s = 0; s < 35; ++s) ASSERT_EQ(threeOnOne[s].Levels, three[s].Levels) << s;

  LoadSet(2);
  broadband(0, 1);
  broadband(1, 2);
  const WaterfallSliceSet pair = FreshSlices();

  LoadSet(1);
  broadband(0, 1);
  ActiveMicCal.Count = 2, ActiveMicCal.Freq[0] = 10, ActiveMicCal.Freq[1] = 30000;
  ActiveMicCal.Level[0] = ActiveMicCal.Level[1] = 3;
  const WaterfallSliceSet calibrated = FreshSlices();

  const double pairGain = 10 * std::log10((1.0 + 4.0) / 2.0);  // 3.98 dB
  for (size_t s = 0; s < 35; ++s)
    for (size_t i = 0; i < 2000; i += 7) {
      if (one[s].Levels[i] < -250) continue;  // at the floor of the dB conversion
      ASSERT_NEAR(three[s].Levels[i], one[s].Levels[i], 1e-4) << s << " " << i;
      ASSERT_NEAR(pair[s].Levels[i], one[s].Levels[i] + pairGain, 1e-3) << s << " " << i;
      ASSERT_NEAR(calibrated[s].Levels[i], one[s].Levels[i] - 3, 1e-4) << s << " " << i;
    }
}

// |H| in dB of the bilinear peaking section with zeros at quality qz and poles at qp
// about f0, from its analogue prototype at the pre-warped frequency.
double PeakingDb(double f, double f0, double qz, double qp, double fs) {
  const double w0 = 2 * fs * std::tan(std::numbers::pi * f0 / fs);
  const double w = 2 * fs * std::tan(std::numbers::pi * f / fs);
  const std::complex<double> s(0, w);
  const auto h = (s * s + s * w0 / qz + w0 * w0) / (s * s + s * w0 / qp + w0 * w0);
  return 20 * std::log10(std::abs(h));
}

// Each row's sections as (Hz, first quality, second quality): the filtered slices
// carry the sum of their responses, a new set of sections computed anew; faulty
// sections are reported and left out.
TEST_F(WaterfallTest, FilteredSlicesCarryTheAppliedPeakingSectionsAndLeaveOutFaultyOnes) {
  struct Row {
    const char* name;
    std::vector<std::array<float, 3>> peaks;
    double tolerance;
  };
  std::vector<std::array<float, 3>> many;  // more than one group of sections
  for (int k = 0; k < 19; ++k) many.push_back({200.0f + 900.0f * float(k), k % 2 == 0 ? -3.0f : 5.0f, 2.5f});
  const Row rows[] = {{"boost", {{1000, -4, 2}}, 0.2}, {"cut", {{1000, 4, 2}}, 0.2},
                      {"equal qualities: flat", {{1000, -2, 2}}, 1e-4}, {"19 sections", many, 0.3}};
  LoadSet(1);
  ImpulseSet[0][kStartSample] = 1;
  ThreeDForm* f = nullptr;
  int32_t computed = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    AppliedFilters[0].Count = int32_t(r.peaks.size());
    for (size_t k = 0; k < r.peaks.size(); ++k) SetPeak(k, r.peaks[k][0], r.peaks[k][1], r.peaks[k][2]);
    f = f ? OpenUnasked() : Open();
    EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{1, ++computed}));
    const WaterfallSlice& plain = f->UnfilteredSlices[0];
    ASSERT_EQ(f->FilteredSlices[0].Count, plain.Count);
    for (size_t i = 0; i < static_cast<size_t>(plain.Count); ++i) {
      double want = 0;
      for (const auto& [hz, q1, q2] : r.peaks)  // a negative first quality boosts
        want += PeakingDb(plain.Freqs[i], hz, q1 < 0 ? q2 : q1, q1 < 0 ? -q1 : q2, 48000);
      ASSERT_NEAR(f->FilteredSlices[0].Levels[i] - plain.Levels[i], want, r.tolerance) << plain.Freqs[i];
    }
  }

  // Faulty sections are reported and left out.
  AppliedFilters[0].Count = 3;
  AppliedFilters[0].Freq1 = 1000, AppliedFilters[0].Q1 = 0, AppliedFilters[0].Q2 = 2;  // no sign: flat, unreported
  SetPeak(1, 30000, -4, 2);          // above Nyquist
  SetPeak(2, 1000, -0.04f, 0.02f);  // section quality below 0.05: reported, still built
  dialogs.Clear();
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  OpenUnasked();
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"Error 7122", "Error 4929"}));
  const size_t at = Nearest(f->UnfilteredSlices[0], 1000);
  EXPECT_NEAR(f->FilteredSlices[0].Levels[at] - f->UnfilteredSlices[0].Levels[at],
              PeakingDb(f->UnfilteredSlices[0].Freqs[at], 1000, 0.02, 0.04, 48000), 0.2);
}

TEST(WaterfallNumbers, SpanSlicePointsADamagedFilterCountPeakAndFloor) {
  EXPECT_FLOAT_EQ(WaterfallSpan(200, 48000, 17), 400);
  EXPECT_LE(WaterfallSpan(500, 48000, 15), 0);
  EXPECT_LE(WaterfallSpan(20, 0, 17), 0);

  SliceGeometry g;
  ASSERT_TRUE(MakeSliceGeometry(48000, 12, 20, 40, g));
  EXPECT_EQ(std::pair(g.LowBin, g.Reference), std::pair(4, 2400));  // 50 Hz over 11.7 Hz bins
  // Short transforms stop below Nyquist by the points' own frequencies.
  ASSERT_TRUE(MakeSliceGeometry(48000, 11, 2, 4, g));
  EXPECT_EQ(std::pair(g.LowBin, g.Count), std::pair(21, 1024 - 21));  // 500 Hz over 23.4 Hz bins
  std::vector<float> x(2001);
  FillSliceFrequencies(g, x);
  EXPECT_LT(x[static_cast<size_t>(g.Count - 1)], 24000);
  EXPECT_FALSE(MakeSliceGeometry(48000, 12, 0, 40, g));
  EXPECT_FALSE(MakeSliceGeometry(48000, 12, 20, -1, g));
  FilterSnapshot a, b;
  AppliedFilters[0].Count = 1;
  SnapshotAppliedFilters(a);
  CopyFilterSnapshot(a, b);
  b.Q2[0] = 1.5f;  // one field of a counted filter
  EXPECT_FALSE(FilterSnapshotsEqual(a, b));
  EXPECT_FALSE(WaterfallSettingsEqual({20, 30, 40}, {20, 30, 41}));
  AppliedFilters[0].Count = 999;  // a count from a damaged file
  SnapshotAppliedFilters(a);
  EXPECT_EQ(SnapshotCount(a), 75);
  AppliedFilters[0].Count = 0;

  // Peak and floor levels of a hand-built set.
  WaterfallSliceSet set{};
  for (size_t s = 0; s < 35; ++s) {
    set[s].Count = 4;
    for (size_t i = 0; i < 4; ++i) {
      set[s].Freqs[i] = 100.0f * float(i + 1);  // 100..400 Hz
      set[s].Levels[i] = -float(s) - float(i);
    }
  }
  set[3].Levels[1] = 12.4f;   // the peak within 150..250 Hz
  set[5].Levels[3] = 40.0f;   // outside it
  set[34].Levels[0] = 900;    // the last slice is not part of the floor
  set[29].Levels[2] = 100;
  EXPECT_FLOAT_EQ(GetWaterfallPeakLevel(set, 150, 250), 13.4f);
  EXPECT_FLOAT_EQ(GetWaterfallPeakLevel(set, 350, 450), 41.0f);
  EXPECT_FLOAT_EQ(GetWaterfallPeakLevel(set, 200, 400), 101.0f);
  EXPECT_FLOAT_EQ(GetWaterfallPeakLevel(set, 100, 400), 901.0f);  // every slice counts
  EXPECT_FLOAT_EQ(GetWaterfallPeakLevel(set, 1000, 2000), -9999.0f);
  // Slices 29..33, points 0..3: the mean of -(s + i) is -32.5; one point is raised by 131.
  EXPECT_NEAR(GetWaterfallFloorLevel(set), -32.5 + 131.0 / 20, 1e-4);
}

// ---- The drawing --------------------------------------------------------------

class WaterfallDrawingTest : public ZentorTest {
 protected:
  void SetUp() override {
    ZentorTest::SetUp();
    SetDefaultPlotColours();
  }
  // 20 Hz to 20020 Hz, -60 to 0 dB, a 40 ms span.
  static WaterfallFrame Frame() {
    GraphFrame axes;
    axes.XStart = 20, axes.XFinish = 20020, axes.YLow = -60, axes.YHigh = 0;
    WaterfallFrame f;
    SetUpWaterfallFrame(axes, f, 40);
    return f;
  }
  static bool HasLine(const RecordingSurface& rec, DrawPoint a, DrawPoint b) {
    for (const auto& c : rec.Of(Kind::Line))
      if (c.points[0] == a && c.points[1] == b) return true;
    return false;
  }
  static std::vector<DrawPoint> TextAt(const RecordingSurface& rec, const std::string& text) {
    std::vector<DrawPoint> at;
    for (const auto& c : rec.Of(Kind::Text))
      if (c.text == text) at.push_back(c.points[0]);
    return at;
  }
};

TEST_F(WaterfallDrawingTest, LevelGridStepsFollowTheRange) {
  for (const auto& [range, step, count] :
       {std::tuple{10, 1, 11}, {11, 3, 3}, {60, 6, 10}, {61, 10, 6}, {2000, 200, 10}}) {
    WaterfallFrame f;
    f.YLow = 0, f.YHigh = range;
    ComputeWaterfallLevelGrid(f);
    ASSERT_EQ(f.LabelCount, count) << range;
    EXPECT_EQ(f.LineCount, count);
    for (int32_t i = 0; i < count; ++i) EXPECT_EQ(f.LabelValues[size_t(i)], i * step) << range;
    EXPECT_EQ(f.LabelValues[size_t(count)], range);  // the last entry is the top
    EXPECT_EQ(f.LineValues, f.LabelValues);
  }
  WaterfallFrame wide;
  wide.YLow = 0, wide.YHigh = 40000, wide.LabelCount = 7;
  ComputeWaterfallLevelGrid(wide);
  EXPECT_EQ(wide.LabelCount, 7);  // beyond the table: left as it was
}

TEST_F(WaterfallDrawingTest, ScalesMapTheLimitsOntoTheRearmostSliceAndTheFrameIsDrawnThere) {
  WaterfallFrame f = Frame();
  EXPECT_EQ(f.N, 35);
  EXPECT_EQ(f.DepthTitle, "Time");
  EXPECT_NEAR(20 * f.XScale + f.XOffset, 200, 1e-3);
  EXPECT_NEAR(20020 * f.XScale + f.XOffset, 1100, 1e-2);
  EXPECT_NEAR(-60 * f.YScale + f.YOffset, 800, 1e-3);
  EXPECT_NEAR(0 * f.YScale + f.YOffset, 100, 1e-3);

  f.XFinish = f.XStart;
  dialogs.ExpectMessage();
  EXPECT_FALSE(ComputeWaterfallScales(f));
  f = Frame();
  f.YHigh = f.YLow - 1;
  dialogs.ExpectMessage();
  EXPECT_FALSE(ComputeWaterfallScales(f));
  EXPECT_FALSE(ComputeWaterfallScales(f, true));
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"Error 5430", "Error 5431"}));

  // The frame drawn: axes, grid, baselines and texts.
  f = Frame();
  RecordingSurface rec;
  DrawWaterfallFrame(f, rec, 20, "Not Filtered ");

  ASSERT_FALSE(rec.Of(Kind::Rectangle).empty());
  EXPECT_EQ(rec.Of(Kind::Rectangle)[0].points, (std::vector<DrawPoint>{{0, 0}, {1200, 1200}}));
  EXPECT_EQ(rec.Of(Kind::Rectangle)[0].fill, PlotColours[1]);
  // The rearmost slice's frame from (200, 100) to (1100, 800), its top the 0 dB grid
  // line; the front slice's baseline 300/35 x 34 lower and 150/35 x 34 further left;
  // frequency labels above the back and along the front, a label at every level.
  EXPECT_TRUE(HasLine(rec, {200, 100}, {200, 800}));
  EXPECT_TRUE(HasLine(rec, {1100, 100}, {1100, 800}));
  EXPECT_TRUE(HasLine(rec, {200, 100}, {1100, 100}));
  const int32_t frontY = ToDrawUnit(800 + 300.0 * 34 / 35);
  EXPECT_TRUE(HasLine(rec, {ToDrawUnit(200 - 150.0 * 34 / 35), frontY}, {ToDrawUnit(1100 - 150.0 * 34 / 35), frontY}));
  EXPECT_EQ(TextAt(rec, "4020"), (std::vector<DrawPoint>{{380 - 20, 60}, {380 - 150 - 20, 1119}}));
  EXPECT_EQ(TextAt(rec, "20020").back(), (DrawPoint{950 - 25, 1119}));
  for (int32_t i = 0; i <= f.LabelCount; ++i)
    EXPECT_EQ(TextAt(rec, std::to_string(f.LabelValues[size_t(i)])).size(), 1u) << f.LabelValues[size_t(i)];

  for (const auto& [text, at] : {std::pair{"Time", DrawPoint{1045, 950}}, {"(40 ms )", {1045, 975}},
                                 {"Gate Time", {10, 70}}, {"20 ms", {10, 110}}, {"Not Filtered ", {10, 20}}})
    EXPECT_EQ(TextAt(rec, text), std::vector<DrawPoint>{at}) << text;
  const std::string web(kMakerWebAddress);
  EXPECT_EQ(TextAt(rec, web), (std::vector<DrawPoint>{{ToDrawUnit(1100 - 10.0 * double(web.size()) - 10), 1150}}));
  EXPECT_EQ(rec.calls().back().kind, Kind::Refresh);

  // A shortened span keeps one decimal.
  f.Span = static_cast<float>(32768.0 / 48 - 360);
  rec.Clear();
  DrawWaterfallFrame(f, rec, 200, "Filtered");
  EXPECT_TRUE(HasText(rec, "(322.6 ms )") && HasText(rec, "200 ms"));
}

TEST_F(WaterfallDrawingTest, FrontSlicesHideWhatLiesBehindThem) {
  const WaterfallFrame f = Frame();
  WaterfallSliceSet set{};
  for (size_t i = 0; i < 5; ++i) {
    set[0].Freqs[i] = set[34].Freqs[i] = 100.0f + 4900.0f * float(i);  // across the axis
    set[0].Levels[i] = -51;                                           // the rearmost slice low
    set[34].Levels[i] = -5;                                           // the front slice high
  }
  set[0].Count = set[34].Count = 5;
  RecordingSurface rec;
  DrawWaterfallSlices(f, rec, set);
  EXPECT_EQ(rec.Of(Kind::Polygon).size(), 35u);
  EXPECT_EQ(rec.Of(Kind::Refresh).size(), 1u);  // shown once, after its last slice
  EXPECT_EQ(rec.calls().back().kind, Kind::Refresh);
  PictureBox picture;
  picture.resize(1200, 1200);
  DrawWaterfallSlices(f, picture, set);
  const QImage image = picture.DrawingSpaceImage();
  const QColor background = Colour(PlotColours[1]), curve = Colour(PlotColours[3]);
  const int backY = ToDrawUnit(-51 * double(f.YScale) + f.YOffset);
  // Right of the front slice the rearmost curve shows; inside it, only background.
  EXPECT_EQ(image.pixelColor(1050, backY), curve);
  EXPECT_EQ(image.pixelColor(600, backY), background);
  EXPECT_EQ(image.pixelColor(600, backY + 1), background);
}

// ---- The window ---------------------------------------------------------------

TEST_F(WaterfallTest, AsksOnceAndRecomputesOnlyWhatChanged) {
  LoadSet(2);
  AddResonance(0, 500, 10);
  AddResonance(1, 2000, 5);
  for (MsgAnswer refuse : {MsgAnswer::No, MsgAnswer::Cancel}) {
    ThreeDForm* f = Open(refuse);
    EXPECT_FALSE(f->isVisible());
    EXPECT_FALSE(main->GetBusy());
    EXPECT_FALSE(MenuShown());
    EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{0, 0}));
  }
  const DialogCall& q = dialogs.calls().front();
  EXPECT_EQ(std::tuple(q.text, q.title, q.buttons, q.icon),
            std::tuple(" Recalculate waterfall with new limits and/or gate time  ?", "Mirabelt Zentor",
                       MsgButtons::YesNoCancel, MsgIcon::Exclamation));

  ThreeDForm* f = Open();
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{1, 0}));
  EXPECT_TRUE(f->isVisible());
  EXPECT_TRUE(MenuShown());
  EXPECT_FALSE(main->GetBusy());
  EXPECT_EQ(f->windowTitle().toStdString(), "Waterfall Plot /room.cfa");
  const auto peaks = [](int32_t n) {
    return [n] { AppliedFilters[0].Count = n, SetPeak(0, 1000, -4, 2); };
  };
  const struct {
    const char* name;
    std::function<void()> change;
    bool asks;
    std::array<int32_t, 2> computed;
  } steps[] = {{"nothing changed", [] {}, false, {1, 0}},
               {"a filter alone: the filtered set, unasked", peaks(1), false, {1, 1}},
               {"the same filter", [] {}, false, {1, 1}},
               {"no filter: the unfiltered slices, nothing computed", peaks(0), false, {1, 1}},
               {"the same filter again is filtered again", peaks(1), false, {1, 2}},
               {"a new gate: both, after asking", [] { ResultsDataSetInfo[0].FreqRespGateTime = 30; }, true, {2, 3}}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.change();
    step.asks ? Open() : OpenUnasked();
    EXPECT_EQ(f->Computations, step.computed);
    if (AppliedFilters[0].Count != 0) continue;
    for (size_t s = 0; s < 35; ++s) ASSERT_EQ(f->FilteredSlices[s].Levels, f->UnfilteredSlices[s].Levels) << s;
    EXPECT_EQ(f->FilteredFrame.Span, f->UnfilteredFrame.Span);
    EXPECT_EQ(f->FilteredFrame.YHigh, f->UnfilteredFrame.YHigh);
  }

  main->SetBusy(kTrue);
  f->setWindowTitle("kept");
  ResultsDataSetInfo[0].FreqRespGateTime = 40;
  OpenUnasked();
  EXPECT_EQ(f->windowTitle().toStdString(), "kept");
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{2, 3}));
  EXPECT_TRUE(main->GetBusy());
  main->SetBusy(kFalse);
}

TEST_F(WaterfallTest, AGateTooLongOrNoPointWithinTheLimitsComputesNothing) {
  LoadSet(1, 200, 15);
  AddResonance(0, 1000, 10);
  ThreeDForm* f = Open();  // 682.7 ms hold a span of 682.7 - 360 ms
  EXPECT_NEAR(f->UnfilteredFrame.Span, 32768.0 / 48 - 360, 1e-3);
  const float kept = f->CurveSliceStore[0].Levels[10];

  ResultsDataSetInfo[0].FreqRespGateTime = 500;
  dialogs.ExpectMessage(MsgAnswer::Yes);
  EXPECT_EQ(MessageFrom(dialogs, [&] { OpenUnasked(); }),
            "Error 5492: Gate time too long for a waterfall of this impulse length");
  EXPECT_FALSE(f->isVisible());
  EXPECT_FALSE(main->GetBusy());
  EXPECT_EQ(f->CurveSliceStore[0].Levels[10], kept);
  EXPECT_TRUE(WaterfallSettingsEqual(f->StoredSettings, WaterfallSettings{}));
  ResultsDataSetInfo[0].FreqRespGateTime = 200;
  Open();  // asks again
  EXPECT_TRUE(f->isVisible());

  // No slice point within the limits (the last lies below 23.5 kHz): only the background.
  ResultsDataSetInfo[0].FreqRespGateTime = 20;
  FreqGraphFrame.XStart = 23500, FreqGraphFrame.XFinish = 23900;
  BodeCurves[0].XValues[1] = 24000;
  dialogs.ExpectMessage(MsgAnswer::Yes);
  EXPECT_EQ(MessageFrom(dialogs, [&] { OpenUnasked(); }), "Error 5431");
  EXPECT_EQ(Count(f->Picture1->DrawingSpaceImage(), Colour(PlotColours[1])), int64_t{1200} * 1200);
}

// The picture link creates the window without computing, the main window's button
// opens it; a close by the user hides it, one by the program goes ahead, and a new set
// unloads it.
TEST_F(WaterfallTest, MainWindowOpensAndExportsThroughItsLinksAndClosingHidesOrDrops) {
  LoadSet(1);
  AddResonance(0, 800, 10);
  EXPECT_TRUE(main->ThreeDBut->isEnabled());
  EXPECT_TRUE(main->Waterfall->isEnabled());

  QMetaObject::invokeMethod(main->GraphicBut, "aboutToShow");
  dialogs.ExpectSaveFile(TempPath("empty"));
  main->ExportJPGWaterfall->trigger();
  ASSERT_TRUE(Forms::IsLoaded<ThreeDForm>());
  ThreeDForm* f = Forms::Get<ThreeDForm>();
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{0, 0}));
  EXPECT_FALSE(f->isVisible());

  DisplayConfig.Graphshown = kBodeView;
  ResultFileName = "hall.cfa";
  dialogs.ExpectMessage(MsgAnswer::Yes);
  main->ThreeDBut->click();
  EXPECT_EQ(f->windowTitle().toStdString(), "Waterfall Plot /hall.cfa");
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{1, 0}));

  dialogs.ExpectSaveFile(TempPath("fall"));
  main->ExportJPGWaterfall->trigger();
  const QImage jpeg = QImageReader(QString::fromStdString(TempPath("fall.jpg"))).read();
  ASSERT_EQ(jpeg.size(), QSize(1200, 1200));
  EXPECT_GT(Psnr(jpeg, f->Picture1->DrawingSpaceImage()), 25);

  QCloseEvent byUser;
  QSpontaneKeyEvent::setSpontaneous(&byUser);
  QApplication::instance()->notify(f, &byUser);  // as the window system delivers it
  EXPECT_FALSE(byUser.isAccepted());
  EXPECT_FALSE(f->isVisible());
  EXPECT_FALSE(MenuShown());
  ASSERT_TRUE(Forms::IsLoaded<ThreeDForm>());

  OpenUnasked();  // the stored waterfall again, nothing recomputed
  EXPECT_TRUE(f->isVisible());
  EXPECT_TRUE(MenuShown());
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{1, 0}));

  EXPECT_TRUE(f->close());  // closed by the program: goes ahead
  EXPECT_FALSE(MenuShown());
  OpenUnasked();
  EXPECT_TRUE(main->ClearExtDisplay());
  EXPECT_FALSE(Forms::IsLoaded<ThreeDForm>());
  EXPECT_FALSE(MenuShown());
  EXPECT_EQ(Open()->Computations, (std::array<int32_t, 2>{1, 0}));  // a new window asks again
}

// A window lands inside the screen's available area as it is shown: where it fits it
// keeps its size and place, otherwise it is shrunk and moved onto the screen, its
// picture laid out and redrawn at the new size.
TEST_F(WaterfallTest, WindowsOpenInsideTheScreenAndLayOutTheirControls) {
  const QRect desktop(0, 0, 1600, 1000), small(0, 24, 1024, 676);
  EXPECT_EQ(PlaceInside({100, 50, 800, 700}, {}, desktop), QRect(100, 50, 800, 700));
  EXPECT_EQ(PlaceInside({1000, 500, 800, 700}, {}, desktop), QRect(800, 300, 800, 700));
  EXPECT_EQ(PlaceInside({-20, 10, 2000, 700}, {}, small), QRect(0, 24, 1024, 676));
  EXPECT_EQ(PlaceInside({300, 300, 900, 900}, {1100, 400}, small), QRect(0, 24, 1100, 676));

  QRect area = desktop;
  const WindowsOnScreen onScreen([&](const QWidget&) { return area; });
  LoadSet(1);
  AddResonance(0, 800, 10);
  ThreeDForm* f = Forms::Get<ThreeDForm>();
  f->move(300, 200);
  dialogs.ExpectMessage(MsgAnswer::Yes);
  f->Initialize("room.cfa");
  ASSERT_TRUE(f->isVisible());
  EXPECT_EQ(f->pos(), QPoint(300, 200));
  EXPECT_EQ(f->size(), QSize(800, 700));

  const auto reshow = [](QWidget* window) {
    window->hide();
    window->move(700, 400);
    window->show();
  };
  area = small;
  reshow(f);
  EXPECT_TRUE(area.contains(f->geometry()));
  EXPECT_LT(f->height(), 700);
  EXPECT_TRUE(f->rect().contains(f->Picture1->geometry()));
  EXPECT_EQ(f->Filter->y(), f->Picture1->height());  // the controls in a row below it
  EXPECT_EQ(f->Unfiltered->y(), f->Picture1->height());
  EXPECT_EQ(f->Picture1->Image().size(), f->Picture1->size());
  EXPECT_GT(Count(f->Picture1->Image(), Colour(PlotColours[3])), 1000);  // the slices
  // The main window's panel needs more width than this screen has: it keeps its
  // minimum width from the left edge, its height fitted and its panel arranged anew.
  reshow(main);
  EXPECT_EQ(main->x(), 0);
  EXPECT_EQ(main->width(), main->minimumWidth());
  EXPECT_TRUE(area.contains(QRect(0, main->y(), 1, main->height())));
  EXPECT_LT(main->Picture1->geometry().bottom(), main->centralWidget()->height());
  area = desktop;
  reshow(main);
  EXPECT_TRUE(area.contains(main->geometry()));
}

}  // namespace
}  // namespace zentor::test
