#include "mainwindow/filter_exchange.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "base/atomic_file.h"
#include "base/text_number.h"
#include "core/helpers.h"
#include "core/records.h"
#include "exchange/filter_import.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/filter_file.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "platform/settings.h"

namespace zentor {

namespace {

constexpr const char* kApp = "Zentor";
constexpr const char* kSection = "FilterExport";
constexpr const char* kFormatCaptions[] = {"Equalizer APO / REW text", "CamillaDSP", "miniDSP biquads", "FIR WAV",
                                           "CSV"};
constexpr const char* kFileFilters[] = {"Equaliser text (*.txt)|*.txt", "CamillaDSP (*.yml)|*.yml",
                                        "miniDSP biquads (*.txt)|*.txt", "FIR WAV (*.wav)|*.wav", "CSV (*.csv)|*.csv"};
constexpr int32_t kRates[] = {44100, 48000, 88200, 96000, 192000};

// The file name of the set's .EQ, or a plain word when it has none.
std::string SourceName() {
  if (EQFileName.empty()) return "applied filters";
  const size_t slash = EQFileName.find_last_of("/\\");
  return slash == std::string::npos ? EQFileName : EQFileName.substr(slash + 1);
}

int32_t SettingNumber(const char* key, int32_t fallback) {
  const std::string text = GetSetting(kApp, kSection, key);
  bool ok = true;
  const int32_t v = IsNumeric(text) ? CLng(Val(text), &ok) : fallback;
  return ok ? v : fallback;
}

}  // namespace

FilterExportDialog::FilterExportDialog() {
  setObjectName("FilterExportDialog");
  setWindowTitle("Filters For Other Equalisers");
  FormatList = new QComboBox(this);
  FormatList->setObjectName("FormatList");
  for (const char* c : kFormatCaptions) FormatList->addItem(c);
  RateList = new QComboBox(this);
  RateList->setObjectName("RateList");
  for (int32_t r : kRates) RateList->addItem(QString::number(r));
  TapsBox = new QSpinBox(this);
  TapsBox->setObjectName("TapsBox");
  TapsBox->setRange(kFirTapsLowest, kFirTapsHighest);
  BiquadsBox = new QSpinBox(this);
  BiquadsBox->setObjectName("BiquadsBox");
  BiquadsBox->setRange(kBiquadsLowest, kBiquadsHighest);
  ChannelsText = new QLineEdit(this);
  ChannelsText->setObjectName("ChannelsText");
  PreampLabel = new QLabel(this);
  PreampLabel->setObjectName("PreampLabel");
  PreampLabel->setWordWrap(true);
  SaveBut = new QPushButton("Save", this);
  SaveBut->setObjectName("SaveBut");
  CancelBut = new QPushButton("Cancel", this);
  CancelBut->setObjectName("CancelBut");
  Help = new QPushButton("Help", this);
  Help->setObjectName("Help");

  auto* form = new QFormLayout;
  form->addRow(new QLabel("Format", this), FormatList);
  form->addRow(new QLabel("Sample rate (Hz)", this), RateList);
  form->addRow(new QLabel("Taps", this), TapsBox);
  form->addRow(new QLabel("Channels", this), ChannelsText);
  form->addRow(new QLabel("Biquads", this), BiquadsBox);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(SaveBut);
  buttons->addWidget(CancelBut);
  buttons->addWidget(Help);
  auto* all = new QVBoxLayout(this);
  all->addLayout(form);
  all->addWidget(PreampLabel);
  all->addLayout(buttons);

  connect(FormatList, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
  connect(RateList, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
  connect(BiquadsBox, &QSpinBox::valueChanged, this, [this] { Refresh(); });
  connect(SaveBut, &QPushButton::clicked, this, [this] {
    if (Save_Click()) accept();
  });
  connect(CancelBut, &QPushButton::clicked, this, [this] { reject(); });
  connect(Help, &QPushButton::clicked, this, [this] { Help_Click(); });
}

void FilterExportDialog::Prepare() {
  FilterFormat format = FilterFormat::Apo;
  ParseFilterFormat(GetSetting(kApp, kSection, "Format", "apo"), format);
  FormatList->setCurrentIndex(static_cast<int>(format));
  const int32_t rate = SettingNumber("Rate", kExportRateDefault);
  const auto* known = std::find(std::begin(kRates), std::end(kRates), rate);
  RateList->setCurrentIndex(static_cast<int>(known == std::end(kRates) ? 1 : known - std::begin(kRates)));
  TapsBox->setValue(std::clamp(SettingNumber("Taps", kFirTapsDefault), kFirTapsLowest, kFirTapsHighest));
  BiquadsBox->setValue(std::clamp(SettingNumber("Biquads", kBiquadsDefault), kBiquadsLowest, kBiquadsHighest));
  ChannelsText->setText(QString::fromStdString(GetSetting(kApp, kSection, "Channels", "0,1")));
  Refresh();
}

bool FilterExportDialog::ReadOptions(FilterExportOptions& options) {
  options.format = static_cast<FilterFormat>(std::clamp(FormatList->currentIndex(), 0, 4));
  options.rateHz = kRates[std::clamp(RateList->currentIndex(), 0, static_cast<int>(std::size(kRates)) - 1)];
  options.taps = TapsBox->value();
  options.biquads = BiquadsBox->value();
  options.source = SourceName();
  std::string error;
  if (!ParseChannelList(ChannelsText->text().toStdString(), options.channels, error)) {
    MsgBox(error);
    return false;
  }
  return true;
}

void FilterExportDialog::Refresh() {
  const auto format = static_cast<FilterFormat>(std::clamp(FormatList->currentIndex(), 0, 4));
  TapsBox->setEnabled(format == FilterFormat::Fir);
  ChannelsText->setEnabled(format == FilterFormat::CamillaDsp);
  BiquadsBox->setEnabled(format == FilterFormat::MiniDsp);
  // The text form shows the preamp and count without computing a long FIR.
  FilterExportOptions preview;
  preview.rateHz = kRates[std::clamp(RateList->currentIndex(), 0, static_cast<int>(std::size(kRates)) - 1)];
  const FilterExport made = ExportFilters(AppliedFilters, preview);
  std::string text = made.ok() ? PreampText(made.preamp_db) + ", " + std::to_string(made.filters.size()) +
                                     (made.filters.size() == 1 ? " filter" : " filters")
                               : made.error;
  if (made.ok() && format == FilterFormat::MiniDsp)
    text += made.filters.size() > static_cast<size_t>(BiquadsBox->value())
                ? ": more than the " + std::to_string(BiquadsBox->value()) + " biquads"
                : ". Set the preamp as the unit's input gain: the file holds the biquads only.";
  PreampLabel->setText(QString::fromStdString(text));
}

bool FilterExportDialog::Save_Click() {
  FilterExportOptions options;
  if (!ReadOptions(options)) return false;
  const FilterExport made = ExportFilters(AppliedFilters, options);
  if (!made.ok()) {
    MsgBox(made.error);
    return false;
  }
  FileDialogRequest req;
  req.title = "Save Filters For Other Equalisers";
  req.filter = kFileFilters[static_cast<size_t>(options.format)];
  const std::string ext(FilterFormatExtension(options.format));
  // The open file's name with only a known extension replaced: "room.v1.2" stays whole.
  req.fileName = SaveFileName(EQFileName.empty() ? std::string("filters") : EQFileName, ext).value_or("filters." + ext);
  const std::optional<std::string> typed = FileSaveDialog(req);
  if (!typed || typed->empty()) return false;
  const std::optional<std::string> chosen = SaveFileNameOrSay(*typed, ext);
  if (!chosen) return false;
  // Another format over the .EQ file the filters came from would lose it.
  if (!EQFileName.empty() && SameFile(*chosen, EQFileName)) {
    MsgBox("User Error: " + *chosen + " is the open EQ file. Save the filters under another name");
    return false;
  }
  if (!MayReplaceFile(*chosen, *chosen + " Already Exists, Overwrite ?", MsgButtons::YesNoCancel, "Mirabelt Zentor"))
    return false;
  if (!WriteWholeFileAtomic(*chosen, made.bytes)) {
    MsgBox("The filters could not be written to " + *chosen + ". Any file there is unchanged.");
    return false;
  }
  if (options.format == FilterFormat::MiniDsp)
    MsgBox(PreampText(made.preamp_db) + ": set this as the unit's input gain; the file holds the biquads only.");
  SaveSettings(kApp, kSection,
               {{"Format", std::string(FilterFormatName(options.format))},
                {"Rate", std::to_string(options.rateHz)},
                {"Taps", std::to_string(options.taps)},
                {"Biquads", std::to_string(options.biquads)},
                {"Channels", ChannelsText->text().toStdString()}});
  return true;
}

void FilterExportDialog::Help_Click() { ShowHelpTopic(HelpTopic::FilterExchange); }

void SaveFiltersForOtherEqualisers() {
  FilterExportDialog* d = Forms::Get<FilterExportDialog>();
  d->Prepare();
  ShowModal(d);
}

void OpenFiltersFromOtherEqualisers() {
  DataPlotter* p = Forms::Get<DataPlotter>();
  if (p->GetBusy()) return;
  if (!MayReplaceAppliedFilters())
    return;
  FileDialogRequest req;
  req.title = "Open Filters From Other Equalisers";
  req.filter = "Equaliser text (*.txt)|*.txt|All files (*)|*";
  const std::optional<std::string> chosen = FileOpenDialog(req);
  if (!chosen || chosen->empty()) return;
  const int32_t code = p->GetParametricEQEmulation();
  const FilterImport read = ImportFilterFile(*chosen, code);
  if (!read.ok()) {
    MsgBox(read.error);
    return;
  }
  AppliedFilters.fill(FilterRecord{});
  std::copy(read.filters.begin(), read.filters.end(), AppliedFilters.begin());
  p->EQResultsTakenButNotSaved = kTrue;
  p->RefreshAppliedFiltersList();
  MsgBox(read.Summary(code));
}

}  // namespace zentor
