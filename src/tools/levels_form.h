// "Levels": raises or lowers one result of the loaded set by a number of dB,
// typed or set on a slider of 0.1 dB steps. Each change is applied to the
// stored impulse at once and the entry returns to 0 dB.
#pragma once

#include <QDialog>
#include <cstdint>

class QLineEdit;
class QSlider;

namespace zentor {

class Levels : public QDialog {
 public:
  explicit Levels(QWidget* parent = nullptr);

  void Form_Load();
  void LevelText_KeyPress(int key);
  // While the thumb moves: shows the change, applies nothing.
  void Slider1_Scroll();
  // When the slider's position is committed: applies the change.
  void Slider1_Change();
  // A new slider value: a drag shows it, a click or key commits it at once.
  void Slider1_Click();

  float LevelChangeDb = 0;
  int32_t LevelCurveNumber = 0;
  int32_t LevelCurveCount = 0;

  QLineEdit *CurveNoText, *LevelText;
  QSlider* Slider1;

 private:
  bool ReadCurveNumber();
  void ShowSliderChange();
  void ApplyLevelChange();
};

}  // namespace zentor
