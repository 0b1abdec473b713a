#include "display/color_form.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "base/shared_state.h"
#include "display/plot_colours.h"

namespace zentor {

ColorFormLinks ColorFormHooks;

namespace {
SharedStateRegistrar g_reset([] { ColorFormHooks = ColorFormLinks{}; });

}  // namespace

ColourBox::ColourBox(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::Box);
  setAutoFillBackground(true);
  setFixedSize(60, 30);
  setCursor(Qt::PointingHandCursor);
}

void ColourBox::SetBackColor(ColourRef c) {
  colour_ = c;
  QPalette p = palette();
  p.setColor(QPalette::Window, QColor(RedOf(c), GreenOf(c), BlueOf(c)));
  setPalette(p);
}

void ColourBox::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && onClick) onClick();
  QFrame::mouseReleaseEvent(e);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && onClick) onClick();
  QLabel::mouseReleaseEvent(e);
}

ColorForm::ColorForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Color Selection");
  static const char* const captions[11] = {"",        "Background", "Grid Face", "Curve1",  "Curve2", "Curve 3",
                                           "Curve 4", "Curve 5",    "Curve 6",   "Curve 7", "Curve 8"};
  auto* grid = new QGridLayout;
  ColourBox** named[11] = {nullptr,   &Picture1, &Picture2, &Picture3, &Picture4, &Picture5,
                           &Picture6, &Picture7, &Picture8, &Picture9, &Picture10};
  for (int k = 1; k <= 10; ++k) {
    ColourBox* box = new ColourBox(this);
    box->setObjectName(QString("Picture%1").arg(k));
    *named[k] = box;
    boxes_[static_cast<size_t>(k)] = box;
    QLabel* label = k == 1 ? (Label1 = new ClickLabel(captions[k], this)) : new QLabel(captions[k], this);
    label->setObjectName(QString("Label%1").arg(k));
    // Two columns of five: background and grid face head the left one.
    const int row = (k - 1) % 5;
    const int col = (k - 1) / 5 * 2;
    grid->addWidget(box, row, col);
    grid->addWidget(label, row, col + 1);
  }
  SaveAsDefault = new QCheckBox("Save As Default", this);
  SaveAsDefault->setObjectName("SaveAsDefault");
  SaveAsDefault->setToolTip("Save colors as default choice");
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(SaveAsDefault);

  Label1->onClick = [this] { Label1_Click(); };
  Picture1->onClick = [this] { Picture1_Click(); };
  Picture3->onClick = [this] { Picture3_Click(); };
  Picture4->onClick = [this] { Picture4_Click(); };
  Picture5->onClick = [this] { Picture5_Click(); };
  Picture6->onClick = [this] { Picture6_Click(); };
  Picture7->onClick = [this] { Picture7_Click(); };
  Picture8->onClick = [this] { Picture8_Click(); };
  Picture9->onClick = [this] { Picture9_Click(); };
  Picture10->onClick = [this] { Picture10_Click(); };
  Form_Load();
}

void ColorForm::Form_Load() {
  for (size_t k = 1; k <= 10; ++k) boxes_[k]->SetBackColor(PlotColours[k]);
}

// Every opening shows the table as it is now.
void ColorForm::showEvent(QShowEvent* e) {
  Form_Load();
  QDialog::showEvent(e);
}

int16_t ColorForm::GetSaveAsDefault() {
  if (SaveAsDefault->checkState() == Qt::Checked) return -1;
  SaveAsDefault->setCheckState(Qt::Unchecked);
  return 0;
}

void ColorForm::PickColour(int k) {
  ColourBox* box = Box(k);
  const std::optional<ColourRef> chosen = ColourDialog(box->BackColor());
  if (!chosen) return;  // cancelled: the colour stays
  box->SetBackColor(*chosen);
  // The grid face always follows the background.
  if (k == 1) Picture2->SetBackColor(*chosen);
  for (size_t i = 1; i <= 10; ++i) PlotColours[i] = boxes_[i]->BackColor();
}

void ColorForm::Label1_Click() { PickColour(1); }
void ColorForm::Picture1_Click() { PickColour(1); }
void ColorForm::Picture3_Click() { PickColour(3); }
void ColorForm::Picture4_Click() { PickColour(4); }
void ColorForm::Picture5_Click() { PickColour(5); }
void ColorForm::Picture6_Click() { PickColour(6); }
void ColorForm::Picture7_Click() { PickColour(7); }
void ColorForm::Picture8_Click() { PickColour(8); }
void ColorForm::Picture9_Click() { PickColour(9); }
void ColorForm::Picture10_Click() { PickColour(10); }

void ColorForm::Form_QueryUnload() {
  if (ColorFormHooks.DisplayResults) ColorFormHooks.DisplayResults();
}

void ColorForm::Form_Unload() {
  if (SaveAsDefault->checkState() != Qt::Checked) return;
  if (ColorFormHooks.SaveUserSettings) ColorFormHooks.SaveUserSettings();
}

void ColorForm::done(int r) {
  // The window only hides, so its tick still counts when the program ends.
  Form_QueryUnload();
  Form_Unload();
  QDialog::done(r);
}

}  // namespace zentor
