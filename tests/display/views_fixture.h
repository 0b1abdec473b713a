// The main graph's views without the main window: a host of plain fields and bare controls (so clamping and
// validation are the real ones), a recorder, and the start-up frames, colours and work arrays.
#pragma once

#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <optional>
#include <string>
#include <vector>

#include "core/records.h"
#include "core/work_arrays.h"
#include "curve_fixture.h"
#include "display/graph_frame.h"
#include "display/graph_host.h"
#include "display/plot_colours.h"
#include "display/view_state.h"
#include "platform/picture.h"
#include "platform/text_boxes.h"
#include "support/fixture.h"
#include "support/silent_set.h"

namespace zentor::test {

class RecordingHost : public GraphHost {
 public:
  RecordingHost() {
    slider.setRange(0, 2000);
    curveNoText.setText("1");
  }

  DrawingSurface& MainGraph() override {
    if (picture) return *picture;
    return rec;
  }
  void RepaintWindow() override { ++repaints; }
  bool IsBusy() const override { return busy; }
  void SetBusyFlag(bool b) override { busy = b; }
  void SelectViewButton(ViewButton b) override { view = b; }
  ViewButton SelectedViewButton() const override { return view; }
  void SelectAxisButton(bool log) override { logAxis = log; }
  void SelectGateRange(bool large) override {
    largeGate = large;
    const QSignalBlocker block(&slider);
    slider.setRange(large ? 1 : 0, 2000);
  }
  bool LargeGateSelected() const override { return largeGate; }
  void SetGateSlider(int32_t v) override {
    if (v < slider.minimum()) slider.setMinimum(v);
    if (v > slider.maximum()) slider.setMaximum(v);
    slider.setValue(v);
  }
  int32_t GateSliderPosition() const override { return slider.sliderPosition(); }
  void SetGateText(const std::string& text) override { gateText.setText(QString::fromStdString(text)); }
  bool ReadGateText(double min, double max, double& value) override {
    return ValidateNumericTextBox(&gateText, min, max, value);
  }
  bool NormTicked() const override { return norm; }
  bool ReadCurveNoText(double min, double max, double& value) override {
    return ValidateNumericTextBox(&curveNoText, min, max, value);
  }
  void SetCurveNoText(const std::string& text) override { curveNoText.setText(QString::fromStdString(text)); }
  int32_t DisplayResolution() const override { return displayRes; }
  void ShowListLines(std::span<const std::string> l) override { lines.assign(l.begin(), l.end()); }
  void ShowRubberBand(const DrawPoint& a, const DrawPoint& b, const Pen& pen) override {
    band = PictureBox::Overlay{a, b, pen};
    ++bandShows;
  }
  void HideRubberBand() override {
    if (band) ++bandHides;
    band.reset();
  }
  void SetFitRange(double minFreq, double maxFreq) override {
    fitMin = minFreq;
    fitMax = maxFreq;
  }
  bool AccumulateTicked() const override { return accumulate; }
  int32_t FitFilterSet() const override { return fitSet; }
  void SetMouseZero() override { ++mouseZeroCalls; }
  std::string GetDisplayRes() const override { return std::to_string(displayRes); }
  void SetDisplayRes(int32_t value) override {
    displayRes = value;
    ++displayResSets;
  }
  void InitializeProgress(int32_t n) override {
    progressMax = n;
    progressValue = 0;
    progressMaxima.push_back(n);
  }
  void IncrementProgress() override { ++progressValue; }
  void ClearProgress() override { progressValue = 0; }
  void SetAverageBox(bool ticked) override { avgBox = ticked; }
  bool MostSimilarFirst() const override { return mostSimilarFirst; }

  std::string GateText() const { return gateText.text().toStdString(); }

  RecordingSurface rec;
  PictureBox* picture = nullptr;  // drawn on instead of rec when set
  bool busy = false;
  ViewButton view = ViewButton::None;
  bool logAxis = true;
  bool largeGate = false;
  QSlider slider{Qt::Horizontal};
  QLineEdit gateText;
  QLineEdit curveNoText;
  bool norm = false;
  int32_t displayRes = 4;
  std::vector<std::string> lines;
  int repaints = 0;
  // Mouse zoom.
  std::optional<PictureBox::Overlay> band;
  int bandShows = 0, bandHides = 0;  // hides count only those that took a band away
  double fitMin = 0, fitMax = 0;
  bool accumulate = false;
  int32_t fitSet = 0;
  int mouseZeroCalls = 0;
  int displayResSets = 0;
  int32_t progressMax = 0;
  int32_t progressValue = 0;
  std::vector<int32_t> progressMaxima;  // every InitializeProgress, in order
  bool avgBox = false;
  bool mostSimilarFirst = true;
};

class ViewsTest : public ZentorTest {
 protected:
  void SetUp() override {
    ZentorTest::SetUp();
    AllocateWorkArrays(kWorkArrayPoints);
    SetDefaultGraphFrames();
    SetDefaultPlotColours();
    DisplayConfig.FFTSelected = kTrue;
    DisplayConfig.Graphshown = kImpulseView;
    CoOrdLockLimits = CoOrdLockLimitsRecord{-5, 25, 16, 20000, 20, -50, 16, 20000, 75, -10};
    RubberBandState.BoxErased = kTrue;
    SetDefaultMeasurementHeader(EQConfig);
    EQConfig.PeriodExponent = 17;
  }
  void TearDown() override {
    EXPECT_FALSE(host.busy) << "every view lets go of the host, whichever way it ended";
    FreeWorkArrays();
    ZentorTest::TearDown();
  }

  void LoadSet(int32_t n, int32_t fs, int32_t exponent, float impulseGate = 20.0f) {
    LoadSilentSet(n, fs, exponent, impulseGate);
  }
  // n results holding `amplitude` at time zero (50 ms in).
  void LoadDeltas(int32_t n, int32_t fs, int32_t exponent, float amplitude = 1.0f) {
    LoadSet(n, fs, exponent);
    for (int32_t i = 0; i < n; ++i) ImpulseSet[static_cast<size_t>(i)][static_cast<size_t>(fs / 20)] = amplitude;
  }
  std::vector<RecordingSurface::Call> CurvesIn(ColourRef colour) const { return test::CurvesIn(rec, colour); }
  bool HasText(const std::string& text) const { return test::HasText(rec, text); }
  std::vector<std::string> Messages() const { return dialogs.MessageTexts(); }
  std::string LastMessage() const { return dialogs.MessageTexts().empty() ? "" : dialogs.MessageTexts().back(); }
  // The message `act` ends with (one is expected).
  template <class F>
  std::string MessageOf(F act) {
    dialogs.ExpectMessage();
    act();
    return LastMessage();
  }

  RecordingHost host;
  RecordingSurface& rec = host.rec;
};

}  // namespace zentor::test
