// "Large Room": how sound decays in a room, from the loaded impulse responses. One
// of four views of the selected curve on the window's own graph: the impulse, its
// energy-time curve, the Schroeder integral of a curve pair, and RT60 in 30
// third-octave bands over all pairs. A right-button drag on the Schroeder view
// picks the time range the RT60 slopes are fitted over.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "display/graph_frame.h"
#include "platform/picture.h"
#include "tools/decay_analysis.h"
#include "tools/room_parameters.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace zentor {

class DataPlotter;

class DataIntegrityForm : public QWidget {
  Q_OBJECT
 public:
  enum class DecayView { Impulse, Energy, Schroeder, RT };

  DataIntegrityForm();

  // The main window's command: the caption, then the window shown modeless; the
  // first showing loads it.
  void ShowModeless(const std::string& caption);
  bool IsFormLoaded() const { return loaded_; }

  // ---- Window life --------------------------------------------------------------
  void Form_Load();
  void Form_Unload();
  void Form_Resize();

  // ---- The computation -----------------------------------------------------------
  int32_t CurveNumber = 1;  // 1-based
  int32_t DecayOrder = 0;   // log2 of the samples analysed
  int32_t DataRate = 0;     // Hz
  std::vector<float> DecayX, DecayY;
  int32_t DecayCount = 0;
  GraphFrame DecayFrame;
  std::string DecayTitle;
  float FitStartMs = 50, FitEndMs = 150;
  float RT60StartMs = 0, RT60EndMs = 0;
  std::array<float, kDecayBands> RT60CacheX{}, RT60CacheY{};
  int32_t RT60CacheCount = 0;
  std::array<float, 2001> BandPairCounts{};

  void ClearRTSixty();
  void Initialize(int32_t curveNumber, bool& ok);

  // What a computation did.
  enum class DecayRun { Done, Busy, Refused };
  DecayRun ComputeDecayView(int32_t curveNumber);
  void ShowDecayCurve(int32_t c);
  void ShowDecayView(int32_t c);
  void StartDecayProgress(QProgressBar* bar, int32_t maximum);
  void StepDecayProgress(QProgressBar* bar);
  void ClearDecayProgress(QProgressBar* bar);
  DecayView SelectedView() const;

  // ---- The graph -------------------------------------------------------------------
  void SetDecayAxisTitles();
  void SetDecayXRange();
  void SetDecayYRange();
  void DrawDecayFrame();
  void PlotDecayCurve(std::span<float> x, std::span<const float> y, int32_t count, ColourRef colour);
  void DrawDecayTitle(const std::string& title);
  void RedrawDecayGraph();
  // Positions in drawing units; false when the rectangle is refused.
  bool ZoomDecayGraph(float startX, float startY, float endX, float endY);
  void ResetDecayZoom();

  // Where the graph is drawn: Picture1 unless a test put a recorder in its place.
  DrawingSurface* GraphOverride = nullptr;

  // ---- Events ------------------------------------------------------------------------
  void ImpulseBut_Click();
  void EnergyBut_Click();
  void SchroederBut_Click();
  void RTBut_Click();
  void BPFilter_Click();
  void LFText_Change();
  void HFText_Change();
  void CurveNoText_KeyPress(int key);
  void LeftArrow_Click();
  void CurveNoText_Click();
  void RightArrow_Click();
  void Help_Click();
  void Picture1_MouseDown(int button, int shift, float x, float y);
  void Picture1_MouseMove(int button, int shift, float x, float y);
  void Picture1_MouseUp(int button, int shift, float x, float y);

  // ---- Room-acoustic parameters -------------------------------------------------------
  // The table beside the graph, shown while ParametersBut is ticked (kept in the
  // settings store), for the curve shown.
  RoomParameters Parameters;
  void ParametersBut_Click();
  void SaveParametersBut_Click();
  // Recomputes the table for CurveNumber when it is shown and not already current.
  void UpdateParametersTable();

  // ---- Controls ------------------------------------------------------------------------
  PictureBox* Picture1;
  QGroupBox *Frame1, *Frame2;
  QRadioButton *ImpulseBut, *EnergyBut, *SchroederBut, *RTBut;
  QPushButton *LeftArrow, *RightArrow, *Help;
  QLineEdit* CurveNoText;
  QCheckBox* BPFilter;
  QLineEdit *LFText, *HFText;
  QLabel *Label1, *Label2;
  QProgressBar* ProgressBar1;
  QCheckBox* ParametersBut;
  QTableWidget* ParametersTable;
  QPushButton* SaveParametersBut;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  DrawingSurface& Graph();
  void ComputeView(DecayView view, int32_t curveNumber);
  void ComputeRT();
  // The fit range as sample indices; false when it does not lie within the impulse.
  bool FitIndices(float startMs, float endMs, int32_t& i0, int32_t& i1) const;
  void SelectView(DecayView view);
  void StepCurve(int32_t step);
  void SetLargeRoomMenu(bool enabled);
  void EraseBand();
  void CreateParametersTable();
  // Beside the picture, as high as it; hidden with ParametersBut unticked.
  void PlaceParametersTable(int pictureHeight);
  static constexpr int kParametersWidth = 600;

  bool loaded_ = false;
  // The view whose curve DecayX and DecayY hold.
  DecayView shownView_ = DecayView::Impulse;
  // The rubber band's pen, chosen as its button went down.
  Pen bandPen_;
  // The curve the parameters table holds; 0 when it holds none.
  int32_t parametersCurve_ = 0;
  // Why the curve has no parameters; empty when the table holds them.
  std::string parametersError_;
};

}  // namespace zentor
