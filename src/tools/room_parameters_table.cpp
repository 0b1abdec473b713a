// The large-room window's table of room-acoustic parameters: one column per octave
// band and one for broadband, one row per value. A value that should not be trusted
// is grey with a "*", the reason in its tooltip.
#include <QCheckBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/settings.h"
#include "tools/data_integrity_form.h"

namespace zentor {

namespace {

constexpr const char* kRowTitles[] = {"EDT [s]", "T20 [s]", "T30 [s]", "r EDT", "r T20", "r T30",
                                      "C50 [dB]", "C80 [dB]", "D50 [%]", "Ts [ms]", "INR [dB]"};
constexpr int kRowDecimals[] = {2, 2, 2, 3, 3, 3, 1, 1, 1, 0, 1};
constexpr int kSaveHeight = 26;

std::string ColumnTitle(double hz) {
  if (hz <= 0) return "Broadband";
  return hz >= 1000 ? std::to_string(int(hz / 1000)) + "k" : std::to_string(int(hz));
}

}  // namespace

void DataIntegrityForm::CreateParametersTable() {
  ParametersBut = new QCheckBox("Parameters", this);
  ParametersBut->setObjectName("ParametersBut");
  ParametersBut->setToolTip("Room-acoustic parameters of the curve by octave band");
  ParametersBut->setChecked(GetSetting("Zentor", "LargeRoom", "Parameters", "0") == "1");
  ParametersTable = new QTableWidget(static_cast<int>(std::size(kRowTitles)), 0, this);
  ParametersTable->setObjectName("ParametersTable");
  ParametersTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ParametersTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  for (int r = 0; r < ParametersTable->rowCount(); ++r)
    ParametersTable->setVerticalHeaderItem(r, new QTableWidgetItem(kRowTitles[r]));
  SaveParametersBut = new QPushButton("Save Parameters", this);
  SaveParametersBut->setObjectName("SaveParametersBut");
}

void DataIntegrityForm::PlaceParametersTable(int pictureHeight) {
  const bool shown = ParametersBut->isChecked();
  ParametersTable->setVisible(shown);
  SaveParametersBut->setVisible(shown);
  if (!shown) return;
  const int left = Picture1->x() + Picture1->width() + 8;
  ParametersTable->setGeometry(left, Picture1->y(), kParametersWidth, std::max(40, pictureHeight - kSaveHeight - 6));
  SaveParametersBut->setGeometry(left, Picture1->y() + pictureHeight - kSaveHeight, 130, kSaveHeight);
}

void DataIntegrityForm::ParametersBut_Click() {
  SaveSetting("Zentor", "LargeRoom", "Parameters", ParametersBut->isChecked() ? "1" : "0");
  Form_Resize();
  UpdateParametersTable();
}

void DataIntegrityForm::UpdateParametersTable() {
  if (!ParametersBut->isChecked() || !IsFormLoaded() || parametersCurve_ == CurveNumber) return;
  std::string error;
  RoomParameters p;
  {
    WaitCursor hourglass;
    if (!RoomParametersOfResult(CurveNumber, p, error)) p = {};
  }
  Parameters = p;
  parametersCurve_ = error.empty() ? CurveNumber : 0;
  parametersError_ = error;
  ParametersTable->setToolTip(QString::fromStdString(error));

  std::vector<const RoomParameterValues*> columns;
  for (const RoomParameterValues& b : Parameters.bands) columns.push_back(&b);
  if (error.empty()) columns.push_back(&Parameters.broadband);
  ParametersTable->setColumnCount(static_cast<int>(columns.size()));
  const auto& keys = RoomParameterKeys();
  for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
    const RoomParameterValues& v = *columns[static_cast<size_t>(c)];
    ParametersTable->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromStdString(ColumnTitle(v.centreHz))));
    for (int r = 0; r < static_cast<int>(keys.size()); ++r) {
      const std::optional<double> x = RoomParameterValue(v, keys[static_cast<size_t>(r)]);
      const std::string reason = v.Reason(keys[static_cast<size_t>(r)]);
      QString text = x ? QString::number(*x, 'f', kRowDecimals[r]) : QString();
      auto* item = new QTableWidgetItem;
      if (!reason.empty()) {
        text += "*";
        item->setForeground(Qt::gray);
        item->setToolTip(QString::fromStdString(reason));
      }
      item->setText(text);
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      ParametersTable->setItem(r, c, item);
    }
  }
  // The broadband column's title is the longest.
  if (!columns.empty())
    ParametersTable->horizontalHeader()->setSectionResizeMode(static_cast<int>(columns.size()) - 1,
                                                              QHeaderView::ResizeToContents);
}

void DataIntegrityForm::SaveParametersBut_Click() {
  UpdateParametersTable();
  if (parametersCurve_ == 0) {
    MsgBox(parametersError_.empty() ? "User Error: Measured data must be loaded to access this window."
                                    : parametersError_);
    return;
  }
  const std::optional<std::string> path = FileSaveDialog(
      {"Save Parameters", "CSV files (*.csv)|*.csv", "", "RoomParameters.csv", "csv"});
  if (!path || path->empty()) return;
  if (!SaveRoomParametersCsv(*path, Parameters)) MsgBox("Error: The parameters could not be written to " + *path);
}

}  // namespace zentor
