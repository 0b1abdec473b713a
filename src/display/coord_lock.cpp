#include "display/coord_lock.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>
#include <utility>

#include "base/text_number.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

// One row of a frame: box, unit label, box, and an optional closing label.
void Row(QGridLayout* grid, int row, QLineEdit* a, const char* between, QLineEdit* b, const char* after = nullptr) {
  grid->addWidget(a, row, 0);
  grid->addWidget(new QLabel(between), row, 1);
  grid->addWidget(b, row, 2);
  if (after) grid->addWidget(new QLabel(after), row, 3);
}

QGroupBox* Frame(QWidget* parent, const char* caption) {
  auto* f = new QGroupBox(caption, parent);
  new QGridLayout(f);
  return f;
}

QGridLayout* GridOf(QGroupBox* f) { return static_cast<QGridLayout*>(f->layout()); }

}  // namespace

CoOrdLock::CoOrdLock(QWidget* parent) : QDialog(parent) {
  setObjectName("CoOrdLock");
  setWindowTitle("Coordinate Lock");

  QGroupBox* time = Frame(this, "Time Response");
  TimeStart = EntryBox(time, "TimeStart");
  TimeFinish = EntryBox(time, "TimeFinish");
  Row(GridOf(time), 0, TimeStart, " ms -", TimeFinish, " ms");

  QGroupBox* freq = Frame(this, "Frequency Response");
  FreqDomainStartFreq = EntryBox(freq, "FreqDomainStartFreq");
  FreqDomainFinishFreq = EntryBox(freq, "FreqDomainFinishFreq");
  FreqHighLevel = EntryBox(freq, "FreqHighLevel");
  FreqLowLevel = EntryBox(freq, "FreqLowLevel");
  Row(GridOf(freq), 0, FreqDomainStartFreq, "Hz -", FreqDomainFinishFreq, " Hz");
  Row(GridOf(freq), 1, FreqHighLevel, " dB -", FreqLowLevel, " dB");

  QGroupBox* noise = Frame(this, "Signal/Noise");
  NoiseFreqStart = EntryBox(noise, "NoiseFreqStart");
  NoiseFreqFinish = EntryBox(noise, "NoiseFreqFinish");
  NoiseHighLevel = EntryBox(noise, "NoiseHighLevel");
  NoiseLowLevel = EntryBox(noise, "NoiseLowLevel");
  Row(GridOf(noise), 0, NoiseFreqStart, " Hz -", NoiseFreqFinish);
  Row(GridOf(noise), 1, NoiseHighLevel, " dB -", NoiseLowLevel);

  OKBut = new QPushButton("OK", this);
  OKBut->setObjectName("OKBut");
  connect(OKBut, &QPushButton::clicked, this, [this] { OKBut_Click(); });

  auto* layout = new QVBoxLayout(this);
  for (QGroupBox* f : {time, freq, noise}) layout->addWidget(f);
  layout->addWidget(OKBut, 0, Qt::AlignRight);
  Form_Load();
}

void CoOrdLock::Form_Load() {
  const CoOrdLockLimitsRecord& l = CoOrdLockLimits;
  const std::pair<QLineEdit*, float> shown[] = {
      {TimeStart, l.TimeStart},           {TimeFinish, l.TimeFinish},
      {FreqDomainStartFreq, l.FreqDomainStartFreq}, {FreqDomainFinishFreq, l.FreqDomainFinishFreq},
      {FreqHighLevel, l.FreqHighLevel},   {FreqLowLevel, l.FreqLowLevel},
      {NoiseFreqStart, l.NoiseFreqStart}, {NoiseFreqFinish, l.NoiseFreqFinish},
      {NoiseHighLevel, l.NoiseHighLevel}, {NoiseLowLevel, l.NoiseLowLevel}};
  for (const auto& [box, value] : shown) box->setText(QString::fromStdString(FormatSingle(value)));
  CoOrdLockWorkCopy = l;
}

void CoOrdLock::OKBut_Click() {
  CoOrdLockLimitsRecord& w = CoOrdLockWorkCopy;
  // Each bound is read when its check runs, after the earlier checks updated w.
  struct Check {
    QLineEdit* box;
    float* field;
    std::function<double()> min, max;
  };
  auto fixed = [](double v) { return [v] { return v; }; };
  auto field = [](const float& f) { return [&f] { return double(f); }; };
  const Check checks[] = {
      {TimeStart, &w.TimeStart, fixed(-5), field(w.TimeFinish)},
      {TimeFinish, &w.TimeFinish, field(w.TimeStart), fixed(30)},
      {NoiseHighLevel, &w.NoiseHighLevel, field(w.NoiseLowLevel), fixed(90)},
      {NoiseLowLevel, &w.NoiseLowLevel, fixed(-15), field(w.NoiseHighLevel)},
      {NoiseFreqStart, &w.NoiseFreqStart, fixed(1), field(w.NoiseFreqFinish)},
      {NoiseFreqFinish, &w.NoiseFreqFinish, field(w.NoiseFreqStart), fixed(20000)},
      {FreqHighLevel, &w.FreqHighLevel, field(w.FreqLowLevel), fixed(90)},
      {FreqLowLevel, &w.FreqLowLevel, fixed(-90), field(w.FreqHighLevel)},
      {FreqDomainStartFreq, &w.FreqDomainStartFreq, fixed(1), field(w.FreqDomainFinishFreq)},
      {FreqDomainFinishFreq, &w.FreqDomainFinishFreq, field(w.FreqDomainStartFreq), fixed(20000)},
  };
  for (const Check& c : checks) {
    double v = *c.field;
    if (!ValidateNumericTextBox(c.box, c.min(), c.max(), v)) return;
    *c.field = static_cast<float>(v);
  }
  CoOrdLockLimits = w;
}

void ShowCoOrdLockWindow() {
  ShowModal(Forms::Get<CoOrdLock>());
  // Closing the window ends its working copy; the next opening starts from the limits in force.
  Forms::Unload<CoOrdLock>();
}

}  // namespace zentor
