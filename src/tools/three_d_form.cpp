#include "tools/three_d_form.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <exception>

#include "base/text_number.h"
#include "display/curve_workers.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/graphics_export.h"
#include "mainwindow/main_window_links.h"
#include "mainwindow/measurement_file.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"
#include "platform/picture.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

constexpr size_t kImpulseLength = size_t{1} << kWaterfallOrder;
constexpr size_t kLevelsPerResult = size_t(kWaterfallSlices) * kWaterfallPoints;

// Designed layout, in twips.
constexpr double kDesignWidth = 12000;
constexpr double kDesignHeight = 10500;
constexpr double kControlHeight = 300;

void Place(QWidget* w, double left, double top, double width, double height) {
  w->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
}

// The main window's busy flag, set for the guard's life and cleared on every way out.
class BusyGuard {
 public:
  explicit BusyGuard(DataPlotter& main) : main_(main) { main_.SetBusy(kTrue); }
  ~BusyGuard() { main_.SetBusy(kFalse); }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;

 private:
  DataPlotter& main_;
};

void ClearSlices(WaterfallSliceSet& set) {
  for (WaterfallSlice& s : set) s = WaterfallSlice{};
}

WaterfallSlice& StoreEntry(std::vector<WaterfallSlice>& store, int32_t curve, int32_t slice) {
  return store[static_cast<size_t>(curve + kWaterfallStoreCurves * slice)];
}

}  // namespace

ThreeDForm::ThreeDForm() {
  // Owned by the main window, so it never keeps the program running on its own.
  if (Forms::IsLoaded<DataPlotter>()) setParent(Forms::Get<DataPlotter>(), Qt::Window);
  setObjectName("ThreeDForm");
  setWindowTitle("Waterfall Plot");
  Picture1 = new PictureBox(this);
  Picture1->setObjectName("Picture1");
  Filter = new QRadioButton("Filtered", this);
  Filter->setObjectName("Filter");
  Unfiltered = new QRadioButton("Unfiltered", this);
  Unfiltered->setObjectName("Unfiltered");
  Unfiltered->setChecked(true);
  LeftArrowBut = new QToolButton(this);
  LeftArrowBut->setObjectName("LeftArrowBut");
  LeftArrowBut->setArrowType(Qt::LeftArrow);
  CurveNoText = new QLineEdit("1", this);
  CurveNoText->setObjectName("CurveNoText");
  RightArrowBut = new QToolButton(this);
  RightArrowBut->setObjectName("RightArrowBut");
  RightArrowBut->setArrowType(Qt::RightArrow);
  Label1 = new QLabel("Averaged", this);
  Label1->setObjectName("Label1");

  const double row = kDesignHeight - kControlHeight - 500;
  Place(Picture1, 25, 0, kDesignWidth - 50, row);
  Place(Filter, 240, row, 1200, kControlHeight);
  Place(Unfiltered, 1560, row, 1320, kControlHeight);
  Place(LeftArrowBut, 3120, row + 30, 360, kControlHeight);
  Place(CurveNoText, 3540, row + 30, 600, kControlHeight);
  Place(RightArrowBut, 4200, row + 30, 360, kControlHeight);
  Place(Label1, 4800, row + 30, 1800, kControlHeight);
  resize(TwipsToPixels(kDesignWidth), TwipsToPixels(kDesignHeight));

  connect(Filter, &QRadioButton::clicked, this, [this] { Filter_Click(); });
  connect(Unfiltered, &QRadioButton::clicked, this, [this] { Unfiltered_Click(); });
  connect(LeftArrowBut, &QToolButton::clicked, this, [this] { LeftArrowBut_Click(); });
  connect(RightArrowBut, &QToolButton::clicked, this, [this] { RightArrowBut_Click(); });
  connect(CurveNoText, &QLineEdit::returnPressed, this, [this] { CurveNoText_KeyPress(13); });
}

ThreeDForm::~ThreeDForm() = default;

DataPlotter* ThreeDForm::Main() const { return Forms::Get<DataPlotter>(); }

void ThreeDForm::ShowWaterfallMenu(bool visible) {
  if (Forms::IsLoaded<DataPlotter>()) Main()->WaterfallGraphic->menuAction()->setVisible(visible);
}

// ---- Opening and computing ---------------------------------------------------------

void ThreeDForm::Initialize(const std::string& fileName) {
  DataPlotter& main = *Main();
  if (main.GetBusy()) return;
  BusyGuard busy(main);
  setWindowTitle(QString::fromStdString("Waterfall Plot /" + fileName));
  CurrentCurve = 1;
  if (ResultsDataSetInfo[0].NumInSet < 1) {
    ShowWaterfallMenu(true);
    show();
    raise();
    return;
  }

  bool recalculated = false;
  CurrentSettings = {main.GetFrequencyResponseGateTime(), main.GetFreqGridXMin(), main.GetFreqGridXMax()};
  if (!WaterfallSettingsEqual(CurrentSettings, StoredSettings)) {
    if (MsgBox(" Recalculate waterfall with new limits and/or gate time  ?", MsgButtons::YesNoCancel,
               MsgIcon::Exclamation, "Mirabelt Zentor") != MsgAnswer::Yes) {
      hide();
      return;
    }
    StoredSettings = CurrentSettings;
    recalculated = true;
    if (!ComputeWaterfall(StoredSettings.GateTime, StoredSettings.Lower, StoredSettings.Upper, false,
                          UnfilteredSlices, UnfilteredFrame)) {
      StoredSettings = WaterfallSettings{};  // the next opening asks again
      hide();
      return;
    }
  }

  SnapshotAppliedFilters(CurrentFilters);
  if (SnapshotCount(CurrentFilters) <= 0) {
    const int32_t n = std::clamp(UnfilteredSlices[0].Count, 0, kWaterfallSliceSize);
    for (size_t s = 0; s < kWaterfallSlices; ++s) {
      WaterfallSlice& to = FilteredSlices[s];
      const WaterfallSlice& from = UnfilteredSlices[s];
      std::copy_n(from.Freqs.begin(), n, to.Freqs.begin());
      std::copy_n(from.Levels.begin(), n, to.Levels.begin());
      to.Count = n;
    }
    // Filters applied again later must not find the copy filed as their result.
    CopyFilterSnapshot(CurrentFilters, StoredFilters);
    WaterfallAxes.XStart = UnfilteredFrame.XStart;
    WaterfallAxes.XFinish = UnfilteredFrame.XFinish;
    WaterfallAxes.YHigh = CLng(GetWaterfallPeakLevel(FilteredSlices, float(WaterfallAxes.XStart),
                                                     float(WaterfallAxes.XFinish)));
    WaterfallAxes.YLow = CLng(GetWaterfallFloorLevel(FilteredSlices));
    SetUpWaterfallFrame(WaterfallAxes, FilteredFrame, UnfilteredFrame.Span);
  } else if (!FilterSnapshotsEqual(CurrentFilters, StoredFilters) || recalculated) {
    CopyFilterSnapshot(CurrentFilters, StoredFilters);
    if (!ComputeWaterfall(StoredSettings.GateTime, StoredSettings.Lower, StoredSettings.Upper, true, FilteredSlices,
                          FilteredFrame))
      StoredFilters = FilterSnapshot{};  // computed again at the next opening
  }

  ShowWaterfallMenu(true);
  show();
  raise();
  activateWindow();
}

std::string ThreeDForm::ClearThreeD() {
  StoredSettings = WaterfallSettings{};
  CurrentSettings = WaterfallSettings{};
  ClearSlices(UnfilteredSlices);
  ClearSlices(FilteredSlices);
  return "";
}

bool ThreeDForm::ComputeWaterfall(float gate, float lower, float upper, bool filtered, WaterfallSliceSet& result,
                                  WaterfallFrame& frame) {
  ++Computations[filtered ? 1 : 0];
  DataPlotter& main = *Main();
  const int32_t n = std::clamp(ResultsDataSetInfo[0].NumInSet, 0, kMaxResults);
  CurveCount = n;
  const int32_t rate = ResultsDataSetInfo[0].SampleRate;
  const float span =
      WaterfallSpan(gate, rate, std::min(ResultsDataSetInfo[0].PeriodExponent, kMaxSamplesExponent));
  if (!(span > 0)) {
    MsgBox("Error 5492: Gate time too long for a waterfall of this impulse length");
    return false;
  }
  if (n < 1) return false;
  try {
    if (!RunComputation(gate, span, filtered, result)) {
      MsgBox("Error 5487");
      main.ClearProgressBar1();
      return false;
    }
  } catch (const std::exception&) {
    MsgBox("Error 5487");
    main.ClearProgressBar1();
    return false;
  }
  CalibrateSlices(result);
  SetAxesFrom(result, lower, upper);
  SetUpWaterfallFrame(WaterfallAxes, frame, span);
  DrawStored(frame, result, filtered ? "Filtered " : "Not Filtered ", false);
  return true;
}

bool ThreeDForm::RunComputation(float gate, float span, bool filtered, WaterfallSliceSet& result) {
  DataPlotter& main = *Main();
  const int32_t n = CurveCount;
  const int32_t rate = ResultsDataSetInfo[0].SampleRate;
  SliceGeometry g;
  if (!MakeSliceGeometry(rate, main.GetFFTSizeFromGateTime(gate, kWaterfallOrder, rate), gate, span, g)) return false;

  ClearSlices(result);
  main.InitializeProgressBar1(n);
  if (curveLevels_.empty()) curveLevels_.resize(size_t(kMaxResults) * kLevelsPerResult);
  if (!filtered && CurveSliceStore.empty()) CurveSliceStore.resize(size_t(kWaterfallStoreCurves) * kWaterfallSlices);
  std::span<const float> hRe, hIm;
  if (filtered) {
    responseRe_.resize(kImpulseLength);
    responseIm_.resize(kImpulseLength);
    const int32_t sections = FormEqualiserResponse(StoredFilters, rate, kWaterfallOrder, responseRe_, responseIm_);
    if (sections < 0) return false;
    // Flat filters leave the impulses exactly as they are.
    if (sections > 0) {
      hRe = responseRe_;
      hIm = responseIm_;
    }
  }
  std::array<float, kWaterfallSliceSize> freqs{};
  FillSliceFrequencies(g, freqs);
  const auto count = static_cast<size_t>(g.Count);

  // Fewer results than workers: each result's slices are shared out too, unless
  // every share would have to filter the whole impulse again.
  const int32_t parts = hRe.empty() ? std::clamp(CurveWorkerCount(kWaterfallSlices) / std::max(n, 1), 1, 5) : 1;
  std::vector<char> equalised(static_cast<size_t>(n) * static_cast<size_t>(parts), 1);
  bool faulted = false;
  const auto levelsOf = [&](int32_t c) {
    return std::span<float>(curveLevels_).subspan(static_cast<size_t>(c) * kLevelsPerResult, kLevelsPerResult);
  };
  ComputeAndFileInOrder(
      n * parts,
      [&](int32_t j, const WorkerScratch& scratch) {
        const int32_t c = j / parts, part = j % parts;
        equalised[size_t(j)] = ComputeCurveSlices(ImpulseSet[size_t(c)], g, hRe, hIm, levelsOf(c), scratch.A,
                                                  scratch.B, kWaterfallSlices * part / parts,
                                                  kWaterfallSlices * (part + 1) / parts)
                                   ? 1
                                   : 0;
      },
      [&](int32_t j, bool fault) {
        if (fault) {
          faulted = true;
          return false;
        }
        // A result is filed once its last share is done.
        if (j % parts != parts - 1) return true;
        const int32_t c = j / parts;
        if (!equalised[size_t(j)]) MsgBox("Error 3872");
        main.IncrementProgressBar1();
        const std::span<float> levels = levelsOf(c);
        for (int32_t s = 0; s < kWaterfallSlices; ++s) {
          const float* from = levels.data() + size_t(s) * kWaterfallPoints;
          if (!filtered) {
            WaterfallSlice& e = StoreEntry(CurveSliceStore, c, s);
            std::copy_n(from, count, e.Levels.begin());
            std::copy_n(freqs.begin(), count, e.Freqs.begin());
            if (s == 0) e.Count = g.Count;
          }
          WaterfallSlice& sum = result[size_t(s)];
          AddArray(sum.Levels, std::span<const float>(from, count), sum.Levels, g.Count);
        }
        main.ProgressBar1->repaint();
        return true;
      });
  if (faulted) return false;

  // Power average in dB.
  const auto average = static_cast<float>(10.0 * std::log10(double(n)));
  for (WaterfallSlice& s : result) {
    s.Count = g.Count;
    TenLogTenArray(s.Levels, g.Count);
    for (size_t i = 0; i < count; ++i) s.Levels[i] -= average;
  }
  main.ClearProgressBar1();
  for (WaterfallSlice& s : result) s.Freqs = freqs;
  return true;
}

void ThreeDForm::CalibrateSlices(WaterfallSliceSet& slices) const {
  const int32_t points = std::clamp(ActiveMicCal.Count, 0, kMaxMicCalPoints);
  if (points < 1) return;
  for (WaterfallSlice& s : slices)
    AmplitudeCalibration(s.Freqs, s.Levels, std::clamp(s.Count, 0, kWaterfallSliceSize), ActiveMicCal.Freq,
                         ActiveMicCal.Level, points);
}

void ThreeDForm::SetAxesFrom(const WaterfallSliceSet& slices, float lower, float upper) {
  WaterfallAxes.XStart = CLng(lower);
  WaterfallAxes.XFinish = CLng(upper);
  WaterfallAxes.YHigh =
      CLng(GetWaterfallPeakLevel(slices, float(WaterfallAxes.XStart), float(WaterfallAxes.XFinish)));
  WaterfallAxes.YLow = CLng(GetWaterfallFloorLevel(slices));
}

// ---- Drawing -------------------------------------------------------------------------

void ThreeDForm::DrawStored(const WaterfallFrame& frame, const WaterfallSliceSet& slices, const std::string& title,
                            bool quiet) {
  WaterfallFrame f = frame;
  if (!ComputeWaterfallScales(f, quiet)) {
    DrawWaterfallBackground(*Picture1);
    return;
  }
  DrawWaterfallFrame(f, *Picture1, StoredSettings.GateTime, title);
  DrawWaterfallSlices(f, *Picture1, slices);
}

void ThreeDForm::ShowWaterfall(bool filtered) {
  Label1->setText("Averaged");
  if (filtered)
    DrawStored(FilteredFrame, FilteredSlices, "Filtered", false);
  else
    DrawStored(UnfilteredFrame, UnfilteredSlices, "Not Filtered ", false);
}

void ThreeDForm::ShowCurveWaterfall(int32_t n) {
  const int32_t last = std::min(CurveCount, kWaterfallStoreCurves);
  if (n < 1 || n > last || CurveSliceStore.empty()) return;
  WaterfallFrame f = UnfilteredFrame;
  const bool scaled = ComputeWaterfallScales(f);
  if (scaled)
    DrawWaterfallFrame(f, *Picture1, StoredSettings.GateTime, "Curve No:" + std::to_string(n));
  else
    DrawWaterfallBackground(*Picture1);
  {
    const QSignalBlocker block(Unfiltered);
    Unfiltered->setChecked(true);
  }
  const int32_t count = std::clamp(StoreEntry(CurveSliceStore, n - 1, 0).Count, 0, kWaterfallSliceSize);
  for (int32_t s = 0; s < kWaterfallSlices; ++s) {
    const WaterfallSlice& from = StoreEntry(CurveSliceStore, n - 1, s);
    WaterfallSlice& to = CurveWorkSlices[size_t(s)];
    to.Count = count;
    std::copy_n(from.Levels.begin(), count, to.Levels.begin());
    std::copy_n(from.Freqs.begin(), count, to.Freqs.begin());
    TenLogTenArray(to.Levels, count);
  }
  CalibrateSlices(CurveWorkSlices);
  if (scaled) DrawWaterfallSlices(f, *Picture1, CurveWorkSlices);
}

// ---- Controls --------------------------------------------------------------------------

void ThreeDForm::Filter_Click() { ShowWaterfall(Filter->isChecked()); }
void ThreeDForm::Unfiltered_Click() { ShowWaterfall(Filter->isChecked()); }

void ThreeDForm::LeftArrowBut_Click() {
  if (--CurrentCurve < 1) CurrentCurve = CurveCount;
  CurveNoText->setText(QString::number(CurrentCurve));
  ShowCurveWaterfall(CurrentCurve);
  Label1->setText("Single Impulse");
}

void ThreeDForm::RightArrowBut_Click() {
  if (++CurrentCurve > CurveCount) CurrentCurve = 1;
  CurveNoText->setText(QString::number(CurrentCurve));
  ShowCurveWaterfall(CurrentCurve);
  Label1->setText("Single Impulse");
}

void ThreeDForm::CurveNoText_KeyPress(int key) {
  if (key != 13) return;
  double value = 0;
  if (!ValidateNumericTextBox(CurveNoText, 1, ResultsDataSetInfo[0].NumInSet, value)) return;
  CurrentCurve = CLng(value);
  ShowCurveWaterfall(CurrentCurve);
}

void ThreeDForm::Form_Resize() {
  const double w = PixelsToTwips(width());
  const double h = PixelsToTwips(height());
  const double pictureHeight = h - PixelsToTwips(Filter->height()) - 500;
  if (w - 50 <= 0 || pictureHeight <= 0) return;
  const QSize before = Picture1->size();
  Place(Picture1, 25, 0, w - 50, pictureHeight);
  const int top = Picture1->height();
  Filter->move(Filter->x(), top);
  Unfiltered->move(Unfiltered->x(), top);
  const int lower = top + CurveNoText->height() / 10;
  for (QWidget* c : {static_cast<QWidget*>(CurveNoText), static_cast<QWidget*>(LeftArrowBut),
                     static_cast<QWidget*>(RightArrowBut)})
    c->move(c->x(), lower);
  // A picture of unchanged size still shows what was drawn last.
  if (Picture1->size() == before || ResultsDataSetInfo[0].NumInSet < 1) return;
  if (Filter->isChecked())
    DrawStored(FilteredFrame, FilteredSlices, "Filtered", true);
  else
    DrawStored(UnfilteredFrame, UnfilteredSlices, "Not Filtered", true);
}

void ThreeDForm::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  Form_Resize();
}

void ThreeDForm::closeEvent(QCloseEvent* e) {
  // The user's close only hides the window; its waterfall stays for the next opening.
  if (e->spontaneous())
    e->ignore();
  else
    e->accept();
  ShowWaterfallMenu(false);
  hide();
}

void ThreeDForm::Form_Unload() {
  ShowWaterfallMenu(false);
  hide();
}

// ---- Links -----------------------------------------------------------------------------

void InstallWaterfallLinks() {
  MainWindowHooks.ShowThreeDForm = [](const std::string& fileName) { Forms::Get<ThreeDForm>()->Initialize(fileName); };
  GraphicsExportHooks.WaterfallPicture = []() -> PictureBox* { return Forms::Get<ThreeDForm>()->Picture1; };
  ExtDisplayHooks.UnloadThreeDForm = [] { return Forms::Unload<ThreeDForm>(); };
}

}  // namespace zentor
