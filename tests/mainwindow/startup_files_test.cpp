// The command line at start-up and the save questions at close.
#include <QRadioButton>
#include <QCheckBox>
#include <optional>
#include <variant>

#include "core/records.h"
#include "base/shared_state.h"
#include "file_fixture.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/filter_file.h"
#include "display/view_state.h"

namespace zentor {
namespace {

using test::GoldenCfa;
using test::RecordingPlotter;
using test::StartRecording;
using test::WriteFileBytes;

std::vector<uint8_t> OneFilterEQ() {
  std::vector<uint8_t> f(112, 0);
  test::PutAt<int32_t>(f, 0, 1);
  test::PutAt<int32_t>(f, 4, 2);
  test::PutAt<int32_t>(f, 8, 3);
  test::PutAt<int32_t>(f, 12, 1);
  test::PutAt<float>(f, 12 + 72, 628.0f);
  test::PutAt<float>(f, 12 + 76, -2.0f);  // Q1 and Q2: a 6 dB boost
  test::PutAt<float>(f, 12 + 80, 1.0f);
  test::PutAt<int32_t>(f, 12 + 96, 2);
  return f;
}

class StartupFileTest : public test::MainWindowTest {};

TEST_F(StartupFileTest, MeasurementSetNamedOnTheCommandLineIsShown) {
  GoldenCfa g;
  g.graphshown = 3;
  const std::string path = TempPath("set one.cfa");
  WriteFileBytes(path, g.Build().data);
  for (const std::string& line : {path, "\"" + path + "\""}) {
    RecordingPlotter* w = StartRecording(line);
    EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 2) << line;
    EXPECT_EQ(w->windowTitle().toStdString(), "Mirabelt Zentor / " + path);
    EXPECT_EQ(DisplayConfig.Graphshown, 2);  // the set opens in the impulse view
    EXPECT_TRUE(w->TimeBut->isChecked());
    EXPECT_EQ(DisplayConfig.Average, 0);
    EXPECT_FALSE(w->avg->isChecked());
    EXPECT_EQ(w->rb.Last(), (test::BuilderCall{"ShowMainImpulseSet", 0}));
    EXPECT_TRUE(dialogs.calls().empty());
    Forms::DeleteAll();
    ResetSharedState();
  }
}

TEST_F(StartupFileTest, FilterSetOnTheCommandLineAndFilesThatAreNotWhatTheyAreCalled) {
  const std::string eq = TempPath("room.eq");
  WriteFileBytes(eq, OneFilterEQ());
  RecordingPlotter* w = StartRecording(eq);
  EXPECT_EQ(AppliedFilters[0].Count, 1);
  EXPECT_EQ(AppliedFilters[0].Freq1, 628.0f);
  EXPECT_EQ(w->GetParametricEQEmulation(), 2);
  EXPECT_EQ(w->GetGraphicEQEmulation(), 3);
  Forms::DeleteAll();
  ResetSharedState();

  // A damaged filter file: the reader's message, then the start-up's, and no filters loaded.
  const std::string bad = TempPath("bad.EQ");
  WriteFileBytes(bad, {9, 9, 9});
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  StartRecording(bad);
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"EQ File Error 4329", "Error 8733"}));
  EXPECT_EQ(AppliedFilters[0].Count, 0);
  Forms::DeleteAll();
  ResetSharedState();

  // A filter file named .cfa fails as a measurement set and loads nothing.
  const std::string wrong = TempPath("filters.cfa");
  WriteFileBytes(wrong, OneFilterEQ());
  dialogs.Clear();
  dialogs.ExpectMessage();
  w = StartRecording(wrong);
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 4927: Error opening file"});
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 0);
  EXPECT_EQ(AppliedFilters[0].Count, 0);
  EXPECT_EQ(w->windowTitle(), "Zentor");
}

class CloseQuestionTest : public test::MainWindowTest {
 protected:
  RecordingPlotter* w = nullptr;
  void SetUp() override {
    MainWindowTest::SetUp();
    w = StartRecording();
    test::FillStore(2, 12, 48000);
    AppliedFilters[0].Count = 1;
    AppliedFilters[0].EQEmulationCode = 1;
    w->ResultsTakenButNotSaved = kTrue;
    w->EQResultsTakenButNotSaved = kTrue;
  }
  int16_t Ask() {
    int16_t cancel = 0;
    w->Form_QueryUnload(cancel);
    return cancel;
  }
};

// Each row: the answers given in turn (a file name for a save dialog, none for a
// cancelled one), whether the close is cancelled, and the marks left.
TEST_F(CloseQuestionTest, AnswersDecideWhetherTheWindowCloses) {
  using Answer = std::variant<MsgAnswer, std::optional<std::string>>;
  const std::string set = TempPath("set.cfa"), eq = TempPath("set.EQ");
  const struct {
    const char* name;
    std::vector<Answer> answers;
    bool cancelled;
    int32_t resultsMark, eqMark;
  } table[] = {
      {"cancel", {MsgAnswer::Cancel}, true, kTrue, kTrue},
      {"no save file", {MsgAnswer::Yes, std::nullopt}, true, kTrue, kTrue},
      {"no filter file", {MsgAnswer::Yes, TempPath("first.cfa"), MsgAnswer::Yes, std::nullopt}, true, 0, kTrue},
      {"no and no", {MsgAnswer::No, MsgAnswer::No}, false, kTrue, kTrue},
      {"both saved", {MsgAnswer::Yes, set, MsgAnswer::Yes, eq}, false, 0, 0},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    w->ResultsTakenButNotSaved = w->EQResultsTakenButNotSaved = kTrue;
    dialogs.Clear();
    for (const Answer& a : row.answers) {
      if (const auto* m = std::get_if<MsgAnswer>(&a)) dialogs.ExpectMessage(*m);
      else dialogs.ExpectSaveFile(std::get<1>(a));
    }
    EXPECT_EQ(Ask() != 0, row.cancelled);
    EXPECT_EQ(dialogs.calls().size(), row.answers.size());
    EXPECT_EQ(w->ResultsTakenButNotSaved, row.resultsMark);
    EXPECT_EQ(w->EQResultsTakenButNotSaved, row.eqMark);
  }
  EXPECT_EQ(dialogs.calls()[0].text, " Save file with new results ?");
  EXPECT_EQ(dialogs.calls()[0].buttons, MsgButtons::YesNoCancel);
  EXPECT_EQ(dialogs.calls()[0].icon, MsgIcon::Question);
  EXPECT_EQ(dialogs.calls()[0].title, "Mirabelt Zentor");
  EXPECT_EQ(dialogs.calls()[2].text, "EQSim.Eq Save EQ file with new controls ?");

  // Saved results and no filters: nothing to ask.
  dialogs.Clear();
  w->ResultsTakenButNotSaved = 0;
  AppliedFilters[0].Count = 0;
  EXPECT_EQ(Ask(), 0);
  EXPECT_TRUE(dialogs.calls().empty());

  // A cancelled close keeps the window.
  w->ResultsTakenButNotSaved = kTrue;
  dialogs.ExpectMessage(MsgAnswer::Cancel);
  EXPECT_FALSE(w->close());
  EXPECT_TRUE(w->isVisible());
}

TEST_F(CloseQuestionTest, OpenAndAddRedrawTheViewTheSetNeeds) {
  const std::string path = TempPath("open.cfa");
  GoldenCfa g;  // Bode view, FFT chosen
  WriteFileBytes(path, g.Build().data);
  w->ResultsTakenButNotSaved = 0;
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectMessage(MsgAnswer::No);
  dialogs.ExpectOpenFile(path);
  w->rb.calls.clear();
  w->OpenFile_Click();
  EXPECT_TRUE(w->FreqBut->isChecked());
  EXPECT_EQ(DisplayConfig.Graphshown, 3);
  EXPECT_EQ(w->rb.Last(), (test::BuilderCall{"ShowFFTResponseSet", 0}));
  EXPECT_EQ(StaticConfig.SampleRate, 0);

  BodeCurves[0].NumCurves = 2;
  const std::string more = TempPath("more.cfa");
  g.calCount = 3;
  WriteFileBytes(more, g.Build().data);
  dialogs.ExpectOpenFile(more);
  w->AddMeasurements_Click();
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 4);
  EXPECT_EQ(w->rb.Last(), (test::BuilderCall{"ShowFFTResponseSet", 2}));
}

}  // namespace
}  // namespace zentor
