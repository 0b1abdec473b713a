// The crossover window through the main window's command: its questions, controls and files.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstdlib>
#include <cstring>

#include "core/filter_record.h"
#include "crossover/xover_form.h"
#include "crossover/xover_links.h"
#include "display/view_state.h"
#include "mainwindow/filter_file.h"
#include "tools/tools_fixture.h"

namespace zentor::test {
namespace {

class XoverWindow : public ToolsTest {
 protected:
  void SetUp() override {
    ToolsTest::SetUp();
    InstallXoverLinks();
    w->RefreshLinkedControls();
  }
  void LoadImpulses(int32_t n) {
    LoadSet(n, 48000, 14, [](int32_t k, int32_t i) { return i == 3000 + 7 * k ? 1.0f : 0.0f; });
    w->ResultsTakenButNotSaved = kFalse;
  }
  // Clears what was asked and expects n plain messages.
  void ExpectMessages(int n) {
    dialogs.Clear();
    while (n-- > 0) dialogs.ExpectMessage();
  }
  XoverForm* Open() {
    w->Xover->trigger();
    return Forms::Get<XoverForm>();
  }
  std::string RenderPath(const std::string& name) const {
    const char* dir = std::getenv("ZENTOR_RENDER_DIR");
    return dir ? std::string(dir) + "/" + name : TempPath(name);
  }
  // An .EQ file of n filters with frequency 100 k, Q1 -2, Q2 1 and a level.
  std::string EQFile(const std::string& name, int32_t n) {
    for (int32_t k = 0; k < std::min(n, 75); ++k) {
      FilterRecord& f = AppliedFilters[size_t(k)];
      f = FilterRecord{};
      f.Freq1 = 100.0f * float(k + 1), f.Q1 = -2, f.Q2 = 1, f.FitError = 6, f.EQEmulationCode = 3;
    }
    AppliedFilters[0].Count = std::min(n, 75);
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(BuildEQFile(1, 1, bytes));
    if (n > 75) {
      const int32_t count = n;
      std::memcpy(bytes.data(), &count, 4);
      bytes.resize(bytes.size() + 100 * size_t(n - 75), 0);
    }
    const std::string path = TempPath(name);
    WriteFile(path, bytes);
    return path;
  }
};

TEST_F(XoverWindow, FirstOpeningShowsTwoWaysAndNoFiltersAndEQFilesGiveFrequenciesAndQs) {
  ASSERT_TRUE(w->Xover->isEnabled());
  XoverForm* f = Open();
  EXPECT_TRUE(dialogs.MessageTexts().empty());
  EXPECT_EQ(std::tuple(f->windowTitle(), DisplayConfig.Graphshown, f->TwoWay->isChecked(), f->SampleText->text()),
            std::tuple("DSP Crossover Modeling", 6, true, "No Measurement Loaded"));
  for (size_t s = 0; s < 3; ++s) {
    for (QLineEdit* t : {f->HPText[s], f->HPText1[s], f->LPText[s], f->LPText1[s]}) EXPECT_EQ(t->text(), "No Filter");
    for (QCheckBox* c : {f->HPFilterCheck[s], f->LPFilterCheck1[s], f->ShelfCheck[s], f->EQOn[s], f->Invert[s]})
      EXPECT_FALSE(c->isChecked());
    EXPECT_FALSE(f->Set3[s]->isEnabled());
  }
  EXPECT_FALSE(f->ShowSet3->isEnabled());
  for (const auto& [type, caption] : {std::pair{7, "No Filter"}, {10, "Constant Sum"}}) {
    FilterTypeName(f->LPText[2], type);
    EXPECT_EQ(f->LPText[2]->text(), caption);
  }
  EXPECT_EQ(f->Text1->toPlainText(), "Curves 0,2,4..etc = Set 1\nCurves 1,3,5..etc = Set 2\n");
  f->ThreeWay->click();
  EXPECT_TRUE(f->ShowSet3->isEnabled() && f->XoverSets[2].Ways == 3);
  f->Set2[0]->click();
  EXPECT_TRUE(f->CurrentSet == 1 && f->Set2Frame->isEnabled() && !f->Set1Frame->isEnabled());
  // Type buttons share one counter per kind across the sets.
  f->Set1[1]->click();
  for (const char* want : {"Linkwitz-Riley", "Butterworth", "Bessel", "No Filter"}) {
    f->HPBut[0]->click();
    EXPECT_EQ(f->HPText[0]->text(), want);
  }
  f->Set2[0]->click();
  f->HPBut[1]->click();
  EXPECT_EQ(f->HPText[1]->text(), "Linkwitz-Riley");
  EXPECT_FALSE(f->XoverSaved);
  // Opening again only brings it to the front.
  dialogs.Clear();
  EXPECT_EQ(Open(), f);
  EXPECT_EQ(f->XoverSets[1].HPType, 13);
  // .EQ files give frequencies and Qs but not levels.
  const std::string longPath = EQFile("a_rather_long_file_name.EQ", 3);
  const std::string shortPath = EQFile("s.EQ", 2);
  f->ShowXoverSetFrame(1);
  dialogs.ExpectOpenFile(longPath);
  f->FilterSetBut[1]->click();
  dialogs.ExpectOpenFile(shortPath);
  f->FilterSetBut[1]->click();
  EXPECT_EQ(f->BiquadFile[1]->text(), "s.EQ");
  const XoverSetRecord& r = f->XoverSets[1];
  // The third frequency is left from the longer file.
  EXPECT_EQ(std::tuple(r.EQFilterCount, r.EQEmulationCode, r.EQQ1[0], r.EQFreq[2]), std::tuple(2, 3, -2.0, 300.0));
  EXPECT_FLOAT_EQ(float(r.EQFreq[1]), 200.0f);
  f->ShowXoverSet();
  EXPECT_EQ(f->BiquadFile[1]->text().toStdString(), shortPath);
  f->ShowXoverSetFrame(1);
  ExpectMessages(1);
  dialogs.ExpectOpenFile(EQFile("many.EQ", 76));
  f->FilterSetBut[1]->click();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"EQ File Error 4337"});
  EXPECT_EQ(std::pair(r.EQPathLength, r.EQFilterCount), std::pair(0, 2));
  // A cancelled dialog keeps the path.
  dialogs.ExpectOpenFile(shortPath);
  f->FilterSetBut[1]->click();
  dialogs.ExpectOpenFile(std::nullopt);
  f->FilterSetBut[1]->click();
  EXPECT_GT(r.EQPathLength, 0);
}

TEST_F(XoverWindow, ControlsGoThroughTheRangeChecksToFileAndBack) {
  XoverForm* f = Open();
  f->ThreeWay->click();
  f->ShowXoverSetFrame(1);
  f->HPBut[1]->click();
  for (QCheckBox* c : {f->HPFilterCheck[0], f->HPFilterCheck[1], f->LPFilterCheck[1], f->ShelfCheck[2]})
    c->setChecked(true);
  // HPFreq1 is unticked: neither checked nor stored.
  for (const auto& [field, text] :
       {std::pair{f->HPFreq[0], "1000"}, {f->HPFilterOrder[0], "2.5"}, {f->HPFreq[1], "750"},
        {f->HPFilterOrder[1], "4"}, {f->LPFreq[1], "2000"}, {f->LPFilterOrder[1], "3.5"}, {f->ShelfText[2], "99.6"},
        {f->ShelfLevel[2], "3"}, {f->DelayText[2], "1.23456"}, {f->HPFreq1[0], "nonsense"}})
    field->setText(text);
  const std::string path = TempPath("sets.XVR");
  dialogs.ExpectSaveFile(path);
  f->SaveXoverFile();
  ASSERT_TRUE(f->XoverSaved);
  EXPECT_EQ(dialogs.MessageTexts().size(), 0u);
  EXPECT_EQ(std::pair(dialogs.calls().back().title, dialogs.calls().back().filter),
            std::pair(std::string("Open Zentor *.XVR File"), std::string("Zentor XOver files (*.XVR)|*.XVR")));
  const XoverSetArray& sets = f->XoverSets;
  EXPECT_EQ(std::tuple(sets[0].HPOrder, sets[1].LPOrder, sets[2].Shelf1Freq, sets[0].HP2Corner), std::tuple(2, 4, 100, 0.0f));
  EXPECT_FLOAT_EQ(f->XoverSets[2].DelayMs, 1.234f);
  std::vector<uint8_t> bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), 12006u);
  f->TwoWay->click();
  f->HPFreq[1]->setText("1");
  dialogs.ExpectOpenFile(path);
  f->OpenXover_Click();
  EXPECT_TRUE(f->ThreeWay->isChecked());
  for (const auto& [field, text] : {std::pair{f->HPFreq[1], "750"}, {f->HPText[1], "Linkwitz-Riley"},
                                    {f->DelayText[2], "1.234"}, {f->ShelfText[2], "100"}, {f->HPFreq1[0], "0"}})
    EXPECT_EQ(field->text(), text);
  EXPECT_TRUE(f->XoverSaved);
  // Ways 0 selects two ways; two ways write 2 into every record.
  std::memset(bytes.data(), 0, 4);
  WriteFile(path, bytes);
  dialogs.ExpectOpenFile(path);
  f->OpenXover_Click();
  EXPECT_TRUE(f->TwoWay->isChecked());
  dialogs.ExpectSaveFile(path);
  f->SaveXoverFile();
  bytes = ReadFile(path);
  for (size_t r = 0; r < 3; ++r) EXPECT_EQ(bytes[r * 4002], 2);
  // A short file changes nothing.
  WriteFile(path, std::vector<uint8_t>(100, 1));
  f->HPFreq[1]->setText("800");
  ExpectMessages(2);
  dialogs.ExpectOpenFile(path);
  f->OpenXover_Click();
  EXPECT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{"EQ File Error 4332: " + path + ": cut short at byte 100", "Error 8726"}));
  EXPECT_EQ(f->HPFreq[1]->text(), "800");
  EXPECT_FALSE(f->XoverSaved);
  // Every field out of range is reported; with two ways set 3 is not read.
  for (const auto& [field, text] : {std::pair{f->GainText[2], "99"}, {f->GainText[0], "21"}, {f->DelayText[1], "3"}})
    field->setText(text);
  ExpectMessages(2);
  EXPECT_FALSE(f->StoreXoverControls());
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"User Error: Input must be between -20 and 20",
                                                              "User Error: Input must be between 0 and 2"}));
  EXPECT_EQ(std::pair(f->CurrentSet, f->XoverSets[2].GainDb), std::pair(1, 0.0f));
  // A refused save writes nothing and leaves the sets unsaved.
  ExpectMessages(2);
  f->SaveXoverFile();
  EXPECT_EQ(dialogs.calls().size(), 2u);
  EXPECT_FALSE(f->XoverSaved);  // so a close asks to save: see the program-close test
}


TEST_F(XoverWindow, UserAndProgramClosesRestoreOrKeepTheModelledSetAndOpeningAsksToSave) {
  LoadImpulses(4);
  for (MsgAnswer answer : {MsgAnswer::Cancel, MsgAnswer::Yes, MsgAnswer::No}) {
    dialogs.ExpectMessage(MsgAnswer::No);  // resample
    XoverForm* f = Open();
    // The opening sets the fractional-octave view in header 0 before the backup.
    const QByteArray measured = StoreFingerprint();
    f->ShowSet2->click();
    ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
    const QByteArray modelled = StoreFingerprint();
    dialogs.Clear();
    dialogs.ExpectMessage(answer);
    f->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Restore Original Measured Data ?"});
    EXPECT_EQ(dialogs.calls()[0].title, "Mirabelt Zentor Xover");
    EXPECT_EQ(StoreFingerprint(), answer == MsgAnswer::Yes ? measured : modelled);
    if (answer == MsgAnswer::Cancel) {
      EXPECT_TRUE(Forms::IsLoaded<XoverForm>());
      dialogs.ExpectMessage(MsgAnswer::Yes);
      f->close();
      QCoreApplication::processEvents();
    }
    EXPECT_FALSE(Forms::IsLoaded<XoverForm>());
  }

  // Opening asks to save, then to resample. A program close (an add or an open closing the
  // window) keeps the modelled set: restoring 32 measurements under an add that counted 16
  // curves would overflow the store.
  dialogs.Clear();
  LoadImpulses(32);
  w->ResultsTakenButNotSaved = kTrue;
  dialogs.ExpectMessage(MsgAnswer::No);
  dialogs.ExpectMessage(MsgAnswer::No);
  XoverForm* f = Open();
  EXPECT_EQ(dialogs.calls()[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(f->SampleText->text(), " Fs=48000 Hz");
  // A Linkwitz-Riley pair at 2 kHz, drawn as the sum and as each way.
  for (size_t s : {0, 1}) {
    f->ShowXoverSetFrame(int32_t(s));
    (s == 0 ? f->LPBut : f->HPBut)[s]->click();
    (s == 0 ? f->LPFilterCheck : f->HPFilterCheck)[s]->setChecked(true);
    (s == 0 ? f->LPFreq : f->HPFreq)[s]->setText("2000");
    (s == 0 ? f->LPFilterOrder : f->HPFilterOrder)[s]->setText("4");
  }
  w->resize(1000, 700);
  w->MainGraphOverride = nullptr;  // draw into the window's own picture
  for (auto [view, name] : {std::pair{f->ShowSumAll, "xover_sum.png"}, {f->ShowSet1, "xover_set1.png"},
                            {f->ShowSet2, "xover_set2.png"}}) {
    view->click();
    ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 16) << name;
    EXPECT_TRUE(w->Picture1->DrawingSpaceImage().save(QString::fromStdString(RenderPath(name))));
  }
  EXPECT_TRUE(f->grab().save(QString::fromStdString(RenderPath("xover_window.png"))));
  EXPECT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{"Save Measurement Results ?", "Data should be sampled at the hardware DSP "
                                                                    "crossover frequency selected. Resample loaded file?"}));
  const QByteArray modelled = StoreFingerprint();
  dialogs.Clear();
  dialogs.ExpectMessage(MsgAnswer::No);
  EXPECT_TRUE(w->ClearExtDisplay());
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Save XOverFile ?"});
  EXPECT_EQ(dialogs.calls()[0].title, "Mirabelt Zentor Xover\"");
  EXPECT_FALSE(Forms::IsLoaded<XoverForm>());
  EXPECT_EQ(StoreFingerprint(), modelled);  // the 16 modelled curves
}

}  // namespace
}  // namespace zentor::test
