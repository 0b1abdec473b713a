#include "measurement/mic_calibration.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "core/helpers.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "measurement/mic_calibration_files.h"
#include "measurement/mic_calibration_text.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

// The hourglass over one window, restored on every way out.
class WindowHourglass {
 public:
  explicit WindowHourglass(QWidget* w) : w_(w) {
    if (w_) w_->setCursor(Qt::WaitCursor);
  }
  ~WindowHourglass() {
    if (w_) w_->unsetCursor();
  }
  WindowHourglass(const WindowHourglass&) = delete;
  WindowHourglass& operator=(const WindowHourglass&) = delete;

 private:
  QPointer<QWidget> w_;
};

std::optional<std::string> ChooseCalibrationFile() {
  FileDialogRequest req;
  req.title = "Open Microphone Calibration File";
  req.filter = "*.cal (Mirabelt Files) (*.cal)|*.cal|*.mic (TacT Files) (*.mic)|*.mic";
  req.defaultExtension = "cal";
  std::optional<std::string> chosen = FileOpenDialog(req);
  if (chosen && chosen->empty()) chosen.reset();
  return chosen;
}

// The last-read table goes in force and every view is rebuilt with it.
void PutLastReadInForce() {
  DataPlotter* p = Forms::Get<DataPlotter>();
  p->SetPlotterToUpdate();
  p->LoadMicCal();
}

QLineEdit* TextBox(QWidget* parent, const char* name, const char* text) {
  auto* e = new QLineEdit(QString::fromUtf8(text), parent);
  e->setObjectName(name);
  return e;
}

QLabel* Label(QWidget* parent, const char* name, const char* text) {
  auto* l = new QLabel(QString::fromUtf8(text), parent);
  l->setObjectName(name);
  return l;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setObjectName(name);
  return b;
}

}  // namespace

MicCalForm::MicCalForm(QWidget* parent) : QDialog(parent) {
  setObjectName("MicCalForm");
  setWindowTitle("Microphone Calibration Files");
  // Closing unloads it: the next opening shows the calibration in force afresh.
  setAttribute(Qt::WA_DeleteOnClose);

  Frame1 = new QGroupBox("Create Cal File", this);
  Frame1->setObjectName("Frame1");
  LineOne = TextBox(Frame1, "LineOne", "User Name & Date");
  LineTwo = TextBox(Frame1, "LineTwo", "Mic Model");
  Label4 = Label(Frame1, "Label4", "Freq[Hz]");
  Label5 = Label(Frame1, "Label5", "Level [dB]");
  Label6 = Label(Frame1, "Label6", "Phase [deg]");
  Caltext = new QPlainTextEdit(Frame1);
  Caltext->setObjectName("Caltext");
  Caltext->setLineWrapMode(QPlainTextEdit::NoWrap);
  Caltext->setMinimumSize(300, 260);
  CreatCal = Button(Frame1, "CreatCal", "Create *.cal File");
  MicCaltext = TextBox(this, "MicCaltext", "FileName");
  LoadCal = Button(this, "LoadCal", "Load");
  ImportText = Button(this, "ImportText", "Import Text…");
  MicTextInfo = Label(this, "MicTextInfo", "");
  MicTextInfo->setVisible(false);
  Help = Button(this, "Help", "Help");

  auto* heads = new QHBoxLayout;
  for (QLabel* l : {Label4, Label5, Label6}) heads->addWidget(l);
  auto* frame = new QVBoxLayout(Frame1);
  frame->addWidget(LineOne);
  frame->addWidget(LineTwo);
  frame->addLayout(heads);
  frame->addWidget(Caltext);
  frame->addWidget(CreatCal);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(LoadCal);
  buttons->addWidget(ImportText);
  buttons->addWidget(Help);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Frame1);
  layout->addWidget(MicCaltext);
  layout->addWidget(MicTextInfo);
  layout->addLayout(buttons);

  connect(LoadCal, &QPushButton::clicked, this, [this] { LoadCal_Click(); });
  connect(ImportText, &QPushButton::clicked, this, [this] { ImportText_Click(); });
  connect(CreatCal, &QPushButton::clicked, this, [this] { CreatCal_Click(); });
  connect(Help, &QPushButton::clicked, this, [this] { Help_Click(); });
  Form_Load();
}

void MicCalForm::Form_Load() {
  const int32_t n = std::clamp(ActiveMicCal.Count, 0, kMaxMicCalPoints);
  if (n == 0) {
    MicCaltext->setEnabled(false);
    return;
  }
  MicCaltext->setEnabled(true);
  MicCaltext->setText(QString::fromStdString(ActiveMicCal.FileName));
  LineOne->setText(" Line 1: Not Shown ");
  LineTwo->setText(" Line 2: Not Shown");
  std::string text;
  for (int32_t i = 0; i < n; ++i)
    text += CalibrationPointLine(ActiveMicCal.Freq[static_cast<size_t>(i)], ActiveMicCal.Level[static_cast<size_t>(i)]) +
            "\n";
  Caltext->setPlainText(QString::fromStdString(text));
}

bool MicCalForm::LoadMicCalFile(const std::string& path) {
  WindowHourglass hourglass(this);
  CalibrationReading reading;
  switch (ReadCalibrationFile(path, reading)) {
    case CalibrationRead::Completed: break;
    case CalibrationRead::NotOpened: MsgBox(CalibrationFault("Error 1 Opening Calibration File", reading)); return false;
    case CalibrationRead::Failed: MsgBox(CalibrationFault("Error 2 Opening Calibration File", reading)); return false;
    case CalibrationRead::Abandoned: return false;
  }
  if (reading.HasTextLines) {
    LineOne->setText(QString::fromStdString(reading.LineOne));
    LineTwo->setText(QString::fromStdString(reading.LineTwo));
  }
  Caltext->setPlainText(QString::fromStdString(reading.PointsText));
  MicCaltext->setText(QString::fromStdString(path));
  CommitCalibrationReading(reading, path);
  PutLastReadInForce();
  return true;
}

void MicCalForm::LoadCal_Click() {
  const std::optional<std::string> chosen = ChooseCalibrationFile();
  if (!chosen) return;
  MsgBox(*chosen);
  LoadMicCalFile(*chosen);
  MicCaltext->setEnabled(MicCalCount > 0);
}

void MicCalForm::ImportText_Click() {
  FileDialogRequest req;
  req.title = "Import Microphone Calibration Text";
  req.filter = "Text files (*.txt)|*.txt|All files (*.*)|*.*";
  const std::optional<std::string> chosen = FileOpenDialog(req);
  if (!chosen || chosen->empty()) return;
  MicTextReading reading;
  {
    WindowHourglass hourglass(this);
    const std::string refusal = ReadMicCalibrationText(*chosen, reading);
    if (!refusal.empty()) {
      MsgBox(refusal);
      return;
    }
  }
  if (reading.Resampled()) MsgBox(MicTextResampledMessage(reading));
  std::string info;
  if (!reading.Sensitivity.empty()) info = "Sensitivity " + reading.Sensitivity;
  if (!reading.Serial.empty()) info += (info.empty() ? "" : ", ") + std::string("serial ") + reading.Serial;
  MicTextInfo->setText(QString::fromStdString(info));
  MicTextInfo->setVisible(!info.empty());
  // Kept in the free-text lines, so a .cal file made from the table names its source.
  LineOne->setText(QString::fromStdString(GetFileNameFromPath(*chosen)));
  LineTwo->setText(QString::fromStdString(info.empty() ? "Mic Model" : info));
  Caltext->setPlainText(QString::fromStdString(reading.Table.PointsText));
  Phase = reading.Phase;
  MicCaltext->setText(QString::fromStdString(*chosen));
  CommitCalibrationReading(reading.Table, *chosen);
  PutLastReadInForce();
  MicCaltext->setEnabled(MicCalCount > 0);
}

void MicCalForm::CreatCal_Click() {
  WindowHourglass hourglass(this);
  // The table goes to the last-read table only once it is whole.
  CalibrationReading typed;
  std::array<float, kMaxMicCalPoints> phase{};
  for (int line = 1; typed.Count < kMaxCalFilePoints; ++line) {
    std::string f1, f2, f3;
    const int fields = SplitCalibrationLine(GetTextBoxLine(Caltext, line), f1, f2, f3);
    if (fields < 1) break;
    if (fields == 1) {
      MsgBox("User Error: There must be at least two columns containing values");
      return;
    }
    const auto k = static_cast<size_t>(typed.Count);
    CalibrationNumber(f1, typed.Freq[k]);
    CalibrationNumber(f2, typed.Level[k]);
    if (fields == 3) CalibrationNumber(f3, phase[k]);
    ++typed.Count;
  }
  Phase = phase;
  Forms::Get<DataPlotter>()->SetPlotterToUpdate();

  if (MsgBox(" Save calibration file ?", MsgButtons::YesNo, MsgIcon::Exclamation, kDefaultTitle) == MsgAnswer::Yes) {
    FileDialogRequest req;
    req.title = "Save *.cal File";
    req.filter = "Microphone calibration files (*.cal)|*.cal";
    req.fileName = MicCaltext->text().toStdString();
    const std::optional<std::string> chosen = FileSaveDialog(req);
    const std::optional<std::string> named = chosen && !chosen->empty() ? SaveFileNameAsked(*chosen, "cal") : std::nullopt;
    if (named) {
      const std::string& path = *named;
      if (WriteMicCalFile(path, LineOne->text().toStdString(), LineTwo->text().toStdString(), typed.Freq,
                          typed.Level, Phase, typed.Count)) {
        MicCaltext->setText(QString::fromStdString(path));
        LoadMicCalFile(path);
        MicCaltext->setEnabled(MicCalCount >= 1);
        return;
      }
      MsgBox("Error 1 Opening Calibration File");
    }
  }
  // Not saved: the typed table itself goes in force, under no file name.
  CommitCalibrationReading(typed, "");
  MicCaltext->setText("");
  PutLastReadInForce();
  MicCaltext->setEnabled(MicCalCount >= 1);
}

void MicCalForm::Help_Click() { ShowHelpTopic(HelpTopic::MicCalForm); }

bool OpenSoundCardCalibration(QWidget* window, QLineEdit* micCalText) {
  const std::optional<std::string> chosen = ChooseCalibrationFile();
  if (!chosen) return false;
  WindowHourglass hourglass(window);
  CalibrationReading reading;
  switch (ReadCalibrationFile(*chosen, reading)) {
    case CalibrationRead::Completed: break;
    case CalibrationRead::Failed: MsgBox(CalibrationFault("Error Opening Calibration File", reading)); return false;
    case CalibrationRead::NotOpened:
    case CalibrationRead::Abandoned: return false;
  }
  CommitCalibrationReading(reading, *chosen);
  if (micCalText) micCalText->setText(QString::fromStdString(MicCalFileName));
  PutLastReadInForce();
  return true;
}

void InstallMicCalibrationLinks() {
  MainWindowHooks.ShowMicCalForm = [] {
    const bool fresh = !Forms::IsLoaded<MicCalForm>();
    MicCalForm* form = Forms::Get<MicCalForm>();
    // Kept over the main window, so that closing the main window still ends the program.
    if (fresh) form->setParent(Forms::Get<DataPlotter>(), Qt::Dialog);
    form->show();
    form->raise();
    form->activateWindow();
  };
}

}  // namespace zentor
