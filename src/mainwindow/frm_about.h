// The about box: program name and version, and a button that starts the
// system's information program.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;

namespace zentor {

class frmAbout : public QDialog {
 public:
  frmAbout();

  void Form_Load();
  void cmdOK_Click();
  void cmdSysInfo_Click();
  void StartSysInfo();

  QLabel *lblTitle, *lblVersion, *lblDescription;
  QPushButton *cmdOK, *cmdSysInfo;
};

// "Version major.minor.revision" of this build.
std::string AboutVersionText();

}  // namespace zentor
