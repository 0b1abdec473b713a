// "Color Selection": picks the background and the eight curve colours and can
// keep them as the user's defaults.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <array>
#include <cstdint>
#include <functional>

#include "platform/dialogs.h"

class QCheckBox;

namespace zentor {

// What the colour window needs of the main window, set by the main window:
// the redraw after a colour change (DataPlotter.DisplayResults(True)) and the two
// settings written with the colours. Unset, nothing is redrawn and the start-up
// values (right input, 99; automatic mixer off) are written.
struct ColorFormLinks {
  std::function<void()> DisplayResults;
  std::function<int32_t()> MicChannel;
  std::function<bool()> AutoMixerOn;
};
extern ColorFormLinks ColorFormHooks;

// A box showing one colour; a click runs onClick.
class ColourBox : public QFrame {
 public:
  explicit ColourBox(QWidget* parent = nullptr);
  void SetBackColor(ColourRef c);
  ColourRef BackColor() const { return colour_; }
  std::function<void()> onClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  ColourRef colour_ = 0;
};

class ClickLabel : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void()> onClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override;
};

class ColorForm : public QDialog {
 public:
  explicit ColorForm(QWidget* parent = nullptr);

  // -1 when SaveAsDefault is ticked; otherwise clears the box and returns 0.
  int16_t GetSaveAsDefault();

  void Form_Load();
  void Form_QueryUnload();
  void Form_Unload();
  void Label1_Click();
  void Picture1_Click();
  void Picture3_Click();
  void Picture4_Click();
  void Picture5_Click();
  void Picture6_Click();
  void Picture7_Click();
  void Picture8_Click();
  void Picture9_Click();
  void Picture10_Click();

  // Picture1 .. Picture10 (index 0 unused).
  std::array<ColourBox*, 11> Picture{};
  ClickLabel* Label1 = nullptr;
  QCheckBox* SaveAsDefault = nullptr;

  // Closing, by the window's close button or Escape, ends here.
  void done(int r) override;

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  void PickColour(int k);
};

}  // namespace zentor
