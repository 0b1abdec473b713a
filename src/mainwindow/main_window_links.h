// The windows and operations the main window's commands open or call, which live
// in the layers above it. Each is set at start-up by the code that provides it;
// a control whose action needs an unset link stays disabled (see
// LinkedControlTable), and a link reached from an enabled control does nothing
// while unset.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "core/records.h"

namespace zentor {

struct MainWindowLinks {
  // ---- Measurement window and sound card ----
  std::function<void()> RunMainTest;     // starts one response measurement
  std::function<void()> RunLevelsCheck;  // starts the levels check
  std::function<void()> ResetSound;      // stops streaming and clears SoundCardBusy
  // Shows the measurement window modeless; false when it could not be shown.
  std::function<bool()> ShowAudioForm;
  std::function<void()> UnloadAudioForm;
  // Fills the device list and tests the rates; false when the set-up failed.
  std::function<bool()> SetUpSoundCardSelection;
  std::function<void()> ShowSoundCardSelector;  // prepares and shows the sound-card window
  std::function<void()> ShowMicCalForm;

  // ---- Analysers and special measurements (each shown modally) ----
  std::function<void()> ShowRTAEQ;
  std::function<void()> ShowRTAImp;
  std::function<void()> ShowSPLLevelForm;
  std::function<void()> ShowDistForm;
  std::function<void()> ShowCDTest;
  std::function<void()> TestCDMake_Click;

  // ---- Analysis views and curve tools ----
  // Computes and shows the waterfall of the named result file.
  std::function<void(const std::string& resultFileName)> ShowThreeDForm;
  // Shows the large-room window modeless under the given caption.
  std::function<void(const std::string& caption)> ShowDataIntegrityForm;
  // Prepares the file-operations window in a mode (4 differences, 5 arrange
  // curves, 6 resample, 7 compress) and shows it modally when it accepts.
  std::function<void(int32_t mode)> OpenMathForm;
  std::function<void(int32_t curve)> ShowExportPCM;  // curve: 1-based
  std::function<void()> ShowImportWave;
  std::function<void()> ShowLevels;

  // ---- Equaliser design ----
  std::function<void()> ShowNewEQControl;      // the dialog that adds one filter by hand
  std::function<void()> ShowNumericalOptions;  // prepares and shows the numerical options
  std::function<void()> ShowEQOpt;             // prepares and shows the emulator options
  std::function<void()> ShowFitLimits;         // the boost limit, filter budget and target
  std::function<void()> PolishFilters;
  std::function<void()> NewFilter_Click;
  std::function<void()> EQEmulation_Click;
  std::function<void()> FitFilter_Click;
  std::function<void()> AddFilter_Click;
  std::function<void()> PolishFilter_Click;
  std::function<void()> AllCurves_Click;
  std::function<void()> QuickFit_Click;
  std::function<void()> FitFiltersBut_Click;
  std::function<void()> TextEQ_Click;
  std::function<void()> CompModes_Click;
  std::function<void()> ApplyAllModes_Click;  // every listed mode into the applied filters
  std::function<void(int32_t row)> ModesList_Click;
  // Fills ModesListContents and ModesList from the set of one curve (0-based).
  std::function<bool(int32_t curveIndex)> CheckForCurveSingularities;
  // Draws the equaliser-corrected response of one curve (0-based index).
  // fitStored receives the corrected curve.
  std::function<void(CurveRecord& fitInput, CurveRecord& fitStored, SingularityListRecord& set, int32_t index)>
      ShowCorrectedResponse;
  // Opens the filter editor for the line selected in AppliedFilterListBox.
  std::function<void()> AppliedFilterListBox_Click;
  // What a note on the applied set says when it boosts past the fit limits'
  // Max boost in all; empty when it does not.
  std::function<std::string()> AppliedSetOverLimitNote;
  // Sort one set's parallel arrays together: by frequency, by Q, by level.
  std::function<void(SingularityListRecord& set, bool ascending)> SortFilterSetByKey1;
  std::function<void(SingularityListRecord& set, bool ascending)> SortFilterSetByKey2;
  std::function<void(SingularityListRecord& set, bool ascending)> SortFilterSetByKey4;

  // ---- Crossover model ----
  std::function<void()> Xover_Click;

  // ---- Single-curve views ----
  std::function<void(int32_t n)> ShowCurveView;  // n: 1-based
};
extern MainWindowLinks MainWindowHooks;

// One control of the main window whose action needs a link: the control's
// object name, the link's name, what is missing while it is unset (worded for
// the user), and whether the play/record switch also governs it.
struct LinkedControlRow {
  std::string_view control;
  std::string_view link;
  std::string_view missing;
  bool (*isSet)(const MainWindowLinks&);
  bool playRecord = false;
};

// Every such control, menu entries and panel controls alike.
std::span<const LinkedControlRow> LinkedControlTable();

}  // namespace zentor
