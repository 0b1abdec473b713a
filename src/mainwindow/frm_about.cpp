#include "mainwindow/frm_about.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/dialogs.h"
#include "platform/sysinfo.h"

namespace zentor {

namespace {
QString ApplicationTitle() {
  QString name = QCoreApplication::applicationName();
  return name.isEmpty() ? QStringLiteral("Zentor") : name;
}
}  // namespace

std::string AboutVersionText() {
  return "Version " + std::to_string(ZENTOR_VERSION_MAJOR) + "." + std::to_string(ZENTOR_VERSION_MINOR) + "." +
         std::to_string(ZENTOR_VERSION_PATCH);
}

frmAbout::frmAbout() {
  setObjectName("frmAbout");
  setModal(false);
  setAttribute(Qt::WA_DeleteOnClose);

  lblTitle = new QLabel("Application Title", this);
  lblTitle->setObjectName("lblTitle");
  QFont f = lblTitle->font();
  f.setPointSizeF(f.pointSizeF() * 1.5);
  f.setBold(true);
  lblTitle->setFont(f);
  lblVersion = new QLabel("Version", this);
  lblVersion->setObjectName("lblVersion");
  lblDescription = new QLabel(this);
  lblDescription->setObjectName("lblDescription");
  lblDescription->setWordWrap(true);
  cmdOK = new QPushButton("OK", this);
  cmdOK->setObjectName("cmdOK");
  cmdOK->setDefault(true);
  cmdSysInfo = new QPushButton("&System Info...", this);
  cmdSysInfo->setObjectName("cmdSysInfo");

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOK);
  buttons->addWidget(cmdSysInfo);
  auto* box = new QVBoxLayout(this);
  box->addWidget(lblTitle);
  box->addWidget(lblVersion);
  box->addWidget(lblDescription);
  box->addStretch();
  box->addLayout(buttons);

  connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
  connect(cmdSysInfo, &QPushButton::clicked, this, [this] { cmdSysInfo_Click(); });
  Form_Load();
}

void frmAbout::Form_Load() {
  raise();
  setWindowTitle("About " + ApplicationTitle());
  lblVersion->setText(QString::fromStdString(AboutVersionText()));
  lblTitle->setText(ApplicationTitle());
  lblDescription->setText(
      "Measures loudspeakers and rooms through the sound card and designs the equaliser settings that correct "
      "them.");
}

// Closing deletes the window, which takes it out of the window registry.
void frmAbout::cmdOK_Click() { close(); }

void frmAbout::cmdSysInfo_Click() { StartSysInfo(); }

void frmAbout::StartSysInfo() {
  if (!StartSystemInformation()) MsgBox("System Information Is Unavailable At This Time", MsgButtons::OK);
}

}  // namespace zentor
