#include "mainwindow/file_details.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <cmath>

#include "core/helpers.h"
#include "core/records.h"
#include "base/text_number.h"
#include "mainwindow/data_plotter.h"
#include "platform/forms.h"

namespace zentor {

namespace {

QLineEdit* Field(QWidget* parent, const char* name) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  return e;
}

QLabel* Label(QWidget* parent, const char* text) { return new QLabel(QString::fromUtf8(text), parent); }

}  // namespace

std::string ExcitationTimeText(int32_t exponent, int32_t sampleRate) {
  if (sampleRate <= 0 || exponent < 0 || exponent > 30) return "";
  return FormatDouble(Fix(10.0 * std::ldexp(1.0, exponent) / sampleRate) * 0.1);
}

Form2::Form2() {
  setObjectName("Form2");
  setWindowTitle("File Details");
  auto* grid = new QGridLayout(this);
  FsText = Field(this, "FsText");
  ExciteTime = Field(this, "ExciteTime");
  PreExciteTime = Field(this, "PreExciteTime");
  MicCalName = Field(this, "MicCalName");
  FsLabel = Label(this, "[Hz] Sample Freq");
  ExciteLabel = Label(this, "Excitation time");
  PreExciteLabel = Label(this, "PreExcitation Time");
  UserNotes = new QPlainTextEdit(this);
  UserNotes->setObjectName("UserNotes");
  grid->addWidget(FsText, 0, 0);
  grid->addWidget(FsLabel, 0, 1);
  grid->addWidget(ExciteTime, 1, 0);
  grid->addWidget(ExciteLabel, 1, 1);
  grid->addWidget(PreExciteTime, 2, 0);
  grid->addWidget(PreExciteLabel, 2, 1);
  grid->addWidget(MicCalName, 3, 0, 1, 2);
  grid->addWidget(UserNotes, 4, 0, 1, 2);
  resize(420, 360);
}

void Form2::Form_Load() {
  notesKept_ = false;
  const MeasurementHeader& first = ResultsDataSetInfo[0];
  DataPlotter* plotter = Forms::Get<DataPlotter>();
  if (first.NumInSet > 0) {
    setWindowTitle("File Details");
    MicCalName->setText(QString::fromStdString(GetFileNameFromPath(ActiveMicCal.FileName)));
    FsText->setText(QString::number(first.SampleRate));
    ExciteTime->setText(QString::fromStdString(ExcitationTimeText(first.PeriodExponent, first.SampleRate)));
    PreExciteTime->setText(
        QString::fromStdString(ExcitationTimeText(first.PreExcitationExponent, first.SampleRate)));
    UserNotes->setPlainText(QString::fromStdString(plotter->GetUserNotes()));
  } else {
    FsText->clear();
    PreExciteTime->clear();
    ExciteTime->clear();
    MicCalName->setText("No File Loaded");
    UserNotes->setPlainText("No File Loaded");
    setWindowTitle("No File Loaded");
  }
}

void Form2::Form_QueryUnload(int16_t& /*Cancel*/) {
  if (notesKept_) return;
  notesKept_ = true;
  Forms::Get<DataPlotter>()->SetUserNotes(UserNotes->toPlainText().toStdString());
}

void Form2::done(int r) {
  int16_t cancel = 0;
  Form_QueryUnload(cancel);
  QDialog::done(r);
}

}  // namespace zentor
