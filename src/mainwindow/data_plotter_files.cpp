// The main window's file commands: measurement sets, filter sets, Qel files and
// the file details, the notes accessors and the command line.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalBlocker>
#include <algorithm>

#include "core/helpers.h"
#include "core/records.h"
#include "core/results_store.h"
#include "display/dispatcher.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/file_details.h"
#include "mainwindow/filter_exchange.h"
#include "mainwindow/filter_file.h"
#include "mainwindow/measurement_file.h"
#include "mainwindow/qel_import.h"
#include "display/view_state.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

namespace {

int16_t ButtonValue(const QRadioButton* b) { return b != nullptr && b->isChecked() ? kTrue : kFalse; }

std::optional<std::string> ChooseQelFile() {
  FileDialogRequest req;
  req.title = "Open *.qel File";
  req.filter = "Qel files (*.qel)|*.qel";
  req.initialFolder = InitialOpenFolder;
  return FileOpenDialog(req);
}

}  // namespace

void DataPlotter::ConnectFileCommands() {
  connect(OpenFile, &QAction::triggered, this, [this] { OpenFile_Click(); });
  connect(SaveMeasurement, &QAction::triggered, this, [this] { SaveMeasurement_Click(); });
  connect(AddMeasurements, &QAction::triggered, this, [this] { AddMeasurements_Click(); });
  connect(OpenEQFileMenue, &QAction::triggered, this, [this] { OpenEQFileMenue_Click(); });
  connect(SaveEQModel, &QAction::triggered, this, [this] { SaveEQModel_Click(); });
  connect(OpenOtherFilters, &QAction::triggered, this, [] { OpenFiltersFromOtherEqualisers(); });
  connect(SaveOtherFilters, &QAction::triggered, this, [] { SaveFiltersForOtherEqualisers(); });
  connect(MenueOpenQelFile, &QAction::triggered, this, [this] { MenueOpenQelFile_Click(); });
  connect(AddQelFile, &QAction::triggered, this, [this] { AddQelFile_Click(); });
  connect(FileDetails, &QAction::triggered, this, [this] { FileDetails_Click(); });
}

void DataPlotter::OpenFile_Click() { OpenMeasurementFile(); }

void DataPlotter::SaveMeasurement_Click() { SaveMeasurementFile(); }

void DataPlotter::AddMeasurements_Click() {
  if (ResultsDataSetInfo[0].NumInSet < 1) {
    MsgBox("Error: A measurement file (cfa) must be opened before adding additional files with this function");
    return;
  }
  AddMeasurementFile();
}

void DataPlotter::OpenEQFileMenue_Click() { OpenEQFile(); }

void DataPlotter::MenueOpenQelFile_Click() {
  const std::optional<std::string> chosen = ChooseQelFile();
  if (!chosen || chosen->empty()) return;
  QelFileName = *chosen;
  ImportQelFile(QelFileName);
  DisplayResults(kRecomputeAllCurves);
}

void DataPlotter::AddQelFile_Click() {
  const std::optional<std::string> chosen = ChooseQelFile();
  if (!chosen || chosen->empty()) return;
  QelFileName = *chosen;
  // The import closes the outside views itself before it changes the set.
  ImportQelFile(QelFileName);
  DisplayResults(kRecomputeAllCurves);
}

void DataPlotter::FileDetails_Click() {
  if (ResultsDataSetInfo[0].NumInSet < 1) {
    MsgBox("User Error: No data ");
    return;
  }
  Form2* form = Forms::Get<Form2>();
  form->Form_Load();
  ShowModal(form);
  Forms::Unload<Form2>();
}

bool DataPlotter::ClearExtDisplay() {
  for (const std::function<bool()>* unload :
       {&ExtDisplayHooks.UnloadXoverForm, &ExtDisplayHooks.UnloadDataIntegrityForm,
        &ExtDisplayHooks.UnloadThreeDForm})
    if (*unload && !(*unload)()) return false;
  return true;
}

void DataPlotter::ClearModesList() {
  ModesListContents[0].Count = 0;
  ModesList->clear();
}

std::string DataPlotter::GetUserNotes() const {
  return CodesToText(UserNotesBlock.NotesCodes, UserNotesBlock.NotesLength);
}

void DataPlotter::SetUserNotes(const std::string& text) {
  UserNotesBlock.NotesLength = TextToCodes(text, UserNotesBlock.NotesCodes, kMaxNotesLength);
}

std::string DataPlotter::GetMicCalFileNotes() {
  if (UserNotesBlock.MicCalNotesLength > kMaxMicCalNotesLength) UserNotesBlock.MicCalNotesLength = 399;
  return CodesToText(UserNotesBlock.MicCalNotesCodes, UserNotesBlock.MicCalNotesLength);
}

void DataPlotter::SetMicCalFileName(const std::string& path) {
  UserNotesBlock.MicCalNotesLength =
      TextToCodes(GetFileNameFromPath(path), UserNotesBlock.MicCalNotesCodes, kMaxMicCalNotesLength);
}

std::array<int16_t, 4> DataPlotter::GetViewButtonValues() const {
  return {ButtonValue(TimeBut), ButtonValue(FreqBut), ButtonValue(ModalBut), ButtonValue(NoiseBut)};
}

void DataPlotter::SetAverageBox(bool ticked) {
  const QSignalBlocker quiet(avg);
  avg->setChecked(ticked);
}

void DataPlotter::RefreshAppliedFiltersList() {
  if (FileCommandHooks.UpdateAppliedFiltersList) {
    FileCommandHooks.UpdateAppliedFiltersList();
    return;
  }
  AppliedFilterListBox->clear();
  ArrangeMainWindow();
}

void DataPlotter::ResetCurveSelectionForNewSet() {
  ClearModesList();
  DisplayCurveNumber = 1;
  CurveNoText->setText("1");
  ModesCurveNumber = 0;
  CurveNumberText->setText("1");
  DisplayConfig.Average = kFalse;
  SetAverageBox(false);
}

void DataPlotter::ShowOpenedSet() {
  const int32_t view = DisplayConfig.Graphshown;
  QRadioButton* button = view == kImpulseView ? TimeBut : view == kNoiseView ? NoiseBut : FreqBut;
  // Selecting a button that is not yet selected runs its click handler, which shows the view.
  if (!button->isChecked()) {
    button->setChecked(true);
    if (button == TimeBut)
      TimeBut_Click();
    else if (button == NoiseBut)
      NoiseBut_Click();
    else
      FreqBut_Click();
  } else {
    DisplayResults(kRecomputeAllCurves);
  }
  ClearMeasurementHeader(StaticConfig);
}

void DataPlotter::ShowAddedResults() {
  const CurveArray* filed = nullptr;
  switch (DisplayConfig.Graphshown) {
    case kModalSliceView: filed = &ModalCurves; break;
    case kNoiseView: filed = &NoiseCurves; break;
    case kImpulseView: filed = &ImpulseCurves; break;
    case kBodeView: filed = &BodeCurves; break;
    case kFractOctView: filed = &FractOctCurves; break;
    case kPsycView: filed = &PsycCurves; break;
    default: return;  // the levels and PSD views do not show the set
  }
  DisplayResults((*filed)[0].NumCurves);
}

void DataPlotter::ShowStartupFile(const std::string& commandLine) {
  for (int32_t n = std::clamp(ResultsDataSetInfo[0].NumInSet, 0, kMaxResults); n > 0; --n) RemoveResult(1);
  ResultsDataSetInfo[0].NumInSet = 0;
  ClearAllFilterSets();
  ResetCurveSelectionForNewSet();
  DisplayConfig.Graphshown = kImpulseView;
  TimeBut->setChecked(true);
  ClearMeasurementHeader(StaticConfig);

  std::string path = commandLine;
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
  const size_t len = path.size();
  if (len >= 3 && (path[len - 3] == 'C' || path[len - 3] == 'c')) LoadMeasurementFile(path);
  if (len >= 2 && (path[len - 2] == 'E' || path[len - 2] == 'e')) {
    if (!LoadEQFile(path)) MsgBox(FiltersKeptMessage(path));
    RefreshAppliedFiltersList();
  }

  DisplayConfig.Average = kFalse;
  SetAverageBox(false);
  DisplayConfig.Graphshown = kImpulseView;
  TimeBut->setChecked(true);
  ClearMeasurementHeader(StaticConfig);
  DisplayResults(kRecomputeAllCurves);
}

}  // namespace zentor
