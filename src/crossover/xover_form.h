// "DSP Crossover Modeling": three stacked set frames (one per way), the way
// assignment, .XVR open and save, and the view options that run the model.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <string>

#include "core/filter_record.h"
#include "crossover/xover_model.h"
#include "crossover/xover_record.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace zentor {

class XoverForm : public QWidget {
  Q_OBJECT
 public:
  XoverForm();

  // The main window's command: shown and brought to the front, loaded first if needed.
  void ShowXover();
  bool IsFormLoaded() const { return loaded_; }

  // ---- State ------------------------------------------------------------------------
  XoverSetArray XoverSets{};
  std::array<FilterRecord, kXoverEQFilters> XoverEQFilters{};
  XoverModel Model;
  int32_t XoverWays = 2;
  int32_t CurrentSet = 0;
  bool XoverSaved = true;
  std::array<int32_t, 4> TypeCounters{};  // HPBut, HPBut1, LPBut, LPBut1
  std::string XoverFilePath;

  // ---- Records and controls ----------------------------------------------------------
  bool StoreXoverControls();
  void ShowXoverSet();
  void ShowXoverSetFrame(int32_t k);
  void SetTwoWay();
  void SetThreeWay();

  // ---- Commands ---------------------------------------------------------------------
  void OpenXover_Click();
  void SaveXoverFile();
  void FilterSetBut_Click(int32_t i);
  void TypeBut_Click(int32_t kind, int32_t i);  // kind: 0 HPBut, 1 HPBut1, 2 LPBut, 3 LPBut1
  void LoadBut_Click();
  void RunXoverModel();
  void Command3_Click();

  // ---- Window life -----------------------------------------------------------------
  void Form_Load();
  void Form_Resize();
  // The program's close: no restore question, never cancelled.
  void Form_Unload();
  // The user's close; false when cancelled.
  bool UserClose();

  // ---- Controls (indexed by set) ------------------------------------------------------
  std::array<QGroupBox*, 3> SetFrame{};
  QGroupBox *Set1Frame, *Set2Frame, *Set3Frame;
  std::array<QPushButton*, 3> Set1{}, Set2{}, Set3{};
  std::array<QCheckBox*, 3> HPFilterCheck{}, HPFilterCheck1{}, LPFilterCheck{}, LPFilterCheck1{}, ShelfCheck{},
      ShelfCheck1{}, EQOn{}, Invert{};
  std::array<QLineEdit*, 3> HPFreq{}, HPFreq1{}, LPFreq{}, LPFreq1{}, HPFilterOrder{}, HPFilterOrder1{},
      LPFilterOrder{}, LPFilterOrder1{}, ShelfText{}, ShelfText1{}, ShelfLevel{}, ShelfLevel1{}, HPText{}, HPText1{},
      LPText{}, LPText1{}, GainText{}, DelayText{}, BiquadFile{};
  std::array<QPushButton*, 3> HPBut{}, HPBut1{}, LPBut{}, LPBut1{}, FilterSetBut{};
  QGroupBox *Frame1, *Frame2;
  QLineEdit* SampleText;
  QPlainTextEdit* Text1;
  QRadioButton *TwoWay, *ThreeWay;
  QPushButton *OpenXover, *SaveXover, *LoadBut, *Command3;
  QRadioButton *ShowSumAll, *ShowSet1, *ShowSet2, *ShowSet3;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void BuildSetFrame(int32_t i);
  void AskSaveSets();
  XoverView SelectedView() const;
  bool loaded_ = false;
  bool closing_ = false;
  QSize keptSize_;
};

// The type's caption into the box; a code without one leaves the box as it was.
void FilterTypeName(QLineEdit* box, int32_t code);

// Fractional-octave view at 0.1 octave, 200 ms, on a log axis, shown.
void SetMainDisplayForXover();
// The main window's "Xover" command.
void OpenXoverWindow();

}  // namespace zentor
