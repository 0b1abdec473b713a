// A host for the main graph's views with no window: the views draw into a
// recorder, the panel reads as its defaults (no normalising, the default display
// resolution), and every control it would set is let go. The command line
// computes views through it exactly as the main window does.
#pragma once

#include "display/graph_host.h"
#include "platform/picture.h"

namespace zentor {

class PlainGraphHost : public GraphHost {
 public:
  explicit PlainGraphHost(int32_t displayResolution = 4) : displayRes_(displayResolution) {}

  DrawingSurface& MainGraph() override { return graph_; }
  void RepaintWindow() override {}
  bool IsBusy() const override { return busy_; }
  void SetBusyFlag(bool busy) override { busy_ = busy; }
  void SelectViewButton(ViewButton b) override { button_ = b; }
  ViewButton SelectedViewButton() const override { return button_; }
  void SelectAxisButton(bool) override {}
  void SelectGateRange(bool large) override { largeGate_ = large; }
  bool LargeGateSelected() const override { return largeGate_; }
  void SetGateSlider(int32_t v) override { slider_ = v; }
  int32_t GateSliderPosition() const override { return slider_; }
  void SetGateText(const std::string&) override {}
  bool ReadGateText(double, double, double&) override { return false; }
  bool NormTicked() const override { return false; }
  bool ReadCurveNoText(double, double, double&) override { return false; }
  void SetCurveNoText(const std::string&) override {}
  int32_t DisplayResolution() const override { return displayRes_; }
  void ShowListLines(std::span<const std::string>) override {}
  void ShowRubberBand(const DrawPoint&, const DrawPoint&, const Pen&) override {}
  void HideRubberBand() override {}
  void SetFitRange(double, double) override {}
  bool AccumulateTicked() const override { return false; }
  int32_t FitFilterSet() const override { return 0; }
  void SetMouseZero() override {}
  std::string GetDisplayRes() const override { return std::to_string(displayRes_); }
  void SetDisplayRes(int32_t value) override { displayRes_ = value; }
  void InitializeProgress(int32_t) override {}
  void IncrementProgress() override {}
  void ClearProgress() override {}
  void SetAverageBox(bool) override {}

 private:
  RecordingSurface graph_;
  int32_t displayRes_;
  bool busy_ = false;
  bool largeGate_ = false;
  int32_t slider_ = 0;
  ViewButton button_ = ViewButton::None;
};

}  // namespace zentor
