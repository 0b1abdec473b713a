#include "eqdesign/numerical_options.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "base/text_number.h"
#include "mainwindow/data_plotter.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

QGroupBox* Frame(QWidget* parent, const char* caption) {
  auto* f = new QGroupBox(caption, parent);
  new QGridLayout(f);
  return f;
}

// A field with its caption to the right, on the next row of the frame.
void AddRow(QGroupBox* frame, QLineEdit* box, const char* caption) {
  auto* g = static_cast<QGridLayout*>(frame->layout());
  const int row = g->rowCount();
  g->addWidget(box, row, 0);
  g->addWidget(new QLabel(caption, frame), row, 1);
}

QString Shown(float x) { return QString::fromStdString(FormatSingle(x)); }

}  // namespace

Numerical::Numerical(QWidget* parent) : QDialog(parent) {
  setObjectName("Numerical");
  setWindowTitle("DSP/EQ Options");

  QGroupBox* range = Frame(this, "Freq Range");
  MinFreqText = EntryBox(range, "MinFreqText");
  MaxFreqText = EntryBox(range, "MaxFreqText");
  auto* rg = static_cast<QGridLayout*>(range->layout());
  rg->addWidget(MinFreqText, 0, 0);
  rg->addWidget(new QLabel("Hz to", range), 0, 1);
  rg->addWidget(MaxFreqText, 0, 2);

  QGroupBox* advanced = Frame(this, "Advanced");
  SecondaryPolishWidthText = EntryBox(advanced, "SecondaryPolishWidthText");
  DampingText = EntryBox(advanced, "DampingText");
  PolishingEffortText = EntryBox(advanced, "PolishingEffortText");
  AddRow(advanced, SecondaryPolishWidthText, "BW / STD Weight");
  AddRow(advanced, DampingText, "Damping");
  AddRow(advanced, PolishingEffortText, "Polishing Effort");

  QGroupBox* speaker = Frame(this, "Test Loudspeaker");
  LoudspeakerText = EntryBox(speaker, "LoudspeakerText");
  AddRow(speaker, LoudspeakerText, "LF Alignment");

  QGroupBox* room = Frame(this, "Test Room");
  MaxDecayText = EntryBox(room, "MaxDecayText");
  SchroederText = EntryBox(room, "SchroederText");
  AddRow(room, MaxDecayText, "Max Decay  [sec / -60 dB]");
  AddRow(room, SchroederText, "Hz Schroeder");

  QGroupBox* target = Frame(this, "Target EQ");
  MinQText = EntryBox(target, "MinQText");
  AddRow(target, MinQText, "Q Min");

  QGroupBox* similarities = Frame(this, "Similarities");
  SortSmallest = new QRadioButton("Sort By Smallest", similarities);
  SortSmallest->setObjectName("SortSmallest");
  SortLargest = new QRadioButton("Sort By Largest", similarities);
  SortLargest->setObjectName("SortLargest");
  similarities->layout()->addWidget(SortSmallest);
  similarities->layout()->addWidget(SortLargest);

  ApplyFiltersCheck = new QCheckBox("Apply EQ Filters into curve fit", this);
  ApplyFiltersCheck->setObjectName("ApplyFiltersCheck");
  Set = new QPushButton("Apply", this);
  Set->setObjectName("Set");
  Command2 = new QPushButton("Help", this);
  Command2->setObjectName("Command2");

  auto* g = new QGridLayout(this);
  g->addWidget(range, 0, 0);
  g->addWidget(target, 0, 1);
  g->addWidget(advanced, 1, 0);
  g->addWidget(room, 1, 1);
  g->addWidget(speaker, 2, 0);
  g->addWidget(similarities, 2, 1);
  g->addWidget(ApplyFiltersCheck, 3, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Set);
  buttons->addWidget(Command2);
  g->addLayout(buttons, 4, 0, 1, 2);

  connect(Set, &QPushButton::clicked, this, [this] { Set_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
}

void Numerical::InitializeNumericalValues() {
  const DataPlotter* p = Forms::Get<DataPlotter>();
  minFreq_ = p->GetModalCurveMinFreq();
  maxFreq_ = p->GetModalCurveMaxFreq();
  maxDecay_ = p->GetModalCurveMaxDecay();
  initialLoops_ = CLng(p->GetModalCurveNumInitialLoops());
  secondaryPolishWidth_ = p->GetModalCurveSecondaryPolishWidth();
  damping_ = p->GetModalCurveDamping();
  loudspeakerOrder_ = p->GetLoudspeakerOrder();
  qMinimum_ = p->GetModalQMinimum();
  schroederFreq_ = p->GetModalSchroederFreq();

  // Each value came from a Single, so it is shown as one.
  SchroederText->setText(Shown(schroederFreq_));
  MinQText->setText(Shown(qMinimum_));
  MaxDecayText->setText(Shown(static_cast<float>(maxDecay_)));
  MaxFreqText->setText(Shown(static_cast<float>(maxFreq_)));
  SecondaryPolishWidthText->setText(Shown(static_cast<float>(secondaryPolishWidth_)));
  LoudspeakerText->setText(QString::number(loudspeakerOrder_));
  PolishingEffortText->setText(QString::number(initialLoops_));
  MinFreqText->setText(QString::fromStdString(FormatDouble(Fix(minFreq_))));
  // Two decimals, cut rather than rounded; scaled in single precision so that a
  // damping such as 0.57 is not cut to 0.56.
  const double hundredths = Fix(static_cast<float>(damping_) * 100.0f);
  DampingText->setText(QString::fromStdString(FormatDouble(hundredths * 0.01)));

  const bool largest = p->GetSimSort() == "True";
  SortLargest->setChecked(largest);
  SortSmallest->setChecked(!largest);
  ApplyFiltersCheck->setChecked(p->GetIncludeFilters() != 0);
}

void Numerical::Set_Click() {
  DataPlotter* p = Forms::Get<DataPlotter>();
  // The inclusion is taken over first and stands even when a field is refused.
  p->IncludeExistingFiltersinFit(ApplyFiltersCheck->isChecked() ? 1 : 0);

  double v = 0;
  if (!ValidateNumericTextBox(MinFreqText, 12, 20000, v)) return;
  minFreq_ = v;
  if (!ValidateNumericTextBox(MaxFreqText, minFreq_ + 1, 20000, v)) return;
  maxFreq_ = v;
  if (!ValidateNumericTextBox(SecondaryPolishWidthText, 0.25, 4, v)) return;
  secondaryPolishWidth_ = v;
  if (!ValidateNumericTextBox(DampingText, 0.5, 1, v)) return;
  damping_ = v;
  if (!ValidateNumericTextBox(PolishingEffortText, 1, 100, v)) return;
  initialLoops_ = CLng(v);
  if (!ValidateNumericTextBox(LoudspeakerText, 2, 8, v)) return;
  loudspeakerOrder_ = CLng(v);
  if (!ValidateNumericTextBox(MaxDecayText, 1, 3, v)) return;
  maxDecay_ = v;
  if (!ValidateNumericTextBox(MinQText, 0.01, 5, v)) return;
  qMinimum_ = static_cast<float>(v);
  if (!ValidateNumericTextBox(SchroederText, 20, 300, v)) return;
  schroederFreq_ = static_cast<float>(v);

  p->SetSimSort(SortLargest->isChecked());
  p->SetModalNumericalConstants(curve_, static_cast<float>(minFreq_), static_cast<float>(maxFreq_),
                                static_cast<float>(maxDecay_), static_cast<float>(secondaryPolishWidth_),
                                initialLoops_, static_cast<float>(damping_), loudspeakerOrder_, qMinimum_,
                                schroederFreq_);
}

void Numerical::Command2_Click() { ShowHelpTopic(HelpTopic::Numerical); }

void ShowNumericalOptions() {
  Numerical* n = Forms::Get<Numerical>();
  n->InitializeNumericalValues();
  ShowModal(n);
  Forms::Unload<Numerical>();
}

}  // namespace zentor
