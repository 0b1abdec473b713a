#include "eqdesign/eq_opt.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <array>
#include <cstdint>

#include "core/records.h"
#include "eqdesign/applied_filters.h"
#include "mainwindow/data_plotter.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"

namespace zentor {

namespace {

QRadioButton* Option(QGroupBox* frame, const char* name, const char* caption) {
  auto* b = new QRadioButton(caption, frame);
  b->setObjectName(name);
  frame->layout()->addWidget(b);
  return b;
}

QGroupBox* Frame(QWidget* parent, const char* name, const char* caption) {
  auto* f = new QGroupBox(caption, parent);
  f->setObjectName(name);
  new QVBoxLayout(f);
  return f;
}

// Ticks button `code` (1-based) of a frame, or none.
void Tick(const std::array<QRadioButton*, 5>& frame, int32_t code) {
  for (QRadioButton* b : frame) b->setAutoExclusive(false);
  for (size_t i = 0; i < frame.size(); ++i) frame[i]->setChecked(static_cast<int32_t>(i) + 1 == code);
  for (QRadioButton* b : frame) b->setAutoExclusive(true);
}

}  // namespace

EQOpt::EQOpt(QWidget* parent) : QDialog(parent) {
  setObjectName("EQOpt");
  setWindowTitle("EQ Options");
  Frame6 = Frame(this, "Frame6", "Graphic EQ");
  Frame7 = Frame(this, "Frame7", "Parametric EQ");
  GRaphicBFDEmulatorBut = Option(Frame6, "GRaphicBFDEmulatorBut", "DSP 1124P");
  CookBookGraphic = Option(Frame6, "CookBookGraphic", "Bristow - Johnson");
  GraphicClassicEng = Option(Frame6, "GraphicClassicEng", "Classic Audio");
  GraphicFBQ2496 = Option(Frame6, "GraphicFBQ2496", "FBQ2496");
  GraphicDCX2496 = Option(Frame6, "GraphicDCX2496", "DCX 2496");
  ParametricBFDEmulatorBut = Option(Frame7, "ParametricBFDEmulatorBut", "DSP 1124P");
  CookParametric = Option(Frame7, "CookParametric", "Bristow-Johnson");
  ParametricClassicEng = Option(Frame7, "ParametricClassicEng", "Classic Audio");
  BehringerFBQ2496Parm = Option(Frame7, "BehringerFBQ2496Parm", "FBQ2496");
  BehringerDCX2496Parm = Option(Frame7, "BehringerDCX2496Parm", "DCX 2496");
  Help = new QPushButton("Help", this);
  Help->setObjectName("Help");
  Help->setAutoDefault(false);
  auto* frames = new QHBoxLayout;
  frames->addWidget(Frame6);
  frames->addWidget(Frame7);
  auto* all = new QVBoxLayout(this);
  all->addLayout(frames);
  all->addWidget(Help, 0, Qt::AlignRight);
  connect(Help, &QPushButton::clicked, this, [] { ShowHelpTopic(HelpTopic::EQOpt); });

  // Any click, even on the ticked button, counts as a change of the applied set.
  for (QRadioButton* b : findChildren<QRadioButton*>())
    connect(b, &QRadioButton::clicked, this,
            [] { Forms::Get<DataPlotter>()->EQResultsTakenButNotSaved = kTrue; });
}

void EQOpt::Initialize() {
  const DataPlotter& window = *Forms::Get<DataPlotter>();
  Tick({GRaphicBFDEmulatorBut, CookBookGraphic, GraphicClassicEng, GraphicFBQ2496, GraphicDCX2496},
       window.GetGraphicEQEmulation());
  Tick({ParametricBFDEmulatorBut, CookParametric, ParametricClassicEng, BehringerFBQ2496Parm, BehringerDCX2496Parm},
       window.GetParametricEQEmulation());
}

void EQOpt::Form_QueryUnload(int16_t& Cancel) {
  Cancel = 0;
  DataPlotter& window = *Forms::Get<DataPlotter>();
  const std::array<std::pair<QRadioButton*, std::pair<bool, int32_t>>, 10> order{{
      {CookParametric, {false, 2}},
      {CookBookGraphic, {true, 2}},
      {GraphicClassicEng, {true, 3}},
      {ParametricClassicEng, {false, 3}},
      {GRaphicBFDEmulatorBut, {true, 1}},
      {ParametricBFDEmulatorBut, {false, 1}},
      {GraphicFBQ2496, {true, 4}},
      {BehringerFBQ2496Parm, {false, 4}},
      {GraphicDCX2496, {true, 5}},
      {BehringerDCX2496Parm, {false, 5}},
  }};
  for (const auto& [button, choice] : order) {
    if (!button->isChecked()) continue;
    if (choice.first)
      window.SetGraphicEmulation(choice.second);
    else
      window.SetParametricEmulation(choice.second);
  }
  UpdateAppliedFiltersList(window);
}

void EQOpt::done(int r) {
  int16_t cancel = 0;
  Form_QueryUnload(cancel);
  QDialog::done(r);
}

void ShowEQOpt() {
  EQOpt* dialog = Forms::Get<EQOpt>();
  dialog->Initialize();
  ShowModal(dialog);
}

}  // namespace zentor
