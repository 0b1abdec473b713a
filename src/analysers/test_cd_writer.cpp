#include "analysers/test_cd_writer.h"

#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <vector>

#include "base/atomic_file.h"
#include "base/binary_io.h"
#include "base/text_number.h"
#include "core/helpers.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

constexpr double kFewestMinutes = 1;
constexpr double kMostMinutes = 15;

}  // namespace

int32_t TestCDPeriodCount(double minutes, const TestCDSettings& params) {
  if (params.Order < kMinTestCDOrder || params.Order > kMaxTestCDOrder) return 0;
  const double total = minutes * 60.0 * params.SampleRate;
  return CLng(total / static_cast<double>(1 << params.Order));
}

std::optional<std::string> TestCDFileName(const std::string& chosen) { return SaveFileName(chosen, "wav"); }

bool WriteTestCDFile(const std::string& path, std::span<const int16_t> left, std::span<const int16_t> right,
                     int32_t periods, int32_t sampleRate, const std::function<void()>& step) {
  const size_t n = std::min(left.size(), right.size());
  const int64_t values = 2 * static_cast<int64_t>(n) * periods;
  if (n == 0 || periods < 0 || 2 * values + 36 > INT32_MAX) return false;
  AtomicFile file(path);
  if (!file.Open()) return false;
  BinaryWriter head;
  WriteWavHeader(head, MakeWavHeader(2, sampleRate, static_cast<int32_t>(values)));
  bool ok = file.Write(head.data());
  // One interleaved period, little-endian, written as often as asked.
  std::vector<uint8_t> period(4 * n);
  for (size_t i = 0; i < n; ++i) {
    const auto l = static_cast<uint16_t>(left[i]);
    const auto r = static_cast<uint16_t>(right[i]);
    period[4 * i] = static_cast<uint8_t>(l & 0xFF);
    period[4 * i + 1] = static_cast<uint8_t>(l >> 8);
    period[4 * i + 2] = static_cast<uint8_t>(r & 0xFF);
    period[4 * i + 3] = static_cast<uint8_t>(r >> 8);
  }
  for (int32_t p = 0; ok && p < periods; ++p) {
    ok = file.Write(period);
    if (step) step();
  }
  // A failed write or commit leaves the old file as it was.
  return ok && file.Commit();
}

CreateTestCD::CreateTestCD(QWidget* parent) : QDialog(parent) {
  setObjectName("CreateTestCD");
  setWindowTitle("Create CD File ");
  setModal(true);
  Text1 = EntryBox(this, "Text1", "10");
  connect(Text1, &QLineEdit::textEdited, this, &CreateTestCD::Text1_Click);
  MakeWave = new QPushButton("Create *.wav", this);
  MakeWave->setObjectName("MakeWave");
  Help = new QPushButton("Help", this);
  Help->setObjectName("Help");
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setValue(0);

  auto* g = new QGridLayout(this);
  g->addWidget(Text1, 0, 0);
  g->addWidget(new QLabel("min", this), 0, 1);
  g->addWidget(MakeWave, 1, 0, 1, 2);
  g->addWidget(ProgressBar1, 2, 0, 1, 2);
  g->addWidget(Help, 3, 1);
  connect(MakeWave, &QPushButton::clicked, this, [this] { MakeWave_Click(); });
  connect(Help, &QPushButton::clicked, this, [this] { Help_Click(); });
}

void CreateTestCD::Help_Click() { ShowHelpTopic(HelpTopic::TestCD); }

// The user came back to the length after a failed check.
void CreateTestCD::Text1_Click() { ClearValidationMark(Text1); }

void CreateTestCD::MakeWave_Click() {
  const TestCDSettings& params = CDSignalParams;
  double minutes = 0;
  if (!ValidateNumericTextBox(Text1, kFewestMinutes, kMostMinutes, minutes)) return;
  NumPeriods = TestCDPeriodCount(minutes, params);
  if (NumPeriods <= 0) return;
  ProgressBar1->setMaximum(NumPeriods);

  const size_t n = size_t{1} << params.Order;
  std::vector<int16_t> left(n), right(n);
  if (!BuildTestCDSignal(left, params, -1) || !BuildTestCDSignal(right, params, -2)) return;

  FileDialogRequest request{"Save *.wav File (44.1 KHz/Stereo,16 bit)", "WAV files (*.wav)|*.wav",
                            QDir::homePath().toStdString(), "ZentorWaveFileForCD.wav"};
  const std::optional<std::string> chosen = FileSaveDialog(request);
  if (!chosen || chosen->empty()) return;
  const std::optional<std::string> path = SaveFileNameOrSay(*chosen, "wav");
  if (!path || !MayReplaceFile(*path, "File Already Exists, Overwrite ?", MsgButtons::YesNo, "Mirabelt Zentor"))
    return;
  FillTestCdWavHeader(left, right, static_cast<int32_t>(2 * n * static_cast<size_t>(NumPeriods)), *path);
}

void CreateTestCD::FillTestCdWavHeader(std::span<const int16_t> left, std::span<const int16_t> right,
                                       int32_t sampleCount, const std::string& fileName) {
  Header = MakeWavHeader(2, CDSignalParams.SampleRate, sampleCount);
  bool ok = false;
  {
    WaitCursor hourglass;
    ProgressBar1->setValue(0);
    ok = WriteTestCDFile(fileName, left, right, NumPeriods, CDSignalParams.SampleRate,
                         [this] { ProgressBar1->setValue(ProgressBar1->value() + 1); });
  }
  MsgBox(ok ? "Wave File Created" : "Wave File Creation Error");
  ProgressBar1->setValue(0);
}

}  // namespace zentor
