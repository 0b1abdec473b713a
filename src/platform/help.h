// Help topics. Each window's help control opens the help at a fixed topic: the
// file "ZentorHelp" beside the program when it exists, else the program's own
// pages, built in, in a help window of its own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class QWidget;

namespace zentor {

namespace HelpTopic {
constexpr int32_t AudioForm = 30;
constexpr int32_t Form1 = 400;
constexpr int32_t Numerical = 410;
constexpr int32_t DistForm = 440;
constexpr int32_t DataPlotterMain = 460;
constexpr int32_t LevelSet = 910;
constexpr int32_t SoundCardSelector = 920;
constexpr int32_t PsycForm = 930;
constexpr int32_t DisplayControlFormView3 = 1040;
constexpr int32_t DisplayControlForm = 970;
constexpr int32_t MathFormCurveSwap = 1050;
constexpr int32_t MathFormResample = 1060;
constexpr int32_t MathFormDifferences = 1070;
constexpr int32_t MathFormCompress = 1080;
constexpr int32_t DataIntegrityForm = 1090;
constexpr int32_t MicCalForm = 1100;
constexpr int32_t Import = 1110;
constexpr int32_t RTAEQ = 1120;
constexpr int32_t RTAImp = 1130;
constexpr int32_t SPLLevelForm = 1140;
constexpr int32_t TestCD = 1150;  // CreateTestCD and CDTest
constexpr int32_t XoverForm = 1160;
constexpr int32_t Printing = 1170;
constexpr int32_t FilterExchange = 1180;  // filters to and from other equalisers
constexpr int32_t FitLimits = 1190;
constexpr int32_t EQOpt = 1200;
constexpr int32_t UserSelect = 1210;
// Every topic, each once.
constexpr std::array<int32_t, 27> All = {
    AudioForm, Form1, Numerical, DistForm, DataPlotterMain, LevelSet, SoundCardSelector, PsycForm,
    DisplayControlFormView3, DisplayControlForm, MathFormCurveSwap, MathFormResample, MathFormDifferences,
    MathFormCompress, DataIntegrityForm, MicCalForm, Import, RTAEQ, RTAImp, SPLLevelForm, TestCD, XoverForm, Printing,
    FilterExchange, FitLimits, EQOpt, UserSelect};
}  // namespace HelpTopic

// The built-in pages, as URLs of the program's resources.
constexpr const char* kHelpContentsPage = "qrc:/help/index.html";
// The built-in page of a topic; empty for a number that is no topic.
std::string HelpPage(int32_t topic);

void InitHelp(QWidget* mainWindow);
void ShowHelpTopic(int32_t topic);
void CloseHelp();

// The page the help window shows; empty while it is closed. Headless runs open
// the window without showing it, so this is what a user would be reading.
std::string HelpWindowPage();

// What the help service was asked (tests read it; it is cleared by ResetSharedState).
struct HelpLog {
  bool initialised = false;
  bool closed = false;
  std::string helpFile;
  std::vector<int32_t> topics;
};
const HelpLog& GetHelpLog();

}  // namespace zentor
