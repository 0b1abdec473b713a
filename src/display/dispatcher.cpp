// Which view the main graph shows, the one redraw that every change goes
// through, the gate-time controls and the display accessors.
#include "display/dispatcher.h"

#include <algorithm>
#include <cmath>

#include "base/shared_state.h"
#include "base/text_number.h"
#include "core/records.h"
#include "core/results_store.h"
#include "core/test_signals.h"
#include "display/frequency_views.h"
#include "display/graph_frame.h"
#include "display/single_curve_views.h"
#include "display/time_views.h"
#include "display/view_state.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

ViewWindowLinks ViewWindowHooks;
ViewBuilderTable ViewBuilders = DefaultViewBuilders();
MeasurementHeader StaticConfig{};
int16_t PlotterToUpdate = 0;
int16_t IncludeFilters = 0;
int16_t FractOctLevelsChanged = 0;
int16_t PsycLevelsChanged = 0;
int16_t BodeLevelsChanged = 0;

namespace {

constexpr float kSmallGateLimit = 20.0f;  // ms: up to here the slider counts hundredths

// A builder's message box runs a nested event loop; a redraw asked for there
// would compute over the scratch the outer one is using.
bool inDisplayResults = false;
bool redrawQueued = false;
bool followUpRedraw = false;

SharedStateRegistrar g_reset([] {
  ViewWindowHooks = ViewWindowLinks{};
  ViewBuilders = DefaultViewBuilders();
  StaticConfig = MeasurementHeader{};
  PlotterToUpdate = IncludeFilters = 0;
  FractOctLevelsChanged = PsycLevelsChanged = BodeLevelsChanged = 0;
  inDisplayResults = redrawQueued = followUpRedraw = false;
});

MeasurementHeader& Set() { return ResultsDataSetInfo[0]; }

int32_t CacheCount(const CurveArray& curves) { return std::clamp<int32_t>(curves[0].NumCurves, 0, kCurveSlots); }

// 2^PeriodExponent held to what a result column holds.
int32_t StoredPeriodLength(int32_t exponent) { return 1 << std::clamp(exponent, 0, kMaxSamplesExponent); }

std::string WholeText(double v) { return FormatDouble(v); }

ViewButton ButtonOfView(int32_t view) {
  switch (view) {
    case kImpulseView:
    case kLevelsView: return ViewButton::Time;
    case kBodeView:
    case kFractOctView:
    case kPsycView: return ViewButton::Freq;
    case kNoiseView: return ViewButton::Noise;
    case kModalSliceView: return ViewButton::Modal;
    default: return ViewButton::None;
  }
}

}  // namespace

ViewBuilderTable DefaultViewBuilders() {
  ViewBuilderTable t;
  t.ShowMainImpulseSet = ShowMainImpulseSet;
  t.ShowPSDEnergy = ShowPSDEnergy;
  t.ShowLevelsImpulse = ShowLevelsImpulse;
  t.ShowFFTResponseSet = ShowFFTResponseSet;
  t.ShowFractOctResponseSet = ShowFractOctResponseSet;
  t.ShowPsycResponseSet = ShowPsycResponseSet;
  t.ShowNoiseResponseSet = ShowNoiseResponseSet;
  t.ShowModalResponseSet = ShowModalResponseSet;
  t.ShowImpulseCurve = ShowImpulseCurve;
  return t;
}

// ---- The redraw ----------------------------------------------------------------

void DisplayResults(GraphHost& host, int32_t FirstCurve) {
  if (host.IsBusy()) return;
  if (inDisplayResults) {
    redrawQueued = true;
    return;
  }
  if (PlotterToUpdate != 0) FirstCurve = kRecomputeAllCurves;
  PlotterToUpdate = 0;

  inDisplayResults = true;
  {
    WaitCursor hourglass;
    host.RepaintWindow();
    // The redraw takes the rubber band away, so a later press has none to erase.
    RubberBandState.BoxErased = kTrue;
    host.HideRubberBand();
    UpdateGateControls(host);

    if (FreqGraphFrame.XStart < 1) FreqGraphFrame.XStart = 1;
    if (FreqGraphFrame.XFinish < FreqGraphFrame.XStart + 1) FreqGraphFrame.XFinish = FreqGraphFrame.XStart + 1;

    const int32_t view = DisplayConfig.Graphshown;
    if (view == kLevelsView) {
      host.SelectAxisButton(false);
      FreqGraphFrame.LogX = kFalse;
    } else if (view == kBodeView || view == kModalSliceView || view == kNoiseView || view == kPsdView ||
               view == kFractOctView || view == kPsycView) {
      host.SelectAxisButton(FreqGraphFrame.LogX != 0);
    }
    const ViewBuilderTable& b = ViewBuilders;
    switch (view) {
      case kImpulseView:
        TimeGraphFrame.LogX = kFalse;
        if (b.ShowMainImpulseSet) b.ShowMainImpulseSet(host, FirstCurve);
        break;
      case kLevelsView: {
        const MeasurementHeader& h = LevelsCheckHeader;
        if (b.ShowLevelsImpulse)
          b.ShowLevelsImpulse(host, LevelsImpulse, CLng(0.05 * h.SampleRate), 10.0f, h.SampleRate, h.ImpulseShift,
                              h.PeakLevel, h.NoiseEnergy);
        break;
      }
      case kBodeView:
        if (b.ShowFFTResponseSet) b.ShowFFTResponseSet(host, FirstCurve);
        break;
      case kModalSliceView:
        if (b.ShowModalResponseSet) b.ShowModalResponseSet(host, FirstCurve);
        break;
      case kNoiseView:
        if (b.ShowNoiseResponseSet) b.ShowNoiseResponseSet(host, FirstCurve);
        break;
      case kPsdView:
        if (b.ShowPSDEnergy) b.ShowPSDEnergy(host, FirstCurve);
        break;
      case kFractOctView:
        if (b.ShowFractOctResponseSet) b.ShowFractOctResponseSet(host, FirstCurve);
        break;
      case kPsycView:
        if (b.ShowPsycResponseSet) b.ShowPsycResponseSet(host, FirstCurve);
        break;
      default: break;
    }
  }
  inDisplayResults = false;

  // One redraw of the filed curves makes up for the requests dropped meanwhile;
  // what its own nested loops ask for is dropped for good.
  if (redrawQueued && !followUpRedraw) {
    redrawQueued = false;
    followUpRedraw = true;
    DisplayResults(host, kRedrawFiledCurves);
    followUpRedraw = false;
  }
  redrawQueued = false;
}

void ShowResult(GraphHost& host) {
  const int32_t n = Set().NumInSet;
  if (n < 1 || n > kMaxResults) return;
  const int32_t view = DisplayConfig.Graphshown;
  if (view == kBodeView || view == kFractOctView || view == kPsycView)
    DisplayResults(host, KeepFiledCurves(n - 1));
  else if (ViewBuilders.ShowImpulseCurve)
    ViewBuilders.ShowImpulseCurve(host, n - 1);
}

void ShowNewGraphic(GraphHost& host) {
  switch (DisplayConfig.Graphshown) {
    case kBodeView: host.SelectViewButton(ViewButton::Freq); UpdateFFTDisplay(host); break;
    case kFractOctView: host.SelectViewButton(ViewButton::Freq); UpdateFractOctDisplay(host); break;
    case kPsycView: host.SelectViewButton(ViewButton::Freq); UpdatePsycDisplay(host); break;
    case kImpulseView: host.SelectViewButton(ViewButton::Time); UpdateImpulseDisplay(host); break;
    case kNoiseView: host.SelectViewButton(ViewButton::Noise); UpdateNoiseDisplay(host); break;
    default: break;
  }
}

void SetPlotterToUpdate() { PlotterToUpdate = kTrue; }

void SetChangeLevels(int16_t v) { FractOctLevelsChanged = PsycLevelsChanged = BodeLevelsChanged = v; }

// ---- Update*Display: redraw from the cache unless a setting moved --------------

void UpdateFFTDisplay(GraphHost& host) {
  MeasurementHeader& s = Set();
  if (host.SelectedViewButton() == ViewButton::Freq) {
    UpdateGateControls(host);
    DisplayConfig.Graphshown = kBodeView;
    DisplayResults(host, s.FreqRespGateTime == StaticConfig.FreqRespGateTime ? CacheCount(BodeCurves)
                                                                              : kRecomputeAllCurves);
  }
  StaticConfig.FreqRespGateTime = s.FreqRespGateTime;
}

void UpdateFractOctDisplay(GraphHost& host) {
  MeasurementHeader& s = Set();
  UpdateGateControls(host);
  DisplayConfig.Graphshown = kFractOctView;
  const bool same = s.FractOctRes == StaticConfig.FractOctRes && s.FractOctGateTime == StaticConfig.FractOctGateTime;
  DisplayResults(host, same ? CacheCount(FractOctCurves) : kRecomputeAllCurves);
  StaticConfig.FractOctRes = s.FractOctRes;
  StaticConfig.FractOctGateTime = s.FractOctGateTime;
}

void UpdatePsycDisplay(GraphHost& host) {
  MeasurementHeader& s = Set();
  UpdateGateControls(host);
  DisplayConfig.Graphshown = kPsycView;
  const MeasurementHeader& c = StaticConfig;
  const bool same = s.PsycGateTime == c.PsycGateTime && s.PsycLFResolution == c.PsycLFResolution &&
                    s.PsycShelfTime == c.PsycShelfTime && s.PsycShelfLevel == c.PsycShelfLevel;
  DisplayResults(host, same ? CacheCount(PsycCurves) : kRecomputeAllCurves);
  StaticConfig.PsycGateTime = s.PsycGateTime;
  StaticConfig.PsycLFResolution = s.PsycLFResolution;
  StaticConfig.PsycShelfTime = s.PsycShelfTime;
  StaticConfig.PsycShelfLevel = s.PsycShelfLevel;
  StaticConfig.PsycDataPoints = s.PsycDataPoints;
}

void UpdateModalDisplay(GraphHost& host) {
  MeasurementHeader& s = Set();
  UpdateGateControls(host);
  DisplayConfig.Graphshown = kModalSliceView;
  DisplayResults(host, s.ModalGateTime == StaticConfig.ModalGateTime ? CacheCount(ModalCurves) : kRecomputeAllCurves);
  StaticConfig.ModalGateTime = s.ModalGateTime;
}

void UpdateNoiseDisplay(GraphHost& host) {
  MeasurementHeader& s = Set();
  UpdateGateControls(host);
  DisplayConfig.Graphshown = kNoiseView;
  DisplayResults(host, s.NoiseGateTime == StaticConfig.NoiseGateTime ? CacheCount(NoiseCurves) : kRecomputeAllCurves);
  StaticConfig.NoiseGateTime = s.NoiseGateTime;
}

void UpdateImpulseDisplay(GraphHost& host) {
  MeasurementHeader& s = Set();
  UpdateGateControls(host);
  DisplayConfig.Graphshown = kImpulseView;
  DisplayResults(host, s.ImpulseGateTime == StaticConfig.ImpulseGateTime ? CacheCount(ImpulseCurves)
                                                                          : kRecomputeAllCurves);
  StaticConfig.ImpulseGateTime = s.ImpulseGateTime;
}

void RememberViewSettings(int32_t view) {
  const MeasurementHeader& s = Set();
  MeasurementHeader& c = StaticConfig;
  switch (view) {
    case kModalSliceView: c.ModalGateTime = s.ModalGateTime; break;
    case kNoiseView: c.NoiseGateTime = s.NoiseGateTime; break;
    case kImpulseView: c.ImpulseGateTime = s.ImpulseGateTime; break;
    case kBodeView: c.FreqRespGateTime = s.FreqRespGateTime; break;
    case kFractOctView:
      c.FractOctRes = s.FractOctRes;
      c.FractOctGateTime = s.FractOctGateTime;
      break;
    case kPsycView:
      c.PsycGateTime = s.PsycGateTime;
      c.PsycLFResolution = s.PsycLFResolution;
      c.PsycShelfTime = s.PsycShelfTime;
      c.PsycShelfLevel = s.PsycShelfLevel;
      c.PsycDataPoints = s.PsycDataPoints;
      break;
    default: break;  // the levels and noise-energy views cache nothing under a setting
  }
}

// ---- Gate controls --------------------------------------------------------------

namespace {

// The gate field the slider and GateText edit for the view shown, or null.
float* GateField(bool fromSlider) {
  MeasurementHeader& s = Set();
  switch (DisplayConfig.Graphshown) {
    case kImpulseView: return &s.ImpulseGateTime;
    case kLevelsView: return fromSlider ? &s.ImpulseGateTime : nullptr;
    case kBodeView: return DisplayConfig.FFTSelected != 0 ? &s.FreqRespGateTime : nullptr;
    case kFractOctView: return DisplayConfig.FractOctSelected != 0 ? &s.FractOctGateTime : nullptr;
    case kModalSliceView: return &s.ModalGateTime;
    case kNoiseView: return &s.NoiseGateTime;
    default: return nullptr;
  }
}

bool PsycGateShown() { return DisplayConfig.Graphshown == kPsycView && DisplayConfig.PsycSelected != 0; }

}  // namespace

void UpdateGateControls(GraphHost& host) {
  if (PsycGateShown()) {
    host.SetGateText("N/A");
    return;
  }
  const float* field = GateField(false);
  if (!field) return;
  const float g = *field;
  if (g > kSmallGateLimit) {
    host.SelectGateRange(true);
    host.SetGateSlider(CLng(g));
    host.SetGateText(WholeText(Fix(g)));
  } else {
    host.SelectGateRange(false);
    const double hundredths = Fix(static_cast<float>(g * 100.0f));
    host.SetGateSlider(CLng(hundredths));
    host.SetGateText(WholeText(hundredths / 100));
  }
}

void UpdateGateFromSlider(GraphHost& host) {
  if (PsycGateShown()) {
    host.SetGateText("N/A");
    return;
  }
  float* field = GateField(true);
  if (!field) return;
  if (host.LargeGateSelected()) {
    const float g = LimitGateToPeriod(static_cast<float>(host.GateSliderPosition()));
    *field = g;
    host.SetGateText(WholeText(Fix(g)));
  } else {
    const float g = ClampSmallGateTime(static_cast<float>(host.GateSliderPosition() * 0.01));
    *field = g;
    host.SetGateText(WholeText(Fix(static_cast<float>(g * 100.0f)) / 100));
  }
}

float LimitGateToPeriod(float ms) {
  const double fs = Set().SampleRate;
  const double period = StoredPeriodLength(Set().PeriodExponent);
  float g = ms;
  const float needed = static_cast<float>(ms * 0.001 * fs * 1.5 + 0.05 * fs);
  // Whole milliseconds, cut down: the nearest one can overrun the period.
  if (fs > 0 && needed > period) g = static_cast<float>(std::floor((period - 0.05 * fs) * 1000.0 / (1.5 * fs)));
  if (g < 1.0f) g = 1.0f;
  return g;
}

void ApplyGateChange(GraphHost& host) {
  UpdateGateFromSlider(host);
  switch (DisplayConfig.Graphshown) {
    case kModalSliceView: UpdateModalDisplay(host); break;
    case kNoiseView: UpdateNoiseDisplay(host); break;
    case kImpulseView: UpdateImpulseDisplay(host); break;
    case kBodeView: UpdateFFTDisplay(host); break;
    case kFractOctView: UpdateFractOctDisplay(host); break;
    case kPsycView: UpdatePsycDisplay(host); break;
    case kPsdView: DisplayResults(host, CacheCount(PsdCurves)); break;
    default: break;
  }
  // Only the view shown is up to date: the other views' settings stay as their
  // curves were computed, or a cache filed under another gate would pass as current.
  RememberViewSettings(DisplayConfig.Graphshown);
}

void Slider1_Scroll(GraphHost& host) { UpdateGateFromSlider(host); }

void Slider1_Change(GraphHost& host) { ApplyGateChange(host); }

void GateText_KeyPress(GraphHost& host, int key) {
  if (key != 13) return;
  double v = 0;
  if (!host.ReadGateText(2, 2000, v)) return;
  const bool large = v >= 20;
  const int32_t position = large ? CLng(v) : CLng(v * 100);
  host.SelectGateRange(large);
  host.SetGateSlider(position);
  ApplyGateChange(host);
  // The redraw refreshed the controls from the stored gate; a typed 20 ms keeps
  // the large range the user asked for rather than flipping to 2000 hundredths.
  const float* field = GateField(true);
  if (field && *field == static_cast<float>(v)) {
    host.SelectGateRange(large);
    host.SetGateSlider(position);
  }
}

// ---- View buttons and menus ----------------------------------------------------

void TimeBut_Click(GraphHost& host) {
  const int16_t showETC = ImpulseDisplayConfig.ShowETC;
  ImpulseDisplayConfig.ShowETC = kFalse;
  host.SelectViewButton(ViewButton::Time);
  DisplayConfig.Graphshown = kImpulseView;
  DisplayResults(host, kRecomputeAllCurves);
  ImpulseDisplayConfig.ShowETC = showETC != 0 ? kTrue : kFalse;
  UpdateGateControls(host);
}

void FreqBut_Click(GraphHost& host) {
  host.SelectViewButton(ViewButton::Freq);
  if (DisplayConfig.PsycSelected != 0) {
    DisplayConfig.Graphshown = kPsycView;
    UpdatePsycDisplay(host);
  } else if (DisplayConfig.FractOctSelected != 0) {
    DisplayConfig.Graphshown = kFractOctView;
    UpdateFractOctDisplay(host);
  } else if (DisplayConfig.FFTSelected != 0) {
    DisplayConfig.Graphshown = kBodeView;
    UpdateFFTDisplay(host);
  } else {
    MsgBox("Error 5429");
    // The view did not change, so neither does the button that names it; a view
    // with no button of its own (the spectral density) shows none selected.
    host.SelectViewButton(ButtonOfView(DisplayConfig.Graphshown));
  }
}

void NoiseBut_Click(GraphHost& host) {
  host.SelectViewButton(ViewButton::Noise);
  DisplayConfig.Graphshown = kNoiseView;
  DisplayResults(host, CacheCount(NoiseCurves));
}

void ModalBut_Click(GraphHost& host) {
  DisplayConfig.Graphshown = kModalSliceView;
  DisplayResults(host, CacheCount(ModalCurves));
}

void FractOct_Click(GraphHost& host) {
  DisplayConfig.Graphshown = kFractOctView;
  ShowNewGraphic(host);
}

void BodeFFT_Click(GraphHost& host) {
  DisplayConfig.Graphshown = kBodeView;
  ShowNewGraphic(host);
}

void Psyc_Click(GraphHost& host) {
  DisplayConfig.Graphshown = kPsycView;
  ShowNewGraphic(host);
}

void Impulse_Click(GraphHost& host) {
  DisplayConfig.Graphshown = kImpulseView;
  ShowNewGraphic(host);
}

void SNRatioMenu_Click(GraphHost& host) { NoiseBut_Click(host); }

void Waterfall_Click() {
  if (ViewWindowHooks.ShowWaterfallWindow) ViewWindowHooks.ShowWaterfallWindow();
}

bool DataLoadedForSettings() {
  if (ResultsDataSetInfo[0].NumInSet >= 1) return true;
  MsgBox(" Data must be loaded before parameters can be set", MsgButtons::OK, MsgIcon::Exclamation,
         "Mirabelt Zentor");
  return false;
}

void TimeSettings_Click() {
  if (DataLoadedForSettings() && ViewWindowHooks.ShowDisplayOptions) ViewWindowHooks.ShowDisplayOptions(3);
}

void FrequencyOptions_Click() {
  if (DataLoadedForSettings() && ViewWindowHooks.ShowDisplayOptions) ViewWindowHooks.ShowDisplayOptions(4);
}

void CoOrdinateLocker_Click() {
  if (ViewWindowHooks.ShowCoOrdLock) ViewWindowHooks.ShowCoOrdLock();
}

void Command4_Click() { CoOrdinateLocker_Click(); }

// ---- Accessors -------------------------------------------------------------------

bool ScaleResultLevel(int32_t curve, float dB) {
  const MeasurementHeader& s = Set();
  if (curve < 1 || curve > std::min(s.NumInSet, kMaxResults)) return false;
  if (dB == 0) return true;
  const int32_t n = StoredPeriodLength(s.PeriodExponent);
  const float gain = static_cast<float>(std::pow(10.0, dB / 20.0));
  auto& column = ImpulseSet[static_cast<size_t>(curve - 1)];
  for (int32_t i = 0; i < n; ++i) column[static_cast<size_t>(i)] *= gain;
  MarkLevelsChanged();
  // The stored samples changed: leaving without saving must ask.
  if (ResultsStoreHooks.MarkResultsUnsaved) ResultsStoreHooks.MarkResultsUnsaved();
  return true;
}

void MarkLevelsChanged() {
  SetChangeLevels(kTrue);
  MarkNoiseAndModalCachesChanged();
}

void BoostCut(GraphHost& host, int32_t curve, float dB) {
  if (ScaleResultLevel(curve, dB)) DisplayResults(host, kRecomputeAllCurves);
}

void MarkNoiseAndModalCachesChanged() {
  // An empty count makes the next showing of either view compute every curve.
  for (CurveArray* a : {&NoiseCurves, &ModalCurves})
    for (CurveRecord& r : *a) r.NumCurves = 0;
}

int32_t GetPeriodLength() { return Set().PeriodExponent; }

int32_t GetNumberOfCurves() { return Set().NumInSet; }

std::string GetSampleRateOfDisplayData() {
  return std::to_string(Set().NumInSet >= 1 ? Set().SampleRate : EQConfig.SampleRate);
}

void IncludeExistingFiltersinFit(int32_t v) {
  if (v == 0) IncludeFilters = kFalse;
  if (v == 1) IncludeFilters = kTrue;
}

int16_t GetIncludeFilters() { return IncludeFilters; }

float GetFractOctRes() { return Set().NumInSet >= 1 ? Set().FractOctRes : EQConfig.FractOctRes; }

float GetFractOctGateTime() { return Set().NumInSet >= 1 ? Set().FractOctGateTime : EQConfig.FractOctGateTime; }

float GetBodeGateTime() { return Set().NumInSet >= 1 ? Set().FreqRespGateTime : EQConfig.FreqRespGateTime; }

void RefreshPsycParms() {
  MeasurementHeader& s = Set();
  s.PsycLFResolution = EQConfig.PsycLFResolution;
  s.PsycGateTime = EQConfig.PsycGateTime;
  s.PsycShelfTime = EQConfig.PsycShelfTime;
  s.PsycShelfLevel = EQConfig.PsycShelfLevel;
  s.PsycDataPoints = EQConfig.PsycDataPoints;
}

void RefreshOctParms() {
  MeasurementHeader& s = Set();
  s.FractOctRes = EQConfig.FractOctRes;
  s.FractOctGateTime = EQConfig.FractOctGateTime;
  s.FractOctPoints = EQConfig.FractOctPoints;
}

void RefreshBodeParms() { Set().FreqRespGateTime = EQConfig.FreqRespGateTime; }

void LoadStaticConfig() { CopyMeasurementHeader(Set(), StaticConfig); }

void GetGraphShown(int32_t n) {
  switch (n) {
    case kBodeView: MsgBox("Graph = FREQRESPSHOWN "); break;
    case kFractOctView: MsgBox("Graph = FRACTOCTSHOWN "); break;
    case kPsycView: MsgBox("Graph = PSYCHOACOUSTICSHOWN  "); break;
    case kImpulseView: MsgBox("Graph = IMPULSESHOWN "); break;
    case kNoiseView: MsgBox("Graph = NOISESHOWN  "); break;
    default: break;
  }
}

bool ADDTOPSDParameters(int32_t& a, int32_t& b) {
  const int32_t k = PsdParameters[0].Count;
  if (k < 0 || k >= kMaxPsdSpectra) {
    MsgBox("User Error: only 32 curves can be stored at once. Delete one to continue.");
    return false;
  }
  PsdParameters[static_cast<size_t>(k)].Exponent = b;
  PsdParameters[static_cast<size_t>(k)].SampleRate = a;
  PsdParameters[0].Count = k + 1;
  PsdRecordingPending = true;
  return true;
}

void RunFilter() { MsgBox("Run Filter"); }

void DefaultTwoToneTable() {
  TestCDSettings& p = CDSignalParams;
  p.ToneCount = 20;
  p.SampleRate = 44100;
  p.Amplitude = 15000.0f;
  p.Order = 16;
  p.Shaping = 5.0f;
  p.FirstToneFreqA = 10000.0f;
  p.FirstToneFreqB = 10250.0f;
  p.ToneSpacing = 500.0f;
  for (int i = 0; i < kTestCDToneSlots; ++i) {
    p.LeftToneBins[static_cast<size_t>(i)] = CLng(65536.0 * (10250.0 + 500.0 * i) / 44100.0);
    p.RightToneBins[static_cast<size_t>(i)] = CLng(65536.0 * (10000.0 + 500.0 * i) / 44100.0);
  }
}

}  // namespace zentor
