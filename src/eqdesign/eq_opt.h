// "EQ Options": which outside equaliser the graphic and the parametric applied
// filters emulate. The choice is taken over, and the list re-snapped, whenever
// the window closes.
#pragma once

#include <QDialog>

class QGroupBox;
class QPushButton;
class QRadioButton;

namespace zentor {

class EQOpt : public QDialog {
  Q_OBJECT
 public:
  explicit EQOpt(QWidget* parent = nullptr);

  // Ticks the buttons of the main window's two codes; a code outside 1..5 ticks
  // none in its frame.
  void Initialize();
  // Takes the ticked codes over and relists the applied filters; never cancels.
  void Form_QueryUnload(int16_t& Cancel);

  QGroupBox *Frame6, *Frame7;
  QRadioButton *GRaphicBFDEmulatorBut, *CookBookGraphic, *GraphicClassicEng, *GraphicFBQ2496, *GraphicDCX2496;
  QRadioButton *ParametricBFDEmulatorBut, *CookParametric, *ParametricClassicEng, *BehringerFBQ2496Parm,
      *BehringerDCX2496Parm;
  QPushButton* Help;

 protected:
  void done(int r) override;
};

// Prepares the window and shows it modally.
void ShowEQOpt();

}  // namespace zentor
