// The redraw road: builders and reuse counts, gate controls, view buttons, accessors, mouse zoom and fit range.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/records.h"
#include "display/dispatcher.h"
#include "display/graph_frame.h"
#include "display/graph_primitives.h"
#include "display/mouse_zoom.h"
#include "display/view_state.h"
#include "platform/forms.h"
#include "support/builder_recorder.h"
#include "views_fixture.h"

namespace zentor {
namespace {

using test::BuilderCall;
using test::BuilderRecorder;

class DispatchTest : public test::ViewsTest {
 protected:
  void SetUp() override {
    ViewsTest::SetUp();
    rb.Install();
    host.view = ViewButton::Time;
  }

  void LoadSet(int32_t n) {
    test::LoadCachedSet(n);
    rb.calls.clear();
  }
  std::vector<BuilderCall> Take() { return rb.Take(); }

  void TypeGate(const char* text) {
    host.gateText.setText(text);
    GateText_KeyPress(host, 13);
  }
  // The gate controls: the large range, the slider and the text.
  std::tuple<bool, int, std::string> Gate() const { return {host.largeGate, host.slider.value(), host.GateText()}; }

  BuilderRecorder rb;
  MeasurementHeader& set = ResultsDataSetInfo[0];
};

using Calls = std::vector<BuilderCall>;

TEST_F(DispatchTest, EachViewHasItsBuilderTheLevelsViewItsCheckAndBusyOrNestedRedrawsDrop) {
  LoadSet(3);
  const std::vector<std::pair<int32_t, const char*>> views = {
      {0, "ShowModalResponseSet"}, {1, "ShowNoiseResponseSet"}, {2, "ShowMainImpulseSet"},
      {3, "ShowFFTResponseSet"},   {5, "ShowPSDEnergy"},        {6, "ShowFractOctResponseSet"},
      {7, "ShowPsycResponseSet"}};
  for (auto [view, name] : views) {
    DisplayConfig.Graphshown = view;
    DisplayResults(host, KeepFiledCurves(2));
    EXPECT_EQ(Take(), (Calls{{name, 2}})) << view;
  }
  for (int32_t odd : {-1, 8, 99}) {
    DisplayConfig.Graphshown = odd;
    DisplayResults(host, 0);
    EXPECT_TRUE(Take().empty()) << odd;
  }

  // A new result computes only the newest curve in the frequency views, else shows it alone.
  LoadSet(4);
  for (int32_t view : {kBodeView, kFractOctView, kPsycView}) {
    DisplayConfig.Graphshown = view;
    ShowResult(host);
    const Calls c = Take();
    ASSERT_EQ(c.size(), 1u) << view;
    EXPECT_EQ(c[0].first, 3) << view;
  }
  for (int32_t view : {kImpulseView, kNoiseView, kModalSliceView, kPsdView, kLevelsView}) {
    DisplayConfig.Graphshown = view;
    ShowResult(host);
    EXPECT_EQ(Take(), (Calls{{"ShowImpulseCurve", 3}})) << view;
  }
  // The levels view is computed from the levels check; redraws keep frames sane, busy and nested ones drop.
  MeasurementHeader& levels = LevelsCheckHeader;
  levels.SampleRate = 48000, levels.ImpulseShift = 17, levels.PeakLevel = -12.5f, levels.NoiseEnergy = 41.0f;
  FreqGraphFrame.LogX = kTrue;
  DisplayConfig.Graphshown = kLevelsView;
  Take();
  DisplayResults(host, kRedrawFiledCurves);
  EXPECT_EQ(Take(), (Calls{{"ShowLevelsImpulse", 0}}));
  const auto& l = rb.levels;
  EXPECT_EQ(std::tuple(l.start, l.ms, l.rate, l.shift, l.level, l.sn), std::tuple(2400, 10.0f, 48000, 17, -12.5f, 41.0f));
  EXPECT_EQ(l.samples, LevelsImpulse.size());
  EXPECT_EQ(std::tuple(FreqGraphFrame.LogX, host.logAxis), std::tuple(kFalse, false));

  // Frames and buttons are kept sane.
  DisplayConfig.Graphshown = kBodeView;
  FreqGraphFrame.LogX = kTrue;
  FreqGraphFrame.XStart = -5;
  FreqGraphFrame.XFinish = 0;
  host.logAxis = false;
  RubberBandState.BoxErased = kFalse;
  DisplayResults(host, 0);
  EXPECT_EQ(std::tuple(FreqGraphFrame.XStart, FreqGraphFrame.XFinish, host.logAxis), std::tuple(1, 2, true));
  EXPECT_EQ(RubberBandState.BoxErased, kTrue);
  EXPECT_EQ(rb.cursorDepthInBuilder, 1);  // the hourglass shows while building, released after

  DisplayConfig.Graphshown = kImpulseView;
  TimeGraphFrame.LogX = kTrue;
  DisplayResults(host, 0);
  EXPECT_EQ(TimeGraphFrame.LogX, kFalse);
  // A busy host drops a redraw, a nested one is dropped too, and the plotter's update forces one full recompute.
  LoadSet(2);
  DisplayConfig.Graphshown = kBodeView;
  host.busy = true;
  DisplayResults(host, 0);
  EXPECT_TRUE(Take().empty());
  host.busy = false;

  SetPlotterToUpdate();
  DisplayResults(host, kRedrawFiledCurves);
  DisplayResults(host, kRedrawFiledCurves);
  EXPECT_EQ(Take(), (Calls{{"ShowFFTResponseSet", 0}, {"ShowFFTResponseSet", kRedrawFiledCurves}}));

  // A nested redraw is dropped and one redraw follows.
  DisplayConfig.Graphshown = kFractOctView;
  int nested = 0;
  rb.during = [&] {
    if (nested++ < 3) {  // e.g. a message box whose event loop delivers redraw requests
      DisplayResults(host, 0);
      DisplayResults(host, 0);
    }
  };
  DisplayResults(host, 2);
  EXPECT_EQ(Take(), (Calls{{"ShowFractOctResponseSet", 2}, {"ShowFractOctResponseSet", kRedrawFiledCurves}}));
  rb.during = nullptr;
  DisplayResults(host, 0);
  EXPECT_EQ(Take(), (Calls{{"ShowFractOctResponseSet", 0}}));
}

TEST_F(DispatchTest, ViewButtonsPickTheirViewsRedrawFromTheCacheAndChangedSettingsRecomputeAll) {
  LoadSet(3);
  DisplayConfig.FFTSelected = kTrue;
  FreqBut_Click(host);
  FractOct_Click(host);
  BodeFFT_Click(host);
  Psyc_Click(host);
  EXPECT_EQ(Take(), (Calls{{"ShowFFTResponseSet", 3},
                           {"ShowFractOctResponseSet", 3},
                           {"ShowFFTResponseSet", 3},
                           {"ShowPsycResponseSet", 3}}));
  EXPECT_EQ(DisplayConfig.Graphshown, kPsycView);

  // A changed setting (the options dialog copies it into the set) recomputes every
  // curve once; the next click redraws from the cache.
  struct Change {
    std::function<void()> change;
    void (*click)(GraphHost&);
    const char* builder;
  };
  const Change changes[] = {
      {[] { EQConfig.FractOctRes = 0.1f, RefreshOctParms(); }, FractOct_Click, "ShowFractOctResponseSet"},
      {[] { EQConfig.PsycShelfLevel = -3.0f, RefreshPsycParms(); }, Psyc_Click, "ShowPsycResponseSet"},
      {[] { EQConfig.FreqRespGateTime = 3.0f, RefreshBodeParms(); }, BodeFFT_Click, "ShowFFTResponseSet"},
      {[this] { set.NoiseGateTime = 123; }, UpdateNoiseDisplay, "ShowNoiseResponseSet"},
      {[this] { set.ModalGateTime = 321; }, UpdateModalDisplay, "ShowModalResponseSet"},
      {[this] { set.ImpulseGateTime = 7; }, Impulse_Click, "ShowMainImpulseSet"}};
  for (const Change& c : changes) {
    c.change();
    c.click(host);
    c.click(host);
    EXPECT_EQ(Take(), (Calls{{c.builder, 0}, {c.builder, 3}}));
  }

  // The view buttons pick their views.
  LoadSet(2);
  ImpulseDisplayConfig.ShowETC = kTrue;
  DisplayConfig.Graphshown = kBodeView;
  TimeBut_Click(host);
  EXPECT_EQ(Take(), (Calls{{"ShowMainImpulseSet", 0}}));
  EXPECT_EQ(std::tuple(rb.showEtcInBuilder, ImpulseDisplayConfig.ShowETC, DisplayConfig.Graphshown),
            std::tuple(kFalse, kTrue, kImpulseView));

  // The frequency button picks the psychoacoustic, then the fractional-octave, then the FFT view.
  const std::pair<int16_t*, int32_t> order[] = {{&DisplayConfig.PsycSelected, kPsycView},
                                                {&DisplayConfig.FractOctSelected, kFractOctView},
                                                {&DisplayConfig.FFTSelected, kBodeView}};
  for (auto [chosen, view] : order) *chosen = kTrue;
  for (auto [chosen, view] : order) {
    FreqBut_Click(host);
    EXPECT_EQ(DisplayConfig.Graphshown, view);
    EXPECT_EQ(Take().size(), 1u);
    *chosen = kFalse;
  }
  // With none chosen it refuses and leaves the view.
  DisplayConfig.Graphshown = kImpulseView;
  host.view = ViewButton::Time;
  dialogs.ExpectMessage();
  FreqBut_Click(host);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Error 5429"}));
  EXPECT_EQ(std::tuple(DisplayConfig.Graphshown, host.view), std::tuple(kImpulseView, ViewButton::Time));
  EXPECT_TRUE(Take().empty());

  // An FFT update outside the frequency button only notes the gate.
  set.FreqRespGateTime = 4.5f;
  UpdateFFTDisplay(host);
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(std::tuple(DisplayConfig.Graphshown, StaticConfig.FreqRespGateTime), std::tuple(kImpulseView, 4.5f));
}

TEST_F(DispatchTest, GateControlsShowEveryStorableGateTypedGatesKeepToTwoTo2000AndLongGatesAreCut) {
  LoadSet(2);
  DisplayConfig.Graphshown = kImpulseView;
  set.ImpulseGateTime = 20.0f;
  UpdateGateControls(host);
  EXPECT_EQ(Gate(), std::tuple(false, 2000, std::string("20")));

  TypeGate("20");
  EXPECT_EQ(Gate(), std::tuple(true, 20, std::string("20")));
  EXPECT_FLOAT_EQ(set.ImpulseGateTime, 20.0f);
  EXPECT_EQ(Take(), (Calls{{"ShowMainImpulseSet", 2}}));  // same gate: the cache stands

  TypeGate("12.341");
  EXPECT_EQ(Gate(), std::tuple(false, 1234, std::string("12.34")));
  EXPECT_FLOAT_EQ(set.ImpulseGateTime, 12.34f);
  EXPECT_EQ(Take(), (Calls{{"ShowMainImpulseSet", 0}}));
  EXPECT_FLOAT_EQ(StaticConfig.ImpulseGateTime, 12.34f);

  // Outside 2 to 2000 ms the typed gate is refused, the gate left as it was.
  for (const char* text : {"1.99", "2000.5", "abc"}) {
    dialogs.ExpectMessage();
    TypeGate(text);
  }
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"User Error: Input must be between 2 and 2000",
                                                              "User Error: Input must be between 2 and 2000",
                                                              "User Error: Non Numeric Input"}));
  EXPECT_EQ(std::pair(set.ImpulseGateTime, host.slider.value()), std::pair(12.34f, 1234));
  EXPECT_TRUE(Take().empty());

  // The controls show every storable gate unclamped; views without one leave them.
  LoadSet(1);
  using GateField = float MeasurementHeader::*;  // none: the view has no gate
  const std::tuple<int32_t, GateField, float, bool, int, const char*> rows[] = {{kBodeView, &MeasurementHeader::FreqRespGateTime, 0.1f, false, 10, "0.1"},
                      {kModalSliceView, &MeasurementHeader::ModalGateTime, 5000.7f, true, 5001, "5000"},
                      {kModalSliceView, &MeasurementHeader::ModalGateTime, 25.5f, true, 26, "25"},  // halves to even
                      {kImpulseView, &MeasurementHeader::ImpulseGateTime, 30, true, 30, "30"},
                      {kLevelsView, nullptr, 0, true, 30, "30"},
                      {kPsdView, nullptr, 0, true, 30, "30"}};
  for (auto [view, gate, value, large, slider, text] : rows) {
    DisplayConfig.Graphshown = view;
    if (gate) set.*gate = value;
    UpdateGateControls(host);
    EXPECT_EQ(Gate(), std::tuple(large, slider, std::string(text))) << view << " " << value;
  }
  DisplayConfig.Graphshown = kFractOctView;
  DisplayConfig.FractOctSelected = kFalse;
  UpdateGateControls(host);
  EXPECT_EQ(host.GateText(), "30");
  DisplayConfig.Graphshown = kPsycView;
  DisplayConfig.PsycSelected = kTrue;
  UpdateGateControls(host);
  EXPECT_EQ(std::pair(host.GateText(), host.slider.value()), std::pair(std::string("N/A"), 30));
  // Accessors cut long gates to the period, hold thirty-two spectra, fall back and refuse.
  LoadSet(1);
  set.SampleRate = 48000;
  set.PeriodExponent = 15;  // 32768 samples; 2400 are the 50 ms margin
  EXPECT_FLOAT_EQ(LimitGateToPeriod(400), 400.0f);
  // (32768 - 2400) / (1.5 x 48 samples per ms) = 421.8: 421 fits, 422 would not.
  EXPECT_FLOAT_EQ(LimitGateToPeriod(500), 421.0f);
  set.PeriodExponent = 11;  // shorter than the margin
  EXPECT_FLOAT_EQ(LimitGateToPeriod(500), 1.0f);
  EXPECT_FLOAT_EQ(LimitGateToPeriod(0.2f), 1.0f);
  set.PeriodExponent = 18;  // a result column holds 2^17
  EXPECT_FLOAT_EQ(LimitGateToPeriod(5000), std::floor((131072 - 2400) * 1000.0f / 72000));
  EXPECT_FLOAT_EQ(ClampSmallGateTime(0.99f), 1.0f);
  EXPECT_FLOAT_EQ(ClampSmallGateTime(1.5f), 1.5f);

  // The PSD parameters hold thirty-two spectra.
  for (int32_t i = 0; i < 32; ++i) {
    int32_t rate = 44100 + i, exponent = 15;
    ASSERT_TRUE(ADDTOPSDParameters(rate, exponent));
    EXPECT_EQ(std::pair(PsdParameters[i].Exponent, PsdParameters[i].SampleRate), std::pair(15, 44100 + i));
  }
  int32_t rate = 48000, exponent = 14;
  EXPECT_EQ(MessageOf([&] { EXPECT_FALSE(ADDTOPSDParameters(rate, exponent)); }),
            "User Error: only 32 curves can be stored at once. Delete one to continue.");
  EXPECT_EQ(std::pair(PsdParameters[0].Count, PsdParameters[32].SampleRate), std::pair(32, 0));

  EQConfig.SampleRate = 44100;
  set.NumInSet = 0;
  EXPECT_EQ(GetSampleRateOfDisplayData(), "44100");  // nothing loaded: the settings
  LoadSet(2);
  EXPECT_EQ(GetSampleRateOfDisplayData(), "48000");

  IncludeExistingFiltersinFit(1);
  IncludeExistingFiltersinFit(2);
  EXPECT_EQ(GetIncludeFilters(), kTrue);
}

using test::ViewsTest;

// Where a value lies in drawing units, by the mapping the frame drawing set up.
float DX(const GraphFrame& f, double x) { return float((f.LogX != 0 ? std::log(x) : x) * f.XScale + f.XOffset); }
float DY(const GraphFrame& f, double y) { return float(y * f.YScale + f.YOffset); }

using test::FrameLimits;
using test::LimitsOf;

class Zoom : public ViewsTest {
 protected:
  void SetUp() override {
    ViewsTest::SetUp();
    builders.Install();
  }
  // A frame drawn over the given range, so its mapping is known.
  void Draw(GraphFrame& f, bool log, int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
    f.LogX = log ? kTrue : kFalse;
    test::SetLimits(f, {x0, x1, y0, y1});
    DrawGraphFrame(f, rec);
  }
  // Press at the first corner, one move to the second (none for a click), release there.
  void Drag(int button, float x1, float y1, float x2, float y2) {
    Picture1_MouseDown(host, button, 0, x1, y1);
    if (x1 != x2 || y1 != y2) Picture1_MouseMove(host, button, 0, x2, y2);
    Picture1_MouseUp(host, button, 0, x2, y2);
  }
  void DragData(int button, const GraphFrame& f, double x1, double y1, double x2, double y2) {
    Drag(button, DX(f, x1), DY(f, y1), DX(f, x2), DY(f, y2));
  }
  std::pair<double, double> FitRangeIs() const { return {host.fitMin, host.fitMax}; }

  test::BuilderRecorder builders;
};

// A box from (x1, y1) to (x2, y2) in data values on a linear frame.
struct BoxCase {
  const char* name;
  bool time;
  FrameLimits drawn;
  double x1, y1, x2, y2;
  std::optional<FrameLimits> zoomed;  // none: refused, the frame left as it was
};
const BoxCase kBoxes[] = {
    {"narrow time box widens about its middle", true, {-10, 30, -30, 30}, 10.3, 3.5, 10.7, 1.5, {{10, 11, 0, 5}}},
    {"narrow frequency box ends 1 Hz after its start", false, {0, 100, -30, 30}, 40.2, 20, 40.6, -20,
     {{40, 41, -20, 20}}},
    {"frequency box starts at 1 Hz at the earliest", false, {0, 100, -30, 30}, 0.3, 10, 20, -10, {{1, 20, -10, 10}}},
    {"dragged upwards", true, {-20, 30, -30, 30}, 0, -10, 10, 10, std::nullopt},
    {"wholly before -10 ms", true, {-20, 30, -30, 30}, -19, 10, -15, -10, std::nullopt},
};

TEST_F(Zoom, BoxesZoomOrAreRefusedTheBandFollowsTheDragAndEveryReleaseEndsIt) {
  for (const BoxCase& b : kBoxes) {
    SCOPED_TRACE(b.name);
    GraphFrame& f = b.time ? TimeGraphFrame : FreqGraphFrame;
    Draw(f, false, b.drawn.XStart, b.drawn.XFinish, b.drawn.YLow, b.drawn.YHigh);
    EXPECT_EQ(ZoomFrameToBox(f, DX(f, b.x1), DY(f, b.y1), DX(f, b.x2), DY(f, b.y2),
                             b.time ? kZoomTimeGraph : kZoomFrequencyGraph),
              b.zoomed.has_value());
    EXPECT_EQ(LimitsOf(f), b.zoomed.value_or(b.drawn));
  }

  // Far beyond the picture on a log axis the limit no longer fits a whole-number field.
  GraphFrame& f = FreqGraphFrame;
  Draw(f, true, 20, 20000, -50, 20);
  EXPECT_FALSE(ZoomFrameToBox(f, DX(f, 100), DY(f, 10), 40000.0f, DY(f, -10), kZoomFrequencyGraph));
  EXPECT_EQ(LimitsOf(f), (FrameLimits{20, 20000, -50, 20}));

  // A frame never drawn has no mapping back from the picture.
  GraphFrame fresh;
  EXPECT_FALSE(ZoomFrameToBox(fresh, 100, 100, 500, 500, kZoomFrequencyGraph));
  // The band follows the drag and goes at the release or a redraw; its pen shows on the background.
  DisplayConfig.Graphshown = kBodeView;
  Draw(FreqGraphFrame, true, 20, 20000, -50, 20);
  Picture1_MouseDown(host, kLeftButton, 0, 300.4f, 200.6f);
  EXPECT_EQ(RubberBandState.ButtonDown, kTrue);
  EXPECT_FALSE(host.band);
  Picture1_MouseMove(host, kLeftButton, 0, 500.5f, 401.5f);
  ASSERT_TRUE(host.band);
  // Corners in whole drawing units, halves to even.
  EXPECT_EQ(std::pair(host.band->a, host.band->b), std::pair(DrawPoint{300, 201}, DrawPoint{500, 402}));
  EXPECT_EQ(host.band->pen, (Pen{RGB(0, 0, 0), PenStyle::Solid}));
  EXPECT_EQ(RubberBandState.BoxErased, kFalse);
  Picture1_MouseMove(host, kLeftButton, 0, 600, 500);
  EXPECT_EQ(host.band->b, (DrawPoint{600, 500}));
  EXPECT_EQ(host.bandHides, 1);
  // A move to the same place leaves the band away until the next one.
  Picture1_MouseMove(host, kLeftButton, 0, 600, 500);
  EXPECT_FALSE(host.band);
  EXPECT_EQ(RubberBandState.BoxErased, kTrue);
  Picture1_MouseMove(host, 4, 0, 700, 600);  // not a button of the zoom
  EXPECT_FALSE(host.band);
  Picture1_MouseMove(host, kLeftButton, 0, 650, 550);
  ASSERT_TRUE(host.band);
  Picture1_MouseUp(host, kLeftButton, 0, 650, 550);
  EXPECT_FALSE(host.band);
  EXPECT_EQ(std::tuple(RubberBandState.BoxErased, RubberBandState.ButtonDown, RubberBandState.EndY),
            std::tuple(kTrue, kFalse, 0));

  // A redraw takes the band, so the next press erases nothing.
  Picture1_MouseDown(host, kLeftButton, 0, 100, 100);
  Picture1_MouseMove(host, kLeftButton, 0, 300, 300);
  ASSERT_TRUE(host.band);
  const int hides = host.bandHides;
  DisplayResults(host, kRedrawFiledCurves);
  EXPECT_FALSE(host.band);
  EXPECT_EQ(std::pair(host.bandHides, RubberBandState.BoxErased), std::pair(hides + 1, kTrue));
  const int shows = host.bandShows;
  Picture1_MouseDown(host, kLeftButton, 0, 400, 400);
  EXPECT_EQ(std::pair(host.bandHides, host.bandShows), std::pair(hides + 1, shows));

  // The pen shows on the background and dashes for the fit range.
  const ColourRef black = RGB(0, 0, 0), white = RGB(255, 255, 255);
  EXPECT_EQ(RubberBandPen(kLeftButton, kBodeView, RGB(128, 128, 128)), (Pen{black, PenStyle::Solid}));
  EXPECT_EQ(RubberBandPen(kLeftButton, kBodeView, RGB(127, 127, 127)), (Pen{white, PenStyle::Solid}));
  EXPECT_EQ(RubberBandPen(kLeftButton, kBodeView, RGB(0, 0, 255)).colour, white);
  EXPECT_EQ(RubberBandPen(kLeftButton, kBodeView, RGB(255, 255, 0)).colour, black);
  for (int32_t view = kModalSliceView; view <= kPsycView; ++view) {
    const bool fitView = view == kBodeView || view == kFractOctView || view == kPsycView;
    EXPECT_EQ(RubberBandPen(kRightButton, view, white).style, fitView ? PenStyle::Dash : PenStyle::Solid) << view;
  }
  // The press takes the background in force.
  PlotColours[1] = RGB(10, 10, 40);
  DisplayConfig.Graphshown = kFractOctView;
  Picture1_MouseDown(host, kRightButton, 0, 100, 100);
  Picture1_MouseMove(host, kRightButton, 0, 200, 200);
  ASSERT_TRUE(host.band);
  EXPECT_EQ(host.band->pen, (Pen{white, PenStyle::Dash}));
  // Every release ends the drag; a time zoom leaves the fit range.
  DisplayConfig.Graphshown = kImpulseView;
  Draw(TimeGraphFrame, false, -10, 30, -30, 30);
  builders.calls.clear();
  GraphFrame& t = TimeGraphFrame;
  // A click, a leftward drag, a refused (upward) box and a zoom.
  for (const auto& [button, x1, y1, x2, y2] : {std::tuple{kLeftButton, 500.0f, 500.0f, 500.0f, 500.0f},
                                               {kRightButton, 600.0f, 400.0f, 500.0f, 500.0f},
                                               {kLeftButton, DX(t, 0), DY(t, -10), DX(t, 10), DY(t, 10)},
                                               {kLeftButton, DX(t, 0), DY(t, 10), DX(t, 10), DY(t, -10)}}) {
    Drag(button, x1, y1, x2, y2);
    EXPECT_EQ(RubberBandState.ButtonDown, kFalse) << x1 << "," << y1;
  }
  // So a later move with no press draws nothing.
  Picture1_MouseMove(host, kLeftButton, 0, 900, 900);
  EXPECT_FALSE(host.band);

  // Another button ends nothing: it only forgets the end corner.
  Picture1_MouseDown(host, kLeftButton, 0, 500, 500);
  Picture1_MouseMove(host, kLeftButton, 0, 600, 600);
  builders.calls.clear();
  Picture1_MouseDown(host, 4, 0, 10, 10);
  Picture1_MouseUp(host, 4, 0, 10, 10);
  EXPECT_EQ(std::tuple(RubberBandState.ButtonDown, RubberBandState.StartX, RubberBandState.EndY),
            std::tuple(kTrue, 500, 0));
  EXPECT_TRUE(host.band);
  EXPECT_TRUE(builders.calls.empty());

  // A time zoom starts no earlier than -10 ms and leaves the fit range.
  Draw(t, false, -20, 30, -30, 30);
  host.fitMin = 100;
  host.fitMax = 500;
  FitGraphFrame.XStart = 100;
  DragData(kLeftButton, t, -12, 10, 5, -10);
  EXPECT_EQ(LimitsOf(t), (FrameLimits{-10, 5, -10, 10}));
  EXPECT_EQ(std::tuple(FitRangeIs(), FitGraphFrame.XStart), std::tuple(std::pair(100.0, 500.0), 100));
  EXPECT_EQ(builders.calls, (std::vector<test::BuilderCall>{{"ShowMainImpulseSet", kRedrawFiledCurves}}));
}

class FitRange : public Zoom {
 protected:
  void SetUp() override {
    Zoom::SetUp();
    DisplayConfig.Graphshown = kFractOctView;
    Draw(FreqGraphFrame, false, 0, 1000, -30, 30);
    for (int i = 0; i < kFilterSets; ++i) SingularityList[static_cast<size_t>(i)].Count = 7;
    for (int i = 0; i < kMaxResults; ++i) FitStoredCurves[static_cast<size_t>(i)].NumPoints = 9;
    ModesListContents[0].Count = 4;
    host.lines = {"a mode"};
    host.fitSet = 5;
    MouseZoomHooks.CheckAccumulateSettings = [this](int32_t view, std::array<SingularityListRecord, kFilterSets>& sets) {
      checks.push_back(view);
      EXPECT_EQ(&sets, &SingularityList);
    };
  }
  void StoreRange(float lo, float hi) {
    SingularityList[5].RangeLow = lo;
    SingularityList[5].RangeHigh = hi;
  }
  void ZoomTo(double lo, double hi) {
    Draw(FreqGraphFrame, false, 0, 1000, -30, 30);
    DragData(kRightButton, FreqGraphFrame, lo, 20, hi, -20);
  }
  std::vector<int32_t> checks;
};

TEST_F(FitRange, ANewFitForgetsTheFiltersFittedSoFarAlsoFromATimeView) {
  ZoomTo(200.1, 599.9);
  for (size_t i = 0; i < kMaxResults; ++i)
    EXPECT_EQ(std::tuple(SingularityList[i].Count, FitStoredCurves[i].NumPoints), std::tuple(0, 0)) << i;
  EXPECT_EQ(SingularityList[32].Count, 7);  // the set of the average is not one of them
  EXPECT_EQ(ModesListContents[0].Count, 0);
  EXPECT_TRUE(host.lines.empty());
  EXPECT_EQ(checks, (std::vector<int32_t>{kFractOctView}));
  EXPECT_EQ(FitRangeIs(), std::pair(200.0, 600.0));

  // A right zoom in a time view still sets the fit range, from the frequency frame.
  checks.clear();
  SingularityList[0].Count = 7;
  DisplayConfig.Graphshown = kImpulseView;
  test::SetLimits(FreqGraphFrame, {40, 400, -30, 30});
  FreqGraphFrame.LogX = kTrue;
  Draw(TimeGraphFrame, false, -10, 30, -30, 30);
  DragData(kRightButton, TimeGraphFrame, 0, 10, 10, -10);
  EXPECT_EQ(TimeGraphFrame.XStart, 0);
  EXPECT_EQ(FitRangeIs(), std::pair(40.0, 400.0));
  EXPECT_EQ(FitGraphFrame.LogX, kTrue);
  EXPECT_EQ(checks, (std::vector<int32_t>{kImpulseView}));
  EXPECT_EQ(SingularityList[0].Count, 0);
}

TEST_F(FitRange, AccumulatingKeepsToTheStoredRange) {
  host.accumulate = true;
  StoreRange(50, 200);
  dialogs.ExpectMessage();
  ZoomTo(30.1, 149.9);
  ASSERT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{"User Error:UnCheck 'Accumulate' in Filters frame to begin a new session"}));
  EXPECT_EQ(FitRangeIs(), std::pair(50.0, 200.0));
  for (const GraphFrame* f : {&FitGraphFrame, &FreqGraphFrame}) EXPECT_EQ(std::pair(f->XStart, f->XFinish), std::pair(50, 200));
  EXPECT_TRUE(checks.empty());
  EXPECT_EQ(SingularityList[0].Count, 7);  // nothing forgotten
  EXPECT_EQ(host.lines.size(), 1u);

  // The upper end alone beyond the range is refused too.
  dialogs.ExpectMessage();
  ZoomTo(60.1, 249.9);
  EXPECT_EQ(host.fitMax, 200);

  // Inside the range the settings are checked, then the range follows the fit graph.
  ZoomTo(80.1, 149.9);
  EXPECT_EQ(checks, (std::vector<int32_t>{kFractOctView}));
  EXPECT_EQ(FitRangeIs(), std::pair(80.0, 150.0));
  EXPECT_EQ(FitGraphFrame.XStart, 80);

  // With no range stored (nor a set to hold one) the zoom is refused and nothing restored.
  for (int32_t set : {5, 40}) {
    host.fitSet = set;
    StoreRange(0, 0);
    dialogs.ExpectMessage();
    ZoomTo(100.1, 199.9);
    EXPECT_EQ(FitRangeIs(), std::pair(100.0, 200.0));
    EXPECT_EQ(FreqGraphFrame.XStart, 100);
  }
  EXPECT_EQ(checks.size(), 1u);
}

}  // namespace
}  // namespace zentor
