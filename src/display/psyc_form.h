// "PsychoAcoustic Parameters": the four psychoacoustic analysis settings.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace zentor {

class PsycForm : public QDialog {
  Q_OBJECT
 public:
  explicit PsycForm(QWidget* parent = nullptr);

  void Form_Load();
  void Command1_Click();  // Apply
  void Command2_Click();  // Cancel: the boxes show the settings again
  void Command3_Click();  // Help

  QLineEdit *LFResolutionText, *PsycGateTime, *PsycShelfTime, *ShelfLevel, *Datapoints;
  QPushButton *Command1, *Command2, *Command3;

 protected:
  // Every opening shows the settings as they are now.
  void showEvent(QShowEvent* e) override;

 private:
  void ShowSettings();
};

}  // namespace zentor
