#include "crossover/xover_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <charconv>
#include <cmath>

#include "base/text_number.h"
#include "core/helpers.h"
#include "display/graph_frame.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/measurement_file.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

const char* const kXoverTitle = "Mirabelt Zentor Xover";
const char* const kXvrTitle = "Open Zentor *.XVR File";
const char* const kXvrFilter = "Zentor XOver files (*.XVR)|*.XVR";

DataPlotter* Plotter() { return Forms::Get<DataPlotter>(); }

// Shortest text that reads back as the same single-precision value.
QString Num(float v) {
  std::array<char, 32> buf{};
  const auto end = std::to_chars(buf.data(), buf.data() + buf.size(), v).ptr;
  return QString::fromLatin1(buf.data(), end - buf.data());
}
QString Num(int32_t v) { return QString::number(v); }

// Whole microseconds, the fraction cut off. The nudge keeps a value already whole in
// microseconds (1.234 held as 1.2339999 in single precision) from losing one.
float CutToMicroseconds(double ms) { return static_cast<float>(std::trunc(ms * 1000.0 + 1e-3) * 0.001); }

}  // namespace

void FilterTypeName(QLineEdit* box, int32_t code) {
  const std::string caption = XoverTypeCaption(code);
  if (!caption.empty()) box->setText(QString::fromStdString(caption));
}

XoverForm::XoverForm() {
  setObjectName("XoverForm");
  setWindowTitle("DSP Crossover Modeling");
  auto* top = new QGridLayout(this);
  auto* stack = new QWidget(this);
  auto* stackLayout = new QGridLayout(stack);
  stackLayout->setContentsMargins(0, 0, 0, 0);
  for (int32_t i = 0; i < 3; ++i) {
    BuildSetFrame(i);
    stackLayout->addWidget(SetFrame[size_t(i)], 0, 0);
  }
  Set1Frame = SetFrame[0];
  Set2Frame = SetFrame[1];
  Set3Frame = SetFrame[2];
  top->addWidget(stack, 0, 0, 2, 1);

  Frame1 = new QGroupBox("Filter", this);
  auto* f1 = new QGridLayout(Frame1);
  SampleText = new QLineEdit(Frame1);
  SampleText->setReadOnly(true);
  Text1 = new QPlainTextEdit(Frame1);
  Text1->setReadOnly(true);
  Text1->setFixedHeight(70);
  TwoWay = new QRadioButton("2 spkr", Frame1);
  ThreeWay = new QRadioButton("3 Spkr", Frame1);
  OpenXover = new QPushButton("Open", Frame1);
  SaveXover = new QPushButton("Save", Frame1);
  f1->addWidget(SampleText, 0, 0, 1, 2);
  f1->addWidget(Text1, 1, 0, 1, 2);
  f1->addWidget(TwoWay, 2, 0);
  f1->addWidget(ThreeWay, 2, 1);
  f1->addWidget(OpenXover, 3, 0);
  f1->addWidget(SaveXover, 3, 1);
  top->addWidget(Frame1, 0, 1);

  Frame2 = new QGroupBox("Load / View", this);
  auto* f2 = new QGridLayout(Frame2);
  LoadBut = new QPushButton("Load", Frame2);
  ShowSumAll = new QRadioButton("Sum", Frame2);
  ShowSet1 = new QRadioButton("Set1", Frame2);
  ShowSet2 = new QRadioButton("Set2", Frame2);
  ShowSet3 = new QRadioButton("Set3", Frame2);
  Command3 = new QPushButton("Help", Frame2);
  f2->addWidget(LoadBut, 0, 0);
  f2->addWidget(Command3, 0, 1);
  f2->addWidget(ShowSumAll, 1, 0);
  f2->addWidget(ShowSet1, 1, 1);
  f2->addWidget(ShowSet2, 2, 0);
  f2->addWidget(ShowSet3, 2, 1);
  top->addWidget(Frame2, 1, 1);

  connect(TwoWay, &QRadioButton::clicked, this, [this] { SetTwoWay(); });
  connect(ThreeWay, &QRadioButton::clicked, this, [this] { SetThreeWay(); });
  connect(OpenXover, &QPushButton::clicked, this, [this] { OpenXover_Click(); });
  connect(SaveXover, &QPushButton::clicked, this, [this] { SaveXoverFile(); });
  connect(LoadBut, &QPushButton::clicked, this, [this] { LoadBut_Click(); });
  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  for (QRadioButton* b : {ShowSumAll, ShowSet1, ShowSet2, ShowSet3})
    connect(b, &QRadioButton::clicked, this, [this] { RunXoverModel(); });
}

void XoverForm::BuildSetFrame(int32_t i) {
  const size_t s = size_t(i);
  auto* frame = new QGroupBox(QString("Set %1").arg(i + 1), this);
  frame->setObjectName(QString("Set%1Frame").arg(i + 1));
  frame->setAutoFillBackground(true);
  SetFrame[s] = frame;
  auto* g = new QGridLayout(frame);
  const auto edit = [&](int w = 60) {
    auto* e = new QLineEdit(frame);
    e->setFixedWidth(w);
    connect(e, &QLineEdit::textChanged, this, [this] { XoverSaved = false; });
    return e;
  };
  const auto check = [&](const char* caption) {
    auto* c = new QCheckBox(caption, frame);
    connect(c, &QCheckBox::clicked, this, [this] { XoverSaved = false; });
    return c;
  };
  const auto button = [&](const char* caption) { return new QPushButton(caption, frame); };
  g->addWidget(new QLabel("Hz", frame), 0, 1);
  g->addWidget(new QLabel("Order", frame), 0, 2);
  g->addWidget(new QLabel("Type", frame), 0, 3);
  int row = 1;
  const auto section = [&](std::array<QCheckBox*, 3>& on, const char* caption, std::array<QLineEdit*, 3>& freq,
                           std::array<QLineEdit*, 3>& order, std::array<QLineEdit*, 3>& text,
                           std::array<QPushButton*, 3>& but, int32_t kind) {
    on[s] = check(caption);
    freq[s] = edit();
    order[s] = edit(40);
    text[s] = edit(110);
    text[s]->setReadOnly(true);
    text[s]->setText("No Filter");
    but[s] = button("Type");
    connect(but[s], &QPushButton::clicked, this, [this, kind, i] { TypeBut_Click(kind, i); });
    g->addWidget(on[s], row, 0);
    g->addWidget(freq[s], row, 1);
    g->addWidget(order[s], row, 2);
    g->addWidget(text[s], row, 3);
    g->addWidget(but[s], row, 4);
    ++row;
  };
  section(HPFilterCheck, "HP Filter1", HPFreq, HPFilterOrder, HPText, HPBut, 0);
  section(HPFilterCheck1, "HP Filter2", HPFreq1, HPFilterOrder1, HPText1, HPBut1, 1);
  section(LPFilterCheck, "LP Filter1", LPFreq, LPFilterOrder, LPText, LPBut, 2);
  section(LPFilterCheck1, "LP Filter2", LPFreq1, LPFilterOrder1, LPText1, LPBut1, 3);
  const auto shelf = [&](std::array<QCheckBox*, 3>& on, const char* caption, std::array<QLineEdit*, 3>& freq,
                         std::array<QLineEdit*, 3>& level) {
    on[s] = check(caption);
    freq[s] = edit();
    level[s] = edit(40);
    g->addWidget(on[s], row, 0);
    g->addWidget(freq[s], row, 1);
    g->addWidget(level[s], row, 2);
    g->addWidget(new QLabel("dB", frame), row, 3);
    ++row;
  };
  shelf(ShelfCheck, "LP Shelf1", ShelfText, ShelfLevel);
  shelf(ShelfCheck1, "LP Shelf2", ShelfText1, ShelfLevel1);
  GainText[s] = edit();
  GainText[s]->setText("0");
  DelayText[s] = edit();
  DelayText[s]->setText("0");
  g->addWidget(GainText[s], row, 1);
  g->addWidget(new QLabel("dB Gain", frame), row, 2);
  Invert[s] = check("Invert");
  g->addWidget(Invert[s], row, 3);
  ++row;
  g->addWidget(DelayText[s], row, 1);
  g->addWidget(new QLabel("ms Delay", frame), row, 2);
  EQOn[s] = check("EQ On");
  g->addWidget(EQOn[s], row, 3);
  ++row;
  BiquadFile[s] = edit(220);
  BiquadFile[s]->setReadOnly(true);
  FilterSetBut[s] = button("File");
  connect(FilterSetBut[s], &QPushButton::clicked, this, [this, i] { FilterSetBut_Click(i); });
  g->addWidget(new QLabel("Biquad Filter Filename", frame), row, 0);
  g->addWidget(BiquadFile[s], row, 1, 1, 3);
  g->addWidget(FilterSetBut[s], row, 4);
  ++row;
  Set1[s] = button("Set1");
  Set2[s] = button("Set2");
  Set3[s] = button("Set3");
  connect(Set1[s], &QPushButton::clicked, this, [this] { ShowXoverSetFrame(0); });
  connect(Set2[s], &QPushButton::clicked, this, [this] { ShowXoverSetFrame(1); });
  connect(Set3[s], &QPushButton::clicked, this, [this] { ShowXoverSetFrame(2); });
  g->addWidget(Set1[s], row, 0);
  g->addWidget(Set2[s], row, 1);
  g->addWidget(Set3[s], row, 2);
}

// ---- Records and controls --------------------------------------------------------------

bool XoverForm::StoreXoverControls() {
  for (XoverSetRecord& r : XoverSets) r.Ways = XoverWays;
  // The checker passes over disabled fields, and the frames behind are disabled.
  const int32_t front = CurrentSet;
  for (QGroupBox* f : SetFrame) f->setEnabled(true);
  bool allValid = true;
  for (int32_t i = 0; i < XoverWays && i < 3; ++i) {
    const size_t s = size_t(i);
    XoverSetRecord& r = XoverSets[s];
    const auto on = [](QCheckBox* c) { return c->isChecked() ? 1 : 0; };
    r.HPOn = on(HPFilterCheck[s]);
    r.HP2On = on(HPFilterCheck1[s]);
    r.LPOn = on(LPFilterCheck[s]);
    r.LP2On = on(LPFilterCheck1[s]);
    r.InvertFlag = static_cast<int16_t>(on(Invert[s]));
    r.Shelf1On = on(ShelfCheck[s]);
    r.Shelf2On = on(ShelfCheck1[s]);
    r.EQFileOn = on(EQOn[s]);
    const auto check = [&](bool condition, QLineEdit* box, double lo, double hi, auto store) {
      if (!condition) return;
      double v = 0;
      if (ValidateNumericTextBox(box, lo, hi, v)) {
        store(v);
      } else {
        allValid = false;
        ShowXoverSetFrame(i);
        for (QGroupBox* f : SetFrame) f->setEnabled(true);
      }
    };
    const auto single = [](float& field) { return [&field](double v) { field = static_cast<float>(v); }; };
    const auto whole = [](int32_t& field) { return [&field](double v) { field = static_cast<int32_t>(std::nearbyint(v)); }; };
    check(r.HPOn == 1, HPFreq[s], 15, 15000, single(r.HPCorner));
    check(r.HPOn == 1, HPFilterOrder[s], 0, 8, whole(r.HPOrder));
    check(r.HP2On == 1, HPFreq1[s], 15, 15000, single(r.HP2Corner));
    check(r.HP2On == 1, HPFilterOrder1[s], 0, 8, whole(r.HP2Order));
    check(r.LPOn == 1, LPFreq[s], 15, 15000, single(r.LPCorner));
    check(r.LPOn == 1, LPFilterOrder[s], 0, 8, whole(r.LPOrder));
    check(r.LP2On == 1, LPFreq1[s], 15, 15000, single(r.LP2Corner));
    check(r.LP2On == 1, LPFilterOrder1[s], 0, 8, whole(r.LP2Order));
    check(r.Shelf1On == 1, ShelfText[s], 15, 15000, whole(r.Shelf1Freq));
    check(r.Shelf2On == 1, ShelfText1[s], 15, 15000, whole(r.Shelf2Freq));
    check(r.Shelf1On == 1, ShelfLevel[s], -10, 10, single(r.Shelf1Level));
    check(r.Shelf2On == 1, ShelfLevel1[s], -10, 10, single(r.Shelf2Level));
    check(true, GainText[s], -20, 20, single(r.GainDb));
    check(true, DelayText[s], 0, 2, [&r](double v) { r.DelayMs = CutToMicroseconds(v); });
  }
  ShowXoverSetFrame(allValid ? front : CurrentSet);
  return allValid;
}

void XoverForm::ShowXoverSet() {
  if (XoverSets[0].Ways == 3)
    SetThreeWay();
  else
    SetTwoWay();
  ShowXoverSetFrame(0);
  for (size_t s = 0; s < 3; ++s) {
    const XoverSetRecord& r = XoverSets[s];
    Invert[s]->setChecked(r.InvertFlag == 1);
    EQOn[s]->setChecked(r.EQFileOn == 1);
    GainText[s]->setText(Num(r.GainDb));
    DelayText[s]->setText(Num(CutToMicroseconds(r.DelayMs)));
    ShelfCheck[s]->setChecked(r.Shelf1On == 1);
    ShelfText[s]->setText(Num(r.Shelf1Freq));
    ShelfLevel[s]->setText(Num(r.Shelf1Level));
    ShelfCheck1[s]->setChecked(r.Shelf2On == 1);
    ShelfText1[s]->setText(Num(r.Shelf2Freq));
    ShelfLevel1[s]->setText(Num(r.Shelf2Level));
    LPFilterCheck[s]->setChecked(r.LPOn == 1);
    HPFilterCheck[s]->setChecked(r.HPOn == 1);
    LPFreq[s]->setText(Num(r.LPCorner));
    HPFreq[s]->setText(Num(r.HPCorner));
    HPFilterOrder[s]->setText(Num(r.HPOrder));
    LPFilterOrder[s]->setText(Num(r.LPOrder));
    FilterTypeName(HPText[s], r.HPType);
    FilterTypeName(LPText[s], r.LPType);
    LPFilterCheck1[s]->setChecked(r.LP2On == 1);
    HPFilterCheck1[s]->setChecked(r.HP2On == 1);
    LPFreq1[s]->setText(Num(r.LP2Corner));
    HPFreq1[s]->setText(Num(r.HP2Corner));
    HPFilterOrder1[s]->setText(Num(r.HP2Order));
    LPFilterOrder1[s]->setText(Num(r.LP2Order));
    FilterTypeName(HPText1[s], r.HP2Type);
    FilterTypeName(LPText1[s], r.LP2Type);
  }
  XoverWays = XoverSets[0].Ways == 3 ? 3 : 2;
  for (size_t s = 0; s < 3; ++s) BiquadFile[s]->setText(QString::fromStdString(XoverEQPath(XoverSets[s])));
}

void XoverForm::ShowXoverSetFrame(int32_t k) {
  CurrentSet = std::clamp(k, 0, 2);
  for (int32_t i = 0; i < 3; ++i) {
    QGroupBox* f = SetFrame[size_t(i)];
    f->setEnabled(i == CurrentSet);
    f->setVisible(i == CurrentSet);
  }
  SetFrame[size_t(CurrentSet)]->raise();
}

void XoverForm::SetTwoWay() {
  TwoWay->setChecked(true);
  XoverWays = 2;
  for (size_t s = 0; s < 3; ++s) {
    Set3[s]->setEnabled(false);
    XoverSets[s].Ways = 2;
  }
  ShowSet3->setEnabled(false);
  Text1->clear();
  Text1->setPlainText("Curves 0,2,4..etc = Set 1\nCurves 1,3,5..etc = Set 2\n");
}

void XoverForm::SetThreeWay() {
  ThreeWay->setChecked(true);
  XoverWays = 3;
  for (size_t s = 0; s < 3; ++s) {
    Set3[s]->setEnabled(true);
    XoverSets[s].Ways = 3;
  }
  ShowSet3->setEnabled(true);
  Text1->clear();
  Text1->setPlainText("Curves 0,3,6..etc = Set 1\nCurves 1,4,7..etc = Set 2\nCurves 2,5,8..etc = Set 3\n");
}

// ---- Commands ---------------------------------------------------------------------------

void XoverForm::OpenXover_Click() {
  const auto path = FileOpenDialog({kXvrTitle, kXvrFilter, "", XoverFilePath});
  if (!path) return;
  XoverFilePath = *path;
  if (!ReadXoverFile(*path, XoverSets)) {
    MsgBox("Error 8726");
    return;
  }
  ShowXoverSet();
  XoverSaved = true;
}

void XoverForm::SaveXoverFile() {
  if (!StoreXoverControls()) return;
  const auto path = FileSaveDialog({kXvrTitle, kXvrFilter, "", XoverFilePath, "XVR"});
  if (!path) return;
  XoverFilePath = *path;
  if (!WriteXoverFile(*path, XoverSets)) {
    MsgBox("Error 8727");
    return;
  }
  XoverSaved = true;
}

void XoverForm::FilterSetBut_Click(int32_t i) {
  if (i < 0 || i > 2) return;
  const size_t s = size_t(i);
  const auto path = FileOpenDialog({"Open Zentor *.EQ File", "Zentor EQ files (*.EQ)|*.EQ", "", ""});
  if (!path) return;
  XoverSets[s].EQPathLength = 0;
  if (!LoadXoverEQFile(*path, XoverEQFilters) || !TakeXoverEQFilters(XoverSets[s], *path, XoverEQFilters)) {
    BiquadFile[s]->clear();
    return;
  }
  BiquadFile[s]->setText(QString::fromStdString(GetFileNameFromPath(*path)));
}

void XoverForm::TypeBut_Click(int32_t kind, int32_t i) {
  if (kind < 0 || kind > 3 || i < 0 || i > 2) return;
  static constexpr std::array<int32_t, 4> kCodes{0, 13, 11, 12};
  int32_t& counter = TypeCounters[size_t(kind)];
  counter = (counter + 1) % 4;
  const int32_t code = kCodes[size_t(counter)];
  XoverSetRecord& r = XoverSets[size_t(i)];
  const size_t s = size_t(i);
  switch (kind) {
    case 0: r.HPType = code; FilterTypeName(HPText[s], code); break;
    case 1: r.HP2Type = code; FilterTypeName(HPText1[s], code); break;
    case 2: r.LPType = code; FilterTypeName(LPText[s], code); break;
    default: r.LP2Type = code; FilterTypeName(LPText1[s], code); break;
  }
}

XoverView XoverForm::SelectedView() const {
  if (ShowSet1->isChecked()) return XoverView::Set1;
  if (ShowSet2->isChecked()) return XoverView::Set2;
  if (ShowSet3->isChecked()) return XoverView::Set3;
  if (ShowSumAll->isChecked()) return XoverView::Sum;
  return XoverView::None;
}

void XoverForm::LoadBut_Click() {
  if (Model.N0 != 0) RunXoverModel();
}

void XoverForm::RunXoverModel() {
  StoreXoverControls();
  zentor::RunXoverModel(Model, XoverSets, SelectedView(), *Plotter());
}

void XoverForm::Command3_Click() { ShowHelpTopic(1160); }

// ---- Window life ------------------------------------------------------------------------

void XoverForm::ShowXover() {
  if (!loaded_) Form_Load();
  show();
  raise();
  activateWindow();
}

void XoverForm::Form_Load() {
  loaded_ = true;
  closing_ = false;
  adjustSize();
  keptSize_ = size();
  setFixedSize(keptSize_);
  ClearXoverSets(XoverSets);
  Model.TakeBackup();
  if (Model.N0 == 0)
    SampleText->setText("No Measurement Loaded");
  else
    SampleText->setText(QString(" Fs=%1 Hz").arg(Model.SavedHeaders[0].SampleRate));
  ShowXoverSet();
  XoverSaved = true;
}

void XoverForm::Form_Resize() {
  if (loaded_ && size() != keptSize_) resize(keptSize_);
}

void XoverForm::AskSaveSets() {
  if (XoverSaved) return;
  if (MsgBox("Save XOverFile ?", MsgButtons::YesNo, MsgIcon::Exclamation, std::string(kXoverTitle) + "\"") ==
      MsgAnswer::Yes)
    SaveXoverFile();
}

void XoverForm::Form_Unload() {
  if (!loaded_ || closing_) return;
  closing_ = true;
  AskSaveSets();
  loaded_ = false;
}

bool XoverForm::UserClose() {
  if (Model.N0 != 0) {
    const MsgAnswer a = MsgBox("Restore Original Measured Data ?", MsgButtons::YesNoCancel, MsgIcon::Exclamation,
                               kXoverTitle);
    if (a == MsgAnswer::Cancel) return false;
    if (a == MsgAnswer::Yes) Model.RestoreBackup();
    AskSaveSets();
    Plotter()->ShowNewGraphic();
  } else {
    AskSaveSets();
  }
  closing_ = true;
  loaded_ = false;
  return true;
}

void XoverForm::closeEvent(QCloseEvent* e) {
  if (closing_ || UserClose()) {
    e->accept();
    // Gone from the registry too, so the next opening loads afresh; an opening in
    // between has loaded it again and keeps it.
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (!loaded_) Forms::Unload<XoverForm>();
        },
        Qt::QueuedConnection);
  } else {
    e->ignore();
  }
}

void XoverForm::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  Form_Resize();
}

// ---- Main window side ---------------------------------------------------------------------

void SetMainDisplayForXover() {
  DisplayConfig.Graphshown = 6;
  DisplayConfig.FractOctSelected = kTrue;
  ResultsDataSetInfo[0].FractOctRes = 0.1f;
  ResultsDataSetInfo[0].FractOctGateTime = 200.0f;
  FreqGraphFrame.LogX = -1;
  Plotter()->FreqBut_Click();
}

void OpenXoverWindow() {
  if (Forms::IsLoaded<XoverForm>() && Forms::Get<XoverForm>()->IsFormLoaded()) {
    Forms::Get<XoverForm>()->ShowXover();
    return;
  }
  DataPlotter* p = Plotter();
  if (ResultsDataSetInfo[0].NumInSet >= 1) {
    if (p->ResultsTakenButNotSaved != 0 &&
        MsgBox("Save Measurement Results ?", MsgButtons::YesNo, MsgIcon::Exclamation) == MsgAnswer::Yes)
      SaveMeasurementFile();
    if (MsgBox("Data should be sampled at the hardware DSP crossover frequency selected. Resample loaded file?",
               MsgButtons::YesNo, MsgIcon::Exclamation) == MsgAnswer::Yes)
      p->OpenResampleWindow();
  }
  SetMainDisplayForXover();
  Forms::Get<XoverForm>()->ShowXover();
}

}  // namespace zentor
