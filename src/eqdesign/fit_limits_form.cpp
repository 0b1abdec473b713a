#include "eqdesign/fit_limits_form.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "base/text_number.h"
#include "eqdesign/fit_limits_store.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

QString Shown(double x) { return QString::fromStdString(FormatDouble(x)); }

QRadioButton* Choice(QWidget* parent, const char* name, const char* caption) {
  auto* r = new QRadioButton(caption, parent);
  r->setObjectName(name);
  return r;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

FitLimitsForm::FitLimitsForm(QWidget* parent) : QDialog(parent) {
  setObjectName("FitLimitsForm");
  setWindowTitle("Fit Limits");

  auto* filters = new QGroupBox("Filters", this);
  auto* fg = new QGridLayout(filters);
  MaxBoostText = EntryBox(filters, "MaxBoostText");
  MaxFiltersText = EntryBox(filters, "MaxFiltersText");
  fg->addWidget(new QLabel("Max boost", filters), 0, 0);
  fg->addWidget(MaxBoostText, 0, 1);
  fg->addWidget(new QLabel("dB (0 to 20; 0 = cuts only)", filters), 0, 2);
  fg->addWidget(new QLabel("Max filters", filters), 1, 0);
  fg->addWidget(MaxFiltersText, 1, 1);
  fg->addWidget(new QLabel("(1 to 75)", filters), 1, 2);

  auto* target = new QGroupBox("Target", this);
  auto* tg = new QGridLayout(target);
  TargetFlat = Choice(target, "TargetFlat", "Flat");
  TargetBassLift = Choice(target, "TargetBassLift", "Bass lift");
  TargetFile = Choice(target, "TargetFile", "Target file");
  BassLiftText = EntryBox(target, "BassLiftText");
  BassCornerText = EntryBox(target, "BassCornerText");
  TargetFileText = EntryBox(target, "TargetFileText");
  Browse = Button(target, "Browse", "Browse");
  tg->addWidget(TargetFlat, 0, 0);
  tg->addWidget(TargetBassLift, 1, 0);
  tg->addWidget(BassLiftText, 1, 1);
  tg->addWidget(new QLabel("dB (0 to 12) below", target), 1, 2);
  tg->addWidget(BassCornerText, 1, 3);
  tg->addWidget(new QLabel("Hz (40 to 300)", target), 1, 4);
  tg->addWidget(TargetFile, 2, 0);
  tg->addWidget(TargetFileText, 2, 1, 1, 3);
  tg->addWidget(Browse, 2, 4);

  auto* level = new QGroupBox("Target Level", this);
  auto* lg = new QGridLayout(level);
  LevelMedian = Choice(level, "LevelMedian", "Median of the curve over the fit range");
  LevelFixed = Choice(level, "LevelFixed", "Level");
  LevelBand = Choice(level, "LevelBand", "Median of the curve from");
  LevelText = EntryBox(level, "LevelText");
  BandLowText = EntryBox(level, "BandLowText");
  BandHighText = EntryBox(level, "BandHighText");
  lg->addWidget(LevelMedian, 0, 0, 1, 4);
  lg->addWidget(LevelFixed, 1, 0);
  lg->addWidget(LevelText, 1, 1);
  lg->addWidget(new QLabel("dB", level), 1, 2);
  lg->addWidget(LevelBand, 2, 0);
  lg->addWidget(BandLowText, 2, 1);
  lg->addWidget(new QLabel("Hz to", level), 2, 2);
  lg->addWidget(BandHighText, 2, 3);
  lg->addWidget(new QLabel("Hz", level), 2, 4);

  OK = Button(this, "OK", "OK");
  Cancel = Button(this, "Cancel", "Cancel");
  Help = Button(this, "Help", "Help");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OK);
  buttons->addWidget(Cancel);
  buttons->addWidget(Help);
  auto* all = new QVBoxLayout(this);
  all->addWidget(filters);
  all->addWidget(target);
  all->addWidget(level);
  all->addLayout(buttons);

  connect(OK, &QPushButton::clicked, this, [this] { OK_Click(); });
  connect(Cancel, &QPushButton::clicked, this, [this] { reject(); });
  connect(Browse, &QPushButton::clicked, this, [this] { Browse_Click(); });
  connect(Help, &QPushButton::clicked, this, [this] { Help_Click(); });
}

void FitLimitsForm::InitializeFitLimits() {
  std::string fault;
  limits_ = LoadFitLimits(&fault);
  if (!fault.empty()) MsgBox(fault);
  MaxBoostText->setText(Shown(limits_.BoostLimited() ? limits_.MaxBoostDb : 20));
  MaxFiltersText->setText(Shown(limits_.MaxFilters));
  BassLiftText->setText(Shown(limits_.Target.LiftDb));
  BassCornerText->setText(Shown(limits_.Target.CornerHz));
  TargetFileText->setText(QString::fromStdString(limits_.Target.FileName));
  TargetFlat->setChecked(limits_.Target.Kind == FitTarget::Shape::Flat || !limits_.Target.Set());
  TargetBassLift->setChecked(limits_.Target.Kind == FitTarget::Shape::BassLift);
  TargetFile->setChecked(limits_.Target.Kind == FitTarget::Shape::File);
  LevelText->setText(Shown(limits_.LevelDb));
  BandLowText->setText(Shown(limits_.BandLowHz));
  BandHighText->setText(Shown(limits_.BandHighHz));
  LevelMedian->setChecked(limits_.LevelMode == TargetLevelMode::Median);
  LevelFixed->setChecked(limits_.LevelMode == TargetLevelMode::Level);
  LevelBand->setChecked(limits_.LevelMode == TargetLevelMode::Band);
}

void FitLimitsForm::OK_Click() {
  FitLimits l = limits_;
  double v = 0;
  if (!ValidateNumericTextBox(MaxBoostText, 0, 20, v)) return;
  l.MaxBoostDb = v;
  if (!ValidateNumericTextBox(MaxFiltersText, 1, 75, v)) return;
  l.MaxFilters = CLng(v);
  if (!ValidateNumericTextBox(BassLiftText, 0, 12, v)) return;
  l.Target.LiftDb = v;
  if (!ValidateNumericTextBox(BassCornerText, 40, 300, v)) return;
  l.Target.CornerHz = v;
  if (!ValidateNumericTextBox(LevelText, -200, 200, v)) return;
  l.LevelDb = v;
  if (!ValidateNumericTextBox(BandLowText, 1, 40000, v)) return;
  l.BandLowHz = v;
  if (!ValidateNumericTextBox(BandHighText, l.BandLowHz + 1, 40000, v)) return;
  l.BandHighHz = v;
  l.LevelMode = LevelFixed->isChecked()  ? TargetLevelMode::Level
                : LevelBand->isChecked() ? TargetLevelMode::Band
                                         : TargetLevelMode::Median;
  l.Target.Kind = FitTarget::Shape::Flat;
  if (TargetBassLift->isChecked()) l.Target.Kind = FitTarget::Shape::BassLift;
  if (TargetFile->isChecked()) {
    const std::string fault = LoadTargetFile(TargetFileText->text().toStdString(), l.Target);
    if (!fault.empty()) {
      MsgBox(fault);
      return;
    }
    l.Target.Kind = FitTarget::Shape::File;
  }
  if (!SaveFitLimits(l)) {
    MsgBox("Error 5860: The fit limits could not be stored.");
    return;
  }
  limits_ = l;
  accept();
}

void FitLimitsForm::Browse_Click() {
  FileDialogRequest req;
  req.title = "Open Target Curve";
  req.filter = "Target curves (*.txt;*.csv;*.frd)|*.txt;*.csv;*.frd|All Files (*.*)|*.*";
  const std::optional<std::string> chosen = FileOpenDialog(req);
  if (!chosen || chosen->empty()) return;
  TargetFileText->setText(QString::fromStdString(*chosen));
  TargetFile->setChecked(true);
}

void FitLimitsForm::Help_Click() { ShowHelpTopic(HelpTopic::FitLimits); }

void ShowFitLimits() {
  FitLimitsForm* f = Forms::Get<FitLimitsForm>();
  f->InitializeFitLimits();
  ShowModal(f);
  Forms::Unload<FitLimitsForm>();
}

}  // namespace zentor
