// Fills every link of MainWindowHooks with a recorder: each call appends the
// link's name (and its argument, when it has one) to `calls`.
#pragma once

#include <string>
#include <vector>

#include "mainwindow/main_window_links.h"

namespace zentor::test {

struct RecordingLinks {
  std::vector<std::string> calls;
  bool cardSetUpWorks = true;  // what SetUpSoundCardSelection answers
  bool audioFormShows = true;  // what ShowAudioForm answers

  void Install() {
    MainWindowLinks& l = MainWindowHooks;
    auto plain = [this](const char* name) { return [this, name] { calls.emplace_back(name); }; };
    auto withInt = [this](const char* name) {
      return [this, name](int32_t v) { calls.push_back(std::string(name) + " " + std::to_string(v)); };
    };
    auto withText = [this](const char* name) {
      return [this, name](const std::string& v) { calls.push_back(std::string(name) + " " + v); };
    };
    auto sort = [this](const char* name) {
      return [this, name](SingularityListRecord&, bool) { calls.emplace_back(name); };
    };
    l.RunMainTest = plain("RunMainTest");
    l.RunLevelsCheck = plain("RunLevelsCheck");
    l.ResetSound = plain("ResetSound");
    l.ShowAudioForm = [this] {
      calls.emplace_back("ShowAudioForm");
      return audioFormShows;
    };
    l.UnloadAudioForm = plain("UnloadAudioForm");
    l.SetUpSoundCardSelection = [this] {
      calls.emplace_back("SetUpSoundCardSelection");
      return cardSetUpWorks;
    };
    l.ShowSoundCardSelector = plain("ShowSoundCardSelector");
    l.ShowMicCalForm = plain("ShowMicCalForm");
    l.ShowRTAEQ = plain("ShowRTAEQ");
    l.ShowRTAImp = plain("ShowRTAImp");
    l.ShowSPLLevelForm = plain("ShowSPLLevelForm");
    l.ShowDistForm = plain("ShowDistForm");
    l.ShowCDTest = plain("ShowCDTest");
    l.TestCDMake_Click = plain("TestCDMake_Click");
    l.ShowThreeDForm = withText("ShowThreeDForm");
    l.ShowDataIntegrityForm = withText("ShowDataIntegrityForm");
    l.OpenMathForm = withInt("OpenMathForm");
    l.ShowExportPCM = withInt("ShowExportPCM");
    l.ShowImportWave = plain("ShowImportWave");
    l.ShowLevels = plain("ShowLevels");
    l.ShowNewEQControl = plain("ShowNewEQControl");
    l.ShowNumericalOptions = plain("ShowNumericalOptions");
    l.ShowEQOpt = plain("ShowEQOpt");
    l.PolishFilters = plain("PolishFilters");
    l.NewFilter_Click = plain("NewFilter_Click");
    l.EQEmulation_Click = plain("EQEmulation_Click");
    l.FitFilter_Click = plain("FitFilter_Click");
    l.AddFilter_Click = plain("AddFilter_Click");
    l.PolishFilter_Click = plain("PolishFilter_Click");
    l.AllCurves_Click = plain("AllCurves_Click");
    l.QuickFit_Click = plain("QuickFit_Click");
    l.FitFiltersBut_Click = plain("FitFiltersBut_Click");
    l.TextEQ_Click = plain("TextEQ_Click");
    l.CompModes_Click = plain("CompModes_Click");
    l.ModesList_Click = withInt("ModesList_Click");
    l.CheckForCurveSingularities = [this](int32_t k) {
      calls.push_back("CheckForCurveSingularities " + std::to_string(k));
      return true;
    };
    l.ShowCorrectedResponse = [this](const CurveRecord&, const CurveRecord&, SingularityListRecord&, int32_t k) {
      calls.push_back("ShowCorrectedResponse " + std::to_string(k));
    };
    l.SortFilterSetByKey1 = sort("SortFilterSetByKey1");
    l.SortFilterSetByKey2 = sort("SortFilterSetByKey2");
    l.SortFilterSetByKey4 = sort("SortFilterSetByKey4");
    l.Xover_Click = plain("Xover_Click");
    l.ShowCurveView = withInt("ShowCurveView");
  }

  std::vector<std::string> Take() {
    std::vector<std::string> c = std::move(calls);
    calls.clear();
    return c;
  }
};

}  // namespace zentor::test
