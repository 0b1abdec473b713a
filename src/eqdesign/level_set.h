// The filter editor: one filter of the applied set edited with three sliders and
// three fields, each step held to the emulated equaliser in force. Every completed
// change is written back and the room averages redrawn at once.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "core/filter_record.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace zentor {

class DataPlotter;

// A slider's value range: position 0 at `first`, 2000 at `second`, linear between.
struct SliderMap {
  double first = 0;
  double second = 0;
  double a = 0, b = 0;  // position = a value + b
  double c = 0, d = 0;  // value = c position + d
  void Set(double firstEnd, double secondEnd);
  double Position(double value) const { return a * value + b; }
  double Value(double position) const { return c * position + d; }
};

// The Q-or-bandwidth range the editor offers around value v under an emulation
// code: half to twice v (a quarter to four times for codes 4 and 5) within the
// model's limits, widened just enough to hold v itself.
void EditorQRange(int32_t code, double v, double& lower, double& upper);

class LevelSet : public QDialog {
  Q_OBJECT
 public:
  explicit LevelSet(QWidget* parent = nullptr);

  // Sets the window up for filter `index` of AppliedFilters. False when the window
  // unloaded itself (a filter above half the sample rate, or the redraw failed);
  // the caller then does not show it.
  bool InitializeLevelSet(int32_t index);
  // The window ends: closed by the user, by Delete, or by a failed write-back.
  void Unload();
  bool Unloaded() const { return unloaded_; }

  // Event handlers.
  void LevelSlider_Scroll(int position);
  void LevelSlider_Change(int position);
  void Qslider_Scroll(int position);
  void Qslider_Change(int position);
  void FreqSlider_Scroll(int position);
  void FreqSlider_Change(int position);
  void FreqText_KeyPress(int key);
  void QText_KeyPress(int key);
  void LevelText_KeyPress(int key);
  void Delete_Click();
  void Help_Click();

  // What the window works on, for its owner and tests.
  const FilterRecord& WorkingCopy() const { return work_; }
  float EditedFrequency() const { return editedFreq_; }
  int32_t EditedKind() const { return kind_; }
  const SliderMap& LevelRange() const { return levelMap_; }
  const SliderMap& QRange() const { return qMap_; }
  const SliderMap& FreqRange() const { return freqMap_; }

  QSlider *LevelSlider, *Qslider, *FreqSlider;
  QLineEdit *LevelText, *QText, *FreqText, *DecayText;
  ::QLabel *QLabel, *FreqLabel, *Label2, *EmulationLabel, *CentreQLabel;
  QPushButton *Delete, *Help;

 private:
  void ShowEmulationModel(int32_t code);
  // Texts off: the set-up's own display of the stored filter stays.
  void RecalculateFilter(bool showTexts = true);
  void ApplyLevelChange();
  // False, with the refusal shown, for a boost above the stored Max boost.
  bool BoostAllowed(double levelDb);
  // False, with the new-filter dialog's refusal shown, for a change (or the
  // filter's deletion) that takes the applied set's net boost past the stored Max boost.
  bool NetBoostAllowed(bool deleting = false) const;
  void ApplyQChange();
  void ApplyFrequencyChange();
  void WriteBack();
  void SetUpParametric();
  void SetUpGraphic();
  void SetUpDamped();
  void SetFrequencyRange();
  void SetPosition(QSlider* slider, double position);
  int32_t ParametricCode() const;
  int32_t GraphicCode() const;
  int32_t Code() const;

  int32_t index_ = 0;
  FilterRecord work_{};
  int32_t kind_ = 0;  // the kind the window edits as (a damped mode may be edited as kind 2)
  float editedFreq_ = 0;
  int32_t levelPosition_ = 0, qPosition_ = 0, freqPosition_ = 0;
  SliderMap levelMap_, qMap_, freqMap_;
  bool ready_ = false;
  bool unloaded_ = false;
};

}  // namespace zentor
