#include "tools/levels_form.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QSignalBlocker>
#include <QSlider>

#include "base/text_number.h"
#include "mainwindow/data_plotter.h"
#include "platform/forms.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

constexpr double kLargestChangeDb = 20;
constexpr int kSliderSteps = 200;  // 0.1 dB each way

}  // namespace

Levels::Levels(QWidget* parent) : QDialog(parent) {
  setObjectName("Levels");
  setWindowTitle("Levels");
  CurveNoText = EntryBox(this, "CurveNoText", "");
  LevelText = EntryBox(this, "LevelText", "0");
  Slider1 = new QSlider(Qt::Horizontal, this);
  Slider1->setObjectName("Slider1");
  Slider1->setRange(-kSliderSteps, kSliderSteps);
  Slider1->setPageStep(10);

  auto* g = new QGridLayout(this);
  g->addWidget(new QLabel("Curve Number", this), 0, 0);
  g->addWidget(CurveNoText, 0, 1);
  g->addWidget(LevelText, 1, 0);
  g->addWidget(new QLabel("dB", this), 1, 1);
  g->addWidget(Slider1, 2, 0, 1, 2);

  connect(LevelText, &QLineEdit::returnPressed, this, [this] { LevelText_KeyPress(13); });
  connect(Slider1, &QSlider::valueChanged, this, &Levels::Slider1_Click);
  connect(Slider1, &QSlider::sliderReleased, this, [this] { Slider1_Change(); });
  Form_Load();
}

void Levels::Form_Load() {
  DataPlotter* p = Forms::Get<DataPlotter>();
  LevelCurveCount = p->GetNumberOfCurves();
  CurveNoText->setText(QString::number(p->GetMainCurveNumber()));
}

bool Levels::ReadCurveNumber() {
  double v = 0;
  if (!ValidateNumericTextBox(CurveNoText, 1, LevelCurveCount, v)) return false;
  LevelCurveNumber = CLng(v);
  return true;
}

void Levels::LevelText_KeyPress(int key) {
  if (key != 13) return;
  double v = 0;
  if (!ValidateNumericTextBox(LevelText, -kLargestChangeDb, kLargestChangeDb, v)) return;
  LevelChangeDb = static_cast<float>(v);
  {
    const QSignalBlocker quiet(Slider1);
    Slider1->setValue(CLng(static_cast<double>(LevelChangeDb) * 10));
  }
  if (!ReadCurveNumber()) return;
  ApplyLevelChange();
}

void Levels::ShowSliderChange() {
  LevelChangeDb = static_cast<float>(Slider1->value()) / 10.0f;
  LevelText->setText(QString::fromStdString(Str(LevelChangeDb)));
}

void Levels::Slider1_Scroll() {
  ShowSliderChange();
  ReadCurveNumber();
}

// A drag commits on release.
void Levels::Slider1_Click() {
  if (Slider1->isSliderDown()) {
    Slider1_Scroll();
  } else {
    ShowSliderChange();
    Slider1_Change();
  }
}

void Levels::Slider1_Change() {
  if (!ReadCurveNumber()) return;
  ApplyLevelChange();
}

void Levels::ApplyLevelChange() {
  DataPlotter* p = Forms::Get<DataPlotter>();
  {
    WaitCursor hourglass;
    // The waterfall and large-room windows show the old level: they go first.
    if (LevelChangeDb != 0 && !p->ClearExtDisplay()) return;
    p->ChangeCurveLevel(LevelCurveNumber, LevelChangeDb);
    p->SetChangeLevels(kTrue);
  }
  LevelChangeDb = 0;
  LevelText->setText(QString::fromStdString(Str(0)));
  const QSignalBlocker quiet(Slider1);
  Slider1->setValue(0);
}

}  // namespace zentor
