// "Waterfall Plot": 35 gated spectra of the loaded set stacked back to front, power
// averaged over the results, with or without the applied equaliser, and the
// slices of single results. A modeless window that hides when the user closes it
// and keeps its waterfall until the main window unloads it.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/waterfall_compute.h"
#include "tools/waterfall_drawing.h"

class QLabel;
class QLineEdit;
class QRadioButton;
class QToolButton;

namespace zentor {

class DataPlotter;
class PictureBox;

class ThreeDForm : public QWidget {
  Q_OBJECT
 public:
  ThreeDForm();
  ~ThreeDForm() override;

  // Recomputes what the main window's settings and filters call for, asking
  // first when the gate or the frequency limits changed, and shows the window.
  void Initialize(const std::string& fileName);
  std::string ClearThreeD();

  // Redraws a stored waterfall; nothing is recomputed.
  void ShowWaterfall(bool filtered);
  // The slices of one result (1-based) on the averaged unfiltered frame.
  void ShowCurveWaterfall(int32_t n);

  void Filter_Click();
  void Unfiltered_Click();
  void LeftArrowBut_Click();
  void RightArrowBut_Click();
  void CurveNoText_KeyPress(int key);
  void Form_Resize();
  void Form_Unload();

  PictureBox* Picture1;
  QRadioButton *Filter, *Unfiltered;
  QToolButton *LeftArrowBut, *RightArrowBut;
  QLineEdit* CurveNoText;
  QLabel* Label1;

  // ---- State ----
  WaterfallSliceSet UnfilteredSlices{};
  WaterfallSliceSet FilteredSlices{};
  WaterfallSliceSet CurveWorkSlices{};
  // Entry curve + 33 x slice, power; empty until the first unfiltered computation.
  std::vector<WaterfallSlice> CurveSliceStore;
  GraphFrame WaterfallAxes;
  WaterfallFrame UnfilteredFrame, FilteredFrame;
  WaterfallSettings StoredSettings, CurrentSettings;
  FilterSnapshot StoredFilters, CurrentFilters;
  int32_t CurveCount = 0;
  int32_t CurrentCurve = 1;
  // Computations run so far: unfiltered, filtered.
  std::array<int32_t, 2> Computations{};

 protected:
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  // The averaged slices into result and frame; false when nothing was computed
  // ("Error 5492" when the gate leaves no span, "Error 5487" on a fault).
  bool ComputeWaterfall(float gate, float lower, float upper, bool filtered, WaterfallSliceSet& result,
                        WaterfallFrame& frame);
  bool RunComputation(float gate, float span, bool filtered, WaterfallSliceSet& result);
  void CalibrateSlices(WaterfallSliceSet& slices) const;
  void SetAxesFrom(const WaterfallSliceSet& slices, float lower, float upper);
  void DrawStored(const WaterfallFrame& frame, const WaterfallSliceSet& slices, const std::string& title, bool quiet);
  void ShowWaterfallMenu(bool visible);
  DataPlotter* Main() const;

  // Per-result power levels of the running computation, result c from c x 35 x 2000.
  std::vector<float> curveLevels_;
  std::vector<float> responseRe_, responseIm_;
};

// Sets the main window's links to this window: the waterfall command, its picture
// for export and printing, and its unloading when the result set changes.
void InstallWaterfallLinks();

}  // namespace zentor
