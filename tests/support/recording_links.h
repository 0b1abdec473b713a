// Fills every link of MainWindowHooks with a recorder: each call appends the
// link's name (and its argument, when it has one) to `calls`.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "mainwindow/main_window_links.h"

namespace zentor::test {

struct RecordingLinks {
  std::vector<std::string> calls;
  bool cardSetUpWorks = true;  // what SetUpSoundCardSelection answers
  bool audioFormShows = true;  // what ShowAudioForm answers

  void Install() {
    MainWindowLinks& l = MainWindowHooks;
    using L = MainWindowLinks;
    for (auto [link, name] : {std::pair{&L::RunMainTest, "RunMainTest"}, {&L::RunLevelsCheck, "RunLevelsCheck"},
                              {&L::ResetSound, "ResetSound"}, {&L::UnloadAudioForm, "UnloadAudioForm"},
                              {&L::ShowSoundCardSelector, "ShowSoundCardSelector"},
                              {&L::ShowMicCalForm, "ShowMicCalForm"}, {&L::ShowRTAEQ, "ShowRTAEQ"},
                              {&L::ShowRTAImp, "ShowRTAImp"}, {&L::ShowSPLLevelForm, "ShowSPLLevelForm"},
                              {&L::ShowDistForm, "ShowDistForm"}, {&L::ShowCDTest, "ShowCDTest"},
                              {&L::TestCDMake_Click, "TestCDMake_Click"}, {&L::ShowImportWave, "ShowImportWave"},
                              {&L::ShowLevels, "ShowLevels"}, {&L::ShowNewEQControl, "ShowNewEQControl"},
                              {&L::ShowNumericalOptions, "ShowNumericalOptions"}, {&L::ShowEQOpt, "ShowEQOpt"},
                              {&L::PolishFilters, "PolishFilters"}, {&L::NewFilter_Click, "NewFilter_Click"},
                              {&L::EQEmulation_Click, "EQEmulation_Click"}, {&L::FitFilter_Click, "FitFilter_Click"},
                              {&L::AddFilter_Click, "AddFilter_Click"}, {&L::PolishFilter_Click, "PolishFilter_Click"},
                              {&L::AllCurves_Click, "AllCurves_Click"}, {&L::QuickFit_Click, "QuickFit_Click"},
                              {&L::FitFiltersBut_Click, "FitFiltersBut_Click"}, {&L::TextEQ_Click, "TextEQ_Click"},
                              {&L::CompModes_Click, "CompModes_Click"}, {&L::Xover_Click, "Xover_Click"},
                              {&L::ApplyAllModes_Click, "ApplyAllModes_Click"}, {&L::ShowFitLimits, "ShowFitLimits"},
                              {&L::AppliedFilterListBox_Click, "AppliedFilterListBox_Click"}})
      l.*link = [this, name] { calls.emplace_back(name); };
    for (auto [link, name] : {std::pair{&L::OpenMathForm, "OpenMathForm"}, {&L::ShowExportPCM, "ShowExportPCM"},
                              {&L::ModesList_Click, "ModesList_Click"}, {&L::ShowCurveView, "ShowCurveView"}})
      l.*link = [this, name](int32_t v) { calls.push_back(std::string(name) + " " + std::to_string(v)); };
    for (auto [link, name] : {std::pair{&L::ShowThreeDForm, "ShowThreeDForm"},
                              {&L::ShowDataIntegrityForm, "ShowDataIntegrityForm"}})
      l.*link = [this, name](const std::string& v) { calls.push_back(std::string(name) + " " + v); };
    for (auto [link, name] : {std::pair{&L::SortFilterSetByKey1, "SortFilterSetByKey1"},
                              {&L::SortFilterSetByKey2, "SortFilterSetByKey2"},
                              {&L::SortFilterSetByKey4, "SortFilterSetByKey4"}})
      l.*link = [this, name](SingularityListRecord&, bool) { calls.emplace_back(name); };
    l.ShowAudioForm = [this] {
      calls.emplace_back("ShowAudioForm");
      return audioFormShows;
    };
    l.SetUpSoundCardSelection = [this] {
      calls.emplace_back("SetUpSoundCardSelection");
      return cardSetUpWorks;
    };
    l.CheckForCurveSingularities = [this](int32_t k) {
      calls.push_back("CheckForCurveSingularities " + std::to_string(k));
      return true;
    };
    l.ShowCorrectedResponse = [this](CurveRecord&, CurveRecord&, SingularityListRecord&, int32_t k) {
      calls.push_back("ShowCorrectedResponse " + std::to_string(k));
    };
  }

  std::vector<std::string> Take() {
    std::vector<std::string> c = std::move(calls);
    calls.clear();
    return c;
  }
};

}  // namespace zentor::test
