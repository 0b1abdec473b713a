// Which view the main graph shows, the one redraw that every change goes through,
// the gate-time controls, the view buttons and menus, and the display accessors.
// Each operation that touches the panel or the picture takes the GraphHost of the
// window that shows the graph.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "core/records.h"
#include "display/graph_host.h"

namespace zentor {

// Windows of the views that are reached through these links until they exist
// here (display options and coordinate lock). Unset links do nothing.
struct ViewWindowLinks {
  std::function<void(int32_t)> ShowDisplayOptions;  // 3 time settings, 4 frequency settings
  std::function<void()> ShowCoOrdLock;
  std::function<void()> ShowWaterfallWindow;
};
extern ViewWindowLinks ViewWindowHooks;

// The builders DisplayResults hands each view to. Each takes FirstCurve as
// DisplayResults does; ShowImpulseCurve takes a 0-based result.
struct ViewBuilderTable {
  std::function<bool(GraphHost&, int32_t)> ShowMainImpulseSet;
  std::function<bool(GraphHost&, int32_t)> ShowPSDEnergy;
  std::function<void(GraphHost&, std::span<float> impulse, int32_t startIndex, float msBefore, int32_t sampleRate,
                     int32_t impulseShift, float level, float signalToNoise)>
      ShowLevelsImpulse;
  std::function<bool(GraphHost&, int32_t)> ShowFFTResponseSet;
  std::function<bool(GraphHost&, int32_t)> ShowFractOctResponseSet;
  std::function<bool(GraphHost&, int32_t)> ShowPsycResponseSet;
  std::function<bool(GraphHost&, int32_t)> ShowNoiseResponseSet;
  std::function<bool(GraphHost&, int32_t)> ShowModalResponseSet;
  std::function<void(GraphHost&, int32_t)> ShowImpulseCurve;
};
// The builders of this program; ViewBuilders starts with them.
ViewBuilderTable DefaultViewBuilders();
extern ViewBuilderTable ViewBuilders;

// The loaded set's header as it stood when the views were last brought up to date.
extern MeasurementHeader StaticConfig;
// The next DisplayResults recomputes every curve.
extern int16_t PlotterToUpdate;
// The filter fit includes the filters already applied.
extern int16_t IncludeFilters;
// Set together by SetChangeLevels; each frequency builder reads and clears its own.
extern int16_t FractOctLevelsChanged;
extern int16_t PsycLevelsChanged;
extern int16_t BodeLevelsChanged;

// ---- The redraw ----------------------------------------------------------------
// Every change of view, gate or setting ends here. FirstCurve: kRedrawFiledCurves,
// kRecomputeAllCurves, or k > 0 to keep slots 0..k-1.
void DisplayResults(GraphHost& host, int32_t FirstCurve);
// After a measurement was added: the frequency views compute only the newest curve,
// the other views show it alone.
void ShowResult(GraphHost& host);
void ShowNewGraphic(GraphHost& host);
void SetPlotterToUpdate();
void SetChangeLevels(int16_t v);

// Show one view, recomputing only when a setting it depends on moved.
void UpdateFFTDisplay(GraphHost& host);
void UpdateFractOctDisplay(GraphHost& host);
void UpdatePsycDisplay(GraphHost& host);
void UpdateModalDisplay(GraphHost& host);
void UpdateNoiseDisplay(GraphHost& host);
void UpdateImpulseDisplay(GraphHost& host);
// Notes the set's settings of that view in StaticConfig: its filed curves are current.
void RememberViewSettings(int32_t view);

// ---- Gate controls: the gate time of the view shown, held in the set's header ----
void UpdateGateControls(GraphHost& host);
void UpdateGateFromSlider(GraphHost& host);
float LimitGateToPeriod(float ms);
inline float ClampSmallGateTime(float x) { return x >= 1.0f ? x : 1.0f; }
void ApplyGateChange(GraphHost& host);

// ---- Event handlers of the view buttons and menus ---------------------------------
void TimeBut_Click(GraphHost& host);
void FreqBut_Click(GraphHost& host);
void NoiseBut_Click(GraphHost& host);
void ModalBut_Click(GraphHost& host);
void FractOct_Click(GraphHost& host);
void BodeFFT_Click(GraphHost& host);
void Psyc_Click(GraphHost& host);
void Impulse_Click(GraphHost& host);
void SNRatioMenu_Click(GraphHost& host);
void Waterfall_Click();
// True when results are loaded; otherwise tells the user the settings need data.
bool DataLoadedForSettings();
void TimeSettings_Click();
void FrequencyOptions_Click();
void CoOrdinateLocker_Click();
void Command4_Click();
void Slider1_Scroll(GraphHost& host);
void Slider1_Change(GraphHost& host);
void GateText_KeyPress(GraphHost& host, int key);

// ---- Accessors -------------------------------------------------------------------
// Scales the first 2^min(PeriodExponent, 17) samples of result `curve` (1-based)
// by dB; a real change marks every cached view stale and the set unsaved. False,
// nothing touched, for a curve outside the set.
bool ScaleResultLevel(int32_t curve, float dB);
// Every cached view whose levels follow the stored samples is recomputed when next shown.
void MarkLevelsChanged();
// ScaleResultLevel, then every curve of the view shown is recomputed.
void BoostCut(GraphHost& host, int32_t curve, float dB);
// After a result's levels changed: the noise and modal views, which have no change
// flag, recompute every curve when next shown.
void MarkNoiseAndModalCachesChanged();
int32_t GetPeriodLength();
int32_t GetNumberOfCurves();
std::string GetSampleRateOfDisplayData();
void IncludeExistingFiltersinFit(int32_t v);
int16_t GetIncludeFilters();
float GetFractOctRes();
float GetFractOctGateTime();
float GetBodeGateTime();
void RefreshPsycParms();
void RefreshOctParms();
void RefreshBodeParms();
void LoadStaticConfig();
void GetGraphShown(int32_t n);
// Appends (sample rate a, exponent b); false after refusing a 33rd spectrum.
bool ADDTOPSDParameters(int32_t& a, int32_t& b);
void RunFilter();
// The test-CD two-tone defaults into CDSignalParams.
void DefaultTwoToneTable();

}  // namespace zentor
