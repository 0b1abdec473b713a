#include "mainwindow/main_window_links.h"

#include <array>

#include "base/shared_state.h"

namespace zentor {

MainWindowLinks MainWindowHooks;

namespace {

SharedStateRegistrar g_reset([] { MainWindowHooks = MainWindowLinks{}; });

template <auto Member>
bool IsSet(const MainWindowLinks& l) {
  return static_cast<bool>(l.*Member);
}

using L = MainWindowLinks;

constexpr std::string_view kMeasure = "measuring through the sound card";
constexpr std::string_view kLevels = "the levels check through the sound card";
constexpr std::string_view kAudioWindow = "the measurement window";
constexpr std::string_view kFit = "fitting filters to a response";

constexpr std::array kRows = {
    LinkedControlRow{"Command1", "RunMainTest", kMeasure, &IsSet<&L::RunMainTest>, true},
    LinkedControlRow{"Command2", "RunLevelsCheck", kLevels, &IsSet<&L::RunLevelsCheck>, true},
    LinkedControlRow{"Command3", "ResetSound", "stopping a sound-card run", &IsSet<&L::ResetSound>, true},
    LinkedControlRow{"Response", "RunMainTest", kMeasure, &IsSet<&L::RunMainTest>},
    LinkedControlRow{"LevelTest", "RunLevelsCheck", kLevels, &IsSet<&L::RunLevelsCheck>},
    LinkedControlRow{"NewMeasMenue", "ShowAudioForm", kAudioWindow, &IsSet<&L::ShowAudioForm>},
    LinkedControlRow{"NewTestWindow", "ShowAudioForm", kAudioWindow, &IsSet<&L::ShowAudioForm>},
    LinkedControlRow{"EQSetUpRTAMenue", "ShowRTAEQ", "the real-time analyser for setting an equaliser",
                     &IsSet<&L::ShowRTAEQ>},
    LinkedControlRow{"ImpulseRTA", "ShowRTAImp", "the impulse real-time analyser", &IsSet<&L::ShowRTAImp>},
    LinkedControlRow{"SPLMeasurement", "ShowSPLLevelForm", "the SPL meter", &IsSet<&L::ShowSPLLevelForm>},
    LinkedControlRow{"DistortionMeas", "ShowDistForm", "the distortion measurement", &IsSet<&L::ShowDistForm>},
    LinkedControlRow{"CDTestMeasure", "ShowCDTest", "measuring from a test CD", &IsSet<&L::ShowCDTest>},
    LinkedControlRow{"TestCDMake", "TestCDMake_Click", "writing a test CD", &IsSet<&L::TestCDMake_Click>},
    LinkedControlRow{"SoundCard", "ShowSoundCardSelector", "choosing the sound card and sample rate",
                     &IsSet<&L::ShowSoundCardSelector>},
    LinkedControlRow{"MicCalibration", "ShowMicCalForm", "microphone calibration", &IsSet<&L::ShowMicCalForm>},
    LinkedControlRow{"ThreeDBut", "ShowThreeDForm", "the waterfall", &IsSet<&L::ShowThreeDForm>},
    LinkedControlRow{"Waterfall", "ShowThreeDForm", "the waterfall", &IsSet<&L::ShowThreeDForm>},
    LinkedControlRow{"DataIntegrity", "ShowDataIntegrityForm", "the large-room decay analysis",
                     &IsSet<&L::ShowDataIntegrityForm>},
    LinkedControlRow{"ExportAsPCM", "ShowExportPCM", "exporting an impulse as WAV, PCM or RAW",
                     &IsSet<&L::ShowExportPCM>},
    LinkedControlRow{"ImportWave", "ShowImportWave", "importing a WAV file as an impulse",
                     &IsSet<&L::ShowImportWave>},
    LinkedControlRow{"AdjustLevels", "ShowLevels", "adjusting the level of one curve", &IsSet<&L::ShowLevels>},
    LinkedControlRow{"ShowDifferences", "OpenMathForm", "showing the differences between curves",
                     &IsSet<&L::OpenMathForm>},
    LinkedControlRow{"ArrangeCurves", "OpenMathForm", "arranging the curves of a set", &IsSet<&L::OpenMathForm>},
    LinkedControlRow{"Compress", "OpenMathForm", "compressing a result file", &IsSet<&L::OpenMathForm>},
    LinkedControlRow{"Resample", "OpenMathForm", "resampling a result set", &IsSet<&L::OpenMathForm>},
    LinkedControlRow{"NewEQFilter", "ShowNewEQControl", "adding an equaliser control by hand",
                     &IsSet<&L::ShowNewEQControl>},
    LinkedControlRow{"NumericalOptions", "ShowNumericalOptions", "the numerical options of the filter fit",
                     &IsSet<&L::ShowNumericalOptions>},
    LinkedControlRow{"NumOptBut", "ShowNumericalOptions", "the numerical options of the filter fit",
                     &IsSet<&L::ShowNumericalOptions>},
    LinkedControlRow{"ErrSelect", "ShowEQOpt", "the emulator options", &IsSet<&L::ShowEQOpt>},
    LinkedControlRow{"Polish", "PolishFilters", "polishing fitted filters", &IsSet<&L::PolishFilters>},
    LinkedControlRow{"NewFilter", "NewFilter_Click", "the new-filter dialog", &IsSet<&L::NewFilter_Click>},
    LinkedControlRow{"EQEmulation", "EQEmulation_Click", "choosing the outside equaliser to emulate",
                     &IsSet<&L::EQEmulation_Click>},
    LinkedControlRow{"FitFilter", "FitFilter_Click", kFit, &IsSet<&L::FitFilter_Click>},
    LinkedControlRow{"AddFilter", "AddFilter_Click", kFit, &IsSet<&L::AddFilter_Click>},
    LinkedControlRow{"PolishFilter", "PolishFilter_Click", "polishing fitted filters",
                     &IsSet<&L::PolishFilter_Click>},
    LinkedControlRow{"AllCurves", "AllCurves_Click", kFit, &IsSet<&L::AllCurves_Click>},
    LinkedControlRow{"QuickFit", "QuickFit_Click", kFit, &IsSet<&L::QuickFit_Click>},
    LinkedControlRow{"FitFiltersBut", "FitFiltersBut_Click", kFit, &IsSet<&L::FitFiltersBut_Click>},
    LinkedControlRow{"TextEQ", "TextEQ_Click", "the equaliser settings report", &IsSet<&L::TextEQ_Click>},
    LinkedControlRow{"CompModes", "CompModes_Click", "listing the modes of every curve",
                     &IsSet<&L::CompModes_Click>},
    LinkedControlRow{"FitLimits", "ShowFitLimits", "the fit's boost limit, filter budget and target",
                     &IsSet<&L::ShowFitLimits>},
    LinkedControlRow{"ApplyAllModes", "ApplyAllModes_Click", "taking the listed modes into the applied filters",
                     &IsSet<&L::ApplyAllModes_Click>},
    LinkedControlRow{"ApplyAll", "ApplyAllModes_Click", "taking the listed modes into the applied filters",
                     &IsSet<&L::ApplyAllModes_Click>},
    LinkedControlRow{"ModesList", "ModesList_Click", "taking a listed mode into the applied filters",
                     &IsSet<&L::ModesList_Click>},
    // It deletes the curve taken into the fit, which only the fit puts there.
    LinkedControlRow{"DelCurve", "FitFiltersBut_Click", kFit, &IsSet<&L::FitFiltersBut_Click>},
    LinkedControlRow{"AppliedFilterListBox", "AppliedFilterListBox_Click", "editing an applied filter",
                     &IsSet<&L::AppliedFilterListBox_Click>},
    LinkedControlRow{"FreqSelect", "SortFilterSetByKey1", "sorting the modes list", &IsSet<&L::SortFilterSetByKey1>},
    LinkedControlRow{"QSelect", "SortFilterSetByKey2", "sorting the modes list", &IsSet<&L::SortFilterSetByKey2>},
    LinkedControlRow{"Xover", "Xover_Click", "the crossover model", &IsSet<&L::Xover_Click>},
    LinkedControlRow{"LeftDisplayArrow", "ShowCurveView", "the single-curve views", &IsSet<&L::ShowCurveView>},
    LinkedControlRow{"RightDisplayArrow", "ShowCurveView", "the single-curve views", &IsSet<&L::ShowCurveView>},
};

}  // namespace

std::span<const LinkedControlRow> LinkedControlTable() { return kRows; }

}  // namespace zentor
