// What the views need of the window that shows the main graph: its picture and
// the panel controls they read and set. The main window implements it; a view
// can be driven by any other host, so it is tested without the main window.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zentor {

class DrawingSurface;
struct DrawPoint;
struct Pen;

// The view option buttons of the panel: TimeBut, FreqBut, NoiseBut, ModalBut.
enum class ViewButton { None, Time, Freq, Noise, Modal };

class GraphHost {
 public:
  virtual ~GraphHost() = default;

  // Where the main graph is drawn.
  virtual DrawingSurface& MainGraph() = 0;
  // Repaints the window before a redraw starts.
  virtual void RepaintWindow() = 0;
  // Set while a single-curve view is computed: the redraw then does nothing.
  virtual bool IsBusy() const = 0;
  // Held by a single-curve view for its whole run.
  virtual void SetBusyFlag(bool busy) = 0;

  // Selecting a button here does not run its click handler.
  virtual void SelectViewButton(ViewButton b) = 0;
  virtual ViewButton SelectedViewButton() const = 0;
  // logbut when log, else LinBut.
  virtual void SelectAxisButton(bool log) = 0;

  // The gate strip: the range buttons SmallGate / Largegate, Slider1 and GateText.
  // Choosing the range sets the slider's range for it.
  virtual void SelectGateRange(bool large) = 0;
  virtual bool LargeGateSelected() const = 0;
  // Widens the slider's range when v lies outside it, so no stored gate is clamped.
  virtual void SetGateSlider(int32_t v) = 0;
  virtual int32_t GateSliderPosition() const = 0;
  virtual void SetGateText(const std::string& text) = 0;
  // GateText as a number within [min, max]; false after the user was told why not.
  virtual bool ReadGateText(double min, double max, double& value) = 0;

  // Norm ticked: the frequency views show normalised levels.
  virtual bool NormTicked() const = 0;
  // CurveNoText as a number within [min, max]; false after the user was told why not.
  virtual bool ReadCurveNoText(double min, double max, double& value) = 0;
  virtual void SetCurveNoText(const std::string& text) = 0;
  // Extra FFT length steps of the numerical options (log2).
  virtual int32_t DisplayResolution() const = 0;
  // Replaces the lines of the list box beside the graph (ModesList).
  virtual void ShowListLines(std::span<const std::string> lines) = 0;

  // ---- Mouse zoom ----
  // The rubber band: a rectangle (corners in drawing units) shown over the graph,
  // never drawn into it. Hiding it when none is shown does nothing.
  virtual void ShowRubberBand(const DrawPoint& a, const DrawPoint& b, const Pen& pen) = 0;
  virtual void HideRubberBand() = 0;
  // The frequency range of the filter fit and the modal analysis (MinFreq, MaxFreq).
  virtual void SetFitRange(double minFreq, double maxFreq) = 0;
  // AccCheck: the next fit adds to the filters already fitted.
  virtual bool AccumulateTicked() const = 0;
  // The filter set (SingularityList record) an accumulating fit adds to.
  virtual int32_t FitFilterSet() const = 0;
  // The window's normal mouse cursor again.
  virtual void SetMouseZero() = 0;
  // The display resolution as the numerical options show it, and setting it
  // (which empties the frequency views' curve caches).
  virtual std::string GetDisplayRes() const = 0;
  virtual void SetDisplayRes(int32_t value) = 0;
  // The progress bar beside the graph: n steps from 0, one step on, back to 0.
  // Each change shows at once, without running other events.
  virtual void InitializeProgress(int32_t n) = 0;
  virtual void IncrementProgress() = 0;
  virtual void ClearProgress() = 0;
  // Ticks or clears the avg box without running its click handler.
  virtual void SetAverageBox(bool ticked) = 0;
  // The order of the curve similarity listing: the most similar curve first.
  virtual bool MostSimilarFirst() const { return true; }
};

}  // namespace zentor
