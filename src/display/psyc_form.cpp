#include "display/psyc_form.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/text_number.h"
#include "core/records.h"
#include "display/dispatcher.h"
#include "platform/help.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

QLineEdit* TextBox(QWidget* parent, const char* name) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setFixedWidth(70);
  return e;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  return b;
}

}  // namespace

PsycForm::PsycForm(QWidget* parent) : QDialog(parent) {
  setObjectName("PsycForm");
  setWindowTitle("PsychoAcoustic Parameters");
  LFResolutionText = TextBox(this, "LFResolutionText");
  PsycGateTime = TextBox(this, "PsycGateTime");
  PsycShelfTime = TextBox(this, "PsycShelfTime");
  ShelfLevel = TextBox(this, "ShelfLevel");
  Datapoints = TextBox(this, "Datapoints");
  Datapoints->setReadOnly(true);  // shown only
  Command1 = Button(this, "Command1", "Apply");
  Command2 = Button(this, "Command2", "Cancel");
  Command3 = Button(this, "Command3", "Help");
  Command1->setDefault(true);  // Enter applies

  auto* grid = new QGridLayout;
  const std::pair<QLineEdit*, const char*> rows[] = {{LFResolutionText, "Oct LF Resolution "},
                                                     {PsycGateTime, "ms Gate Time"},
                                                     {PsycShelfTime, "Shelf Time"},
                                                     {ShelfLevel, "dB Shelf Level"},
                                                     {Datapoints, "DataPoints"}};
  int row = 0;
  for (auto [box, caption] : rows) {
    grid->addWidget(box, row, 0);
    grid->addWidget(new QLabel(caption, this), row, 1);
    ++row;
  }
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {Command1, Command2, Command3}) buttons->addWidget(b);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  Form_Load();
}

void PsycForm::ShowSettings() {
  LFResolutionText->setText(QString::fromStdString(FormatSingle(EQConfig.PsycLFResolution)));
  PsycGateTime->setText(QString::fromStdString(FormatSingle(EQConfig.PsycGateTime)));
  PsycShelfTime->setText(QString::fromStdString(FormatSingle(EQConfig.PsycShelfTime)));
  ShelfLevel->setText(QString::fromStdString(FormatSingle(EQConfig.PsycShelfLevel)));
}

void PsycForm::Form_Load() {
  ShowSettings();
  Datapoints->setText(QString::number(EQConfig.PsycDataPoints));
}

void PsycForm::showEvent(QShowEvent* e) {
  Form_Load();
  QDialog::showEvent(e);
}

void PsycForm::Command1_Click() {
  // Each is stored once it passes; the set's header takes them only all together.
  double v = 0;
  if (!ValidateNumericTextBox(LFResolutionText, 0.5, 2, v)) return;
  EQConfig.PsycLFResolution = static_cast<float>(v);
  if (!ValidateNumericTextBox(PsycGateTime, 2, 10, v)) return;
  EQConfig.PsycGateTime = static_cast<float>(v);
  if (!ValidateNumericTextBox(PsycShelfTime, 10, 50, v)) return;
  EQConfig.PsycShelfTime = static_cast<float>(v);
  if (!ValidateNumericTextBox(ShelfLevel, -50, -10, v)) return;
  EQConfig.PsycShelfLevel = static_cast<float>(v);
  RefreshPsycParms();
}

void PsycForm::Command2_Click() { ShowSettings(); }

void PsycForm::Command3_Click() { ShowHelpTopic(HelpTopic::PsycForm); }

}  // namespace zentor
