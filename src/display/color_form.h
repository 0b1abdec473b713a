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

// Set by the main window: the redraw after a colour change and the saving of the
// user's defaults. Unset, nothing is redrawn or saved.
struct ColorFormLinks {
  std::function<void()> DisplayResults;
  std::function<void()> SaveUserSettings;
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
  void Form_Paint() {}  // the colour boxes paint themselves
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

  ColourBox* Picture1 = nullptr;  // background
  ColourBox* Picture2 = nullptr;  // grid face, follows the background
  ColourBox* Picture3 = nullptr;  // curve colours 1 to 8
  ColourBox* Picture4 = nullptr;
  ColourBox* Picture5 = nullptr;
  ColourBox* Picture6 = nullptr;
  ColourBox* Picture7 = nullptr;
  ColourBox* Picture8 = nullptr;
  ColourBox* Picture9 = nullptr;
  ColourBox* Picture10 = nullptr;
  ClickLabel* Label1 = nullptr;
  QCheckBox* SaveAsDefault = nullptr;

  // Picture k for k = 1 .. 10.
  ColourBox* Box(int k) const { return boxes_.at(static_cast<size_t>(k)); }

  // Closing, by the window's close button or Escape, ends here.
  void done(int r) override;

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  void PickColour(int k);
  std::array<ColourBox*, 11> boxes_{};  // index 0 unused
};

}  // namespace zentor
