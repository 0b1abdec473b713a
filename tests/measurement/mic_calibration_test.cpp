// The .cal writer and the .cal and .mic readers; the calibration window, its text
// import, the sound-card window's reading and what each leaves in force.
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <sys/stat.h>
#include <unistd.h>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cmath>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "base/atomic_file.h"
#include "core/results_store.h"
#include "display/dispatcher.h"
#include "display/view_state.h"
#include "mainwindow/file_details.h"
#include "mainwindow/measurement_file.h"
#include "mainwindow/window_fixtures.h"
#include "measurement/mic_calibration.h"
#include "measurement/mic_calibration_files.h"
#include "measurement/sound_card_selector.h"
#include "support/fixture.h"

namespace zentor {
namespace {

using test::DialogCall;

void WriteText(const std::string& path, const std::string& text) { ASSERT_TRUE(WriteWholeFileAtomic(path, text)); }
std::string ReadText(const std::string& path) {
  QFile f(QString::fromStdString(path));
  return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

class CalFilesTest : public test::ZentorTest {
 protected:
  void TearDown() override {
    QLocale::setDefault(QLocale::c());
    ZentorTest::TearDown();
  }
  // Header lines, the 0 line, the 0 Hz level -3.5, then pair i = (10 i Hz, -i/100 dB).
  std::string MicFile(int pairs, const std::string& header = "TacT\r\nmodel\r\n", const std::string& tail = "") {
    std::string text = header + "0\r\n-3.5\r\n";
    for (int i = 1; i <= pairs; ++i) text += std::to_string(10 * i) + "\r\n" + std::to_string(-i / 100.0) + "\r\n";
    WriteText(TempPath("f.mic"), text + tail);
    return TempPath("f.mic");
  }
  CalibrationReading r;
};

TEST_F(CalFilesTest, WriterFormatsThreeDecimalsInTheUsersMarkAndTheReaderKeepsItsLimitsSkipsAndRefusals) {
  const std::string path = TempPath("one.cal");
  const QLocale comma(QLocale::German, QLocale::Germany);
  for (const auto& [locale, line] : {std::pair{QLocale::c(), "20.000  -1.250  0.000"}, {comma, "20,000  -1,250  0,000"}}) {
    QLocale::setDefault(locale);
    ASSERT_TRUE(WriteMicCalFile(path, "Ann 1 May", "M30", std::vector{20.0f}, std::vector{-1.25f}, std::vector{0.0f}, 1));
    EXPECT_EQ(ReadText(path), "Ann 1 May\r\nM30\r\n" + std::string(line) + "\r\n");

    std::vector<float> freq, level, phase;
    for (int i = 0; i < 100; ++i) {
      freq.push_back(20.0f * std::pow(1000.0f, i / 99.0f));
      level.push_back(3.0f * std::sin(0.37f * i) - 0.0004f);
      phase.push_back(-90.0f + 1.7f * i);
    }
    ASSERT_TRUE(WriteMicCalFile(path, "a", "b", freq, level, phase, 100));
    ASSERT_EQ(ReadMicCalFile(path, r), CalibrationRead::Completed);
    ASSERT_EQ(r.Count, 100);
    for (int i = 0; i < 100; ++i) {
      // Three decimals written, then the Single's own rounding on reading.
      EXPECT_NEAR(r.Freq[i], freq[i], 0.0005 + 1.2e-7 * freq[i]);
      EXPECT_NEAR(r.Level[i], level[i], 0.0005f);
    }
  }
  EXPECT_EQ(FormatCalibrationNumber(-0.0004f), "0,000");
  EXPECT_EQ(FormatCalibrationNumber(12345.6789f), "12345,679");
  EXPECT_FALSE(WriteMicCalFile(TempPath("no/such/x.cal"), "a", "b", std::vector{1.0f}, std::vector{1.0f},
                               std::vector{1.0f}, 1));

  // The reader: its limits, the lines it skips, and the files it refuses.
  std::string text = "user\r\nmic\r\n";
  for (int i = 1; i <= 1200; ++i) text += std::to_string(i) + "  " + std::to_string(i % 7) + "  0\r\n";
  WriteText(TempPath("big.cal"), text);
  ASSERT_EQ(ReadMicCalFile(TempPath("big.cal"), r), CalibrationRead::Completed);
  EXPECT_EQ(r.Count, 999);
  EXPECT_EQ(r.Freq[998], 999.0f);
  EXPECT_EQ(r.Level[998], 999 % 7);

  // Notes and trailing blank lines are no points; LF endings, "," marks and no phase are fine.
  WriteText(TempPath("X.CAL"), "u\nm\n20 1,5\nnote\n  1000\t-2.25 12\n\n\n");
  ASSERT_EQ(ReadCalibrationFile(TempPath("X.CAL"), r), CalibrationRead::Completed);
  ASSERT_EQ(r.Count, 2);
  EXPECT_EQ(std::vector(r.Freq.begin(), r.Freq.begin() + 2), (std::vector{20.0f, 1000.0f}));
  EXPECT_EQ(std::vector(r.Level.begin(), r.Level.begin() + 2), (std::vector{1.5f, -2.25f}));
  EXPECT_EQ(r.PointsText, "20 1,5\n  1000\t-2.25 12\n");
  EXPECT_TRUE(r.HasTextLines);

  WriteText(TempPath("x.txt"), "u\r\nm\r\n50 2\r\n");
  ASSERT_TRUE(QDir(tempDir.path()).mkdir("folder.cal"));
  for (const char* name : {"x.txt", "gone.cal", "folder.cal"})
    EXPECT_EQ(ReadCalibrationFile(TempPath(name), r), CalibrationRead::NotOpened) << name;

  // Opened but bad: a missing line 2, an overlong line, a value beyond a Single.
  for (const std::string& bad : {std::string("one line"), std::string(),
                                 "u\r\nm\r\n20 " + std::string(5000, '1') + "\r\n", std::string("u\r\nm\r\n20 1e39\r\n")}) {
    WriteText(TempPath("bad.cal"), bad);
    EXPECT_EQ(ReadMicCalFile(TempPath("bad.cal"), r), CalibrationRead::Failed) << bad.substr(0, 20);
  }
}

TEST_F(CalFilesTest, MicReaderCountsPairsDecimatesLongFilesAndKeepsItsHeaderAndLevelRules) {
  // 10 pairs then a word, nothing, or a lone frequency: 10 points, 0 Hz and the
  // first nine pairs. With nothing after it the last pair still counts.
  for (const char* tail : {"end\r\n", "", "110\r\n"}) {
    ASSERT_EQ(ReadTactMicFile(MicFile(10, "TacT\r\nmodel\r\n", tail), r), CalibrationRead::Completed);
    ASSERT_EQ(r.Count, 10) << tail;
    EXPECT_EQ(r.Freq[0], 0.0f);
    EXPECT_EQ(r.Level[0], -3.5f);
    for (int i = 1; i <= 9; ++i) EXPECT_EQ(r.Freq[i], 10.0f * i);
    EXPECT_NEAR(r.Level[9], -0.09, 1e-6);
  }
  EXPECT_EQ(r.PointsText.substr(0, 26), "0    -3.5    0.0\n10    -0.");

  // Point i of the table is point i * step of the file (pair j at 10 j Hz).
  struct Case {
    int pairs, step, count;
  };
  for (const Case c : {Case{2500, 3, 833}, Case{1999, 2, 1000}, Case{1000, 2, 500}, Case{999, 1, 999}}) {
    ASSERT_EQ(ReadTactMicFile(MicFile(c.pairs), r), CalibrationRead::Completed);
    ASSERT_EQ(r.Count, c.count) << c.pairs;
    for (int i = 0; i < c.count; ++i) ASSERT_EQ(r.Freq[i], 10.0f * i * c.step) << c.pairs << " " << i;
  }

  // Past the pair limit: the message, and the table from the pairs read.
  dialogs.ExpectMessage();
  ASSERT_EQ(ReadCalibrationFile(MicFile(33000), r), CalibrationRead::Completed);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 9231");
  const int step = kMaxMicFilePairs / 1000 + 1;
  EXPECT_EQ(r.Count, std::lround(static_cast<double>(kMaxMicFilePairs) / step));
  EXPECT_EQ(r.Freq[r.Count - 1], 10.0f * (r.Count - 1) * step);

  WriteText(TempPath("X.MIC"), "0\r\n1\r\n2\r\n3\r\n");
  ASSERT_EQ(ReadCalibrationFile(TempPath("X.MIC"), r), CalibrationRead::Completed);
  EXPECT_EQ(r.Count, 1);

  // No 0 line among the first six: the message, and the seventh line is the 0 Hz level.
  dialogs.ExpectMessage();
  ASSERT_EQ(ReadTactMicFile(MicFile(3, "a\r\n1\r\nb\r\nc\r\nd\r\ne\r\n4,5\r\n"), r), CalibrationRead::Completed);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 7619");
  ASSERT_EQ(r.Count, 4);  // the file's own 0 line and level became the first pair
  EXPECT_EQ(r.Level[0], 4.5f);
  EXPECT_EQ(r.Level[1], -3.5f);

  for (const char* bad : {"x\r\ny\r\n", "0\r\n", "0\r\n1\r\n3e40\r\n1\r\n"}) {
    WriteText(TempPath("bad.mic"), bad);
    EXPECT_EQ(ReadTactMicFile(TempPath("bad.mic"), r), CalibrationRead::Failed) << bad;
  }
  EXPECT_EQ(ReadTactMicFile(TempPath("gone.mic"), r), CalibrationRead::NotOpened);
}

std::string Text(const QLineEdit* e) { return e->text().toStdString(); }

bool PointerNormal(const QWidget* w) { return w->cursor().shape() == Qt::ArrowCursor; }

class MicCalFormTest : public test::MainViewsTest {
 protected:
  MicCalForm* Form() { return Forms::Get<MicCalForm>(); }

  std::string File(const std::string& name, const std::string& text) {
    WriteText(TempPath(name), text);
    return TempPath(name);
  }
  // A .cal file of the given "frequency level" lines.
  std::string CalFile(const std::string& name, const std::string& points, const std::string& lines = "Ann\r\nM1\r\n") {
    return File(name, lines + points);
  }

  void Import(const std::string& path, int messages = 0) {
    dialogs.ExpectOpenFile(path);
    for (int i = 0; i < messages; ++i) dialogs.ExpectMessage();
    Form()->ImportText_Click();
  }
  // Load through the window, answering the path message.
  void Load(const std::string& path) {
    dialogs.ExpectOpenFile(path);
    dialogs.ExpectMessage();
    Form()->LoadCal_Click();
  }

  // A unit impulse at the 50 ms reference point, added as a new measurement.
  void AddUnitImpulse() {
    std::vector<float> samples(kMaxSamples, 0.0f);
    samples[2400] = 1.0f;
    MeasurementHeader h = EQConfig;
    h.SampleRate = 48000;
    h.PeriodExponent = 17;
    ASSERT_EQ(AddMeasurementToResults(samples, h, "1", "2", "3", "4", "5"), "True");
  }

  // The last-read table and the calibration in force as they stand.
  struct Snapshot {
    int32_t count, activeCount;
    std::array<float, kMaxMicCalPoints> freq, level, activeFreq, activeLevel;
    std::string name, activeName;
    bool operator==(const Snapshot&) const = default;
  };
  static Snapshot Take() {
    return {MicCalCount,     ActiveMicCal.Count, MicCalFreq,     MicCalLevel, ActiveMicCal.Freq,
            ActiveMicCal.Level, MicCalFileName,  ActiveMicCal.FileName};
  }
};

TEST_F(MicCalFormTest, MainWindowEntryOpensTheWindowAndOnlyACompletedLoadChangesTheCalibration) {
  EXPECT_FALSE(w->MicCalibration->isEnabled());
  InstallMicCalibrationLinks();
  w->RefreshLinkedControls();
  ASSERT_TRUE(w->MicCalibration->isEnabled());
  w->MicCalibration->trigger();
  ASSERT_TRUE(Forms::IsLoaded<MicCalForm>());
  MicCalForm* f = Form();
  EXPECT_TRUE(f->isVisible());
  EXPECT_EQ(f->parentWidget(), w);
  EXPECT_TRUE(f->isWindow());
  EXPECT_EQ(f->windowTitle(), "Microphone Calibration Files");
  // Nothing in force: the name box is disabled and the defaults stay.
  EXPECT_FALSE(f->MicCaltext->isEnabled());
  EXPECT_EQ(Text(f->MicCaltext), "FileName");
  EXPECT_EQ(Text(f->LineOne), "User Name & Date");
  EXPECT_EQ(Text(f->LineTwo), "Mic Model");
  EXPECT_TRUE(f->Caltext->toPlainText().isEmpty());

  // Closing unloads it; the next opening lists the points in force.
  ActiveMicCal = {2, {20, 1000}, {-1.25f, 0.5f}, "/m/ref.cal"};
  f->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_FALSE(Forms::IsLoaded<MicCalForm>());
  f = Form();
  EXPECT_TRUE(f->MicCaltext->isEnabled());
  EXPECT_EQ(Text(f->MicCaltext), "/m/ref.cal");
  EXPECT_EQ(Text(f->LineOne), " Line 1: Not Shown ");
  EXPECT_EQ(Text(f->LineTwo), " Line 2: Not Shown");
  EXPECT_EQ(f->Caltext->toPlainText().toStdString(), "20    -1.25    0.0\n1000    0.5    0.0\n");

  // Only a completed load changes the calibration in force.
  const std::string good = CalFile("ref.cal", "20  1.5  0\r\n20000  2.5  0\r\n");
  PlotterToUpdate = kFalse;
  dialogs.Clear();
  Load(good);
  const DialogCall& open = dialogs.calls()[0];
  EXPECT_EQ(std::tie(open.title, open.filter, open.defaultExtension),
            std::make_tuple("Open Microphone Calibration File",
                            "*.cal (Mirabelt Files) (*.cal)|*.cal|*.mic (TacT Files) (*.mic)|*.mic", "cal"));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{good});
  EXPECT_EQ(Text(f->LineOne), "Ann");
  EXPECT_EQ(Text(f->LineTwo), "M1");
  EXPECT_EQ(f->Caltext->toPlainText().toStdString(), "20  1.5  0\n20000  2.5  0\n");
  EXPECT_EQ(Text(f->MicCaltext), good);
  EXPECT_TRUE(f->MicCaltext->isEnabled());
  EXPECT_EQ(MicCalFileName, good);
  ASSERT_EQ(ActiveMicCal.Count, 2);
  EXPECT_EQ(ActiveMicCal.Freq[1], 20000.0f);
  EXPECT_EQ(ActiveMicCal.Level[1], 2.5f);
  EXPECT_EQ(ActiveMicCal.FileName, good);
  EXPECT_EQ(w->GetMicCalFileNotes(), "ref.cal");
  EXPECT_EQ(PlotterToUpdate, kTrue);
  EXPECT_TRUE(PointerNormal(f));
  const QImage shot = f->grab().toImage();  // ZENTOR_MICCAL_PNG keeps the picture
  EXPECT_TRUE(shot.width() > 300 && shot.height() > 300);
  if (const char* path = std::getenv("ZENTOR_MICCAL_PNG")) {
    EXPECT_TRUE(shot.save(path));
  }
  const Snapshot before = Take();

  dialogs.Clear();
  dialogs.ExpectOpenFile(std::nullopt);
  f->LoadCal_Click();
  EXPECT_TRUE(dialogs.MessageTexts().empty());
  EXPECT_EQ(Take(), before);

  struct Bad {
    std::string path, message;
  };
  WriteText(TempPath("nolevel.mic"), "0\r\nlevel\r\n20\r\n1\r\n");
  ASSERT_EQ(mkfifo(TempPath("pipe.cal").c_str(), 0600), 0);
  const std::string huge = CalFile("huge.cal", "");
  ASSERT_EQ(truncate(huge.c_str(), 17 << 20), 0);
  for (const Bad& b : {Bad{CalFile("short.cal", "", "one line only"),
                           "Error 2 Opening Calibration File: " + TempPath("short.cal") + ": cut short after line 1"},
                       Bad{CalFile("x.txt", "20 1\r\n"),
                           "Error 1 Opening Calibration File: " + TempPath("x.txt") + ": not a .cal or .mic file"},
                       Bad{TempPath("pipe.cal"),
                           "Error 1 Opening Calibration File: " + TempPath("pipe.cal") + ": not a regular file"},
                       Bad{huge, "Error 1 Opening Calibration File: " + huge + ": larger than 16 MiB, more than any such file"},
                       Bad{TempPath("nolevel.mic"), "Error 3298"}}) {
    dialogs.Clear();
    dialogs.ExpectOpenFile(b.path);
    dialogs.ExpectMessage();
    dialogs.ExpectMessage();
    f->LoadCal_Click();
    EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{b.path, b.message}));
    EXPECT_EQ(Take(), before) << b.path;
    EXPECT_EQ(Text(f->MicCaltext), good);
    EXPECT_TRUE(PointerNormal(f));
  }

  // The next measurement still carries the calibration read last.
  AddUnitImpulse();
  EXPECT_EQ(Take(), before);
  EXPECT_EQ(w->GetMicCalFileNotes(), "ref.cal");
}

TEST_F(MicCalFormTest, CreatCalSavesOrKeepsTheTypedTableAndTheSoundCardsReadingIsQuiet) {
  MicCalForm* f = Form();
  // A line of one field stops everything.
  f->Caltext->setPlainText("20 1\nlonely\n");
  dialogs.ExpectMessage();
  f->CreatCal_Click();
  EXPECT_EQ(dialogs.MessageTexts(),
            std::vector<std::string>{"User Error: There must be at least two columns containing values"});
  EXPECT_EQ(MicCalCount, 0);
  EXPECT_EQ(ActiveMicCal.Count, 0);
  EXPECT_TRUE(PointerNormal(f));

  // Yes: the name's extension is replaced in the file name only, not the folder, and the file read back.
  ASSERT_TRUE(QDir(tempDir.path()).mkdir("a.b"));
  const std::string chosen = TempPath("a.b/x.y.txt"), written = TempPath("a.b/x.y.cal");
  dialogs.Clear();
  f->LineOne->setText("Ann 1 May");
  f->LineTwo->setText("M2");
  f->Caltext->setPlainText("20  -1.25\n1000 0,5 45\n\n5 5\n");
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectSaveFile(chosen);
  f->CreatCal_Click();
  ASSERT_EQ(dialogs.calls().size(), 2u);
  const DialogCall &ask = dialogs.calls()[0], &save = dialogs.calls()[1];
  EXPECT_EQ(std::tie(ask.text, ask.buttons, ask.icon, ask.title),
            std::make_tuple(" Save calibration file ?", MsgButtons::YesNo, MsgIcon::Exclamation, "Zentor"));
  EXPECT_EQ(std::tie(save.title, save.filter, save.fileName),
            std::make_tuple("Save *.cal File", "Microphone calibration files (*.cal)|*.cal", "FileName"));
  const std::string file = "Ann 1 May\r\nM2\r\n20.000  -1.250  0.000\r\n1000.000  0.500  45.000\r\n";
  EXPECT_EQ(ReadText(written), file);
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(TempPath("a.cal"))));
  EXPECT_EQ(f->Phase[1], 45.0f);
  EXPECT_EQ(Text(f->MicCaltext), written);
  ASSERT_EQ(ActiveMicCal.Count, 2);
  EXPECT_EQ(ActiveMicCal.Level[1], 0.5f);
  EXPECT_EQ(ActiveMicCal.FileName, written);
  EXPECT_TRUE(PointerNormal(f));

  // No, or a cancelled save: the typed table itself is in force, under no name.
  for (bool cancelSave : {false, true}) {
    dialogs.Clear();
    f->Caltext->setPlainText(cancelSave ? "60 -3" : "50 3");
    dialogs.ExpectMessage(cancelSave ? MsgAnswer::Yes : MsgAnswer::No);
    if (cancelSave) dialogs.ExpectSaveFile(std::nullopt);
    f->CreatCal_Click();
    ASSERT_EQ(ActiveMicCal.Count, 1);
    EXPECT_EQ(ActiveMicCal.Level[0], cancelSave ? -3.0f : 3.0f);
    EXPECT_EQ(ActiveMicCal.FileName, "");
    EXPECT_TRUE(f->MicCaltext->isEnabled());
  }
  EXPECT_EQ(ReadText(written), file);

  // An empty table typed: nothing in force, and the name box disabled.
  f->Caltext->clear();
  dialogs.ExpectMessage(MsgAnswer::No);
  f->CreatCal_Click();
  EXPECT_EQ(ActiveMicCal.Count, 0);
  EXPECT_FALSE(f->MicCaltext->isEnabled());

  // The sound-card window's reading is quiet and restores the pointer.
  QWidget window;
  QLineEdit shown("No Mic Cal File Loaded");
  auto read = [&](std::optional<std::string> path, int messages = 0) {
    dialogs.Clear();
    dialogs.ExpectOpenFile(std::move(path));
    for (int i = 0; i < messages; ++i) dialogs.ExpectMessage();
    const bool done = OpenSoundCardCalibration(&window, &shown);
    EXPECT_TRUE(PointerNormal(&window));
    return done;
  };

  const std::string mic = TempPath("ref.mic");
  WriteText(mic, "TacT\r\n0\r\n-1\r\n100\r\n2\r\n200\r\n3\r\n");
  ASSERT_TRUE(read(mic));
  EXPECT_EQ(dialogs.calls()[0].title, "Open Microphone Calibration File");
  EXPECT_EQ(dialogs.calls()[0].defaultExtension, "cal");
  EXPECT_TRUE(dialogs.MessageTexts().empty());  // no path message
  EXPECT_EQ(Text(&shown), mic);
  EXPECT_EQ(MicCalFileName, mic);
  ASSERT_EQ(ActiveMicCal.Count, 2);
  EXPECT_FLOAT_EQ(ActiveMicCal.Freq[1], 100.0f);
  EXPECT_FLOAT_EQ(ActiveMicCal.Level[1], 2.0f);
  EXPECT_EQ(w->GetMicCalFileNotes(), "ref.mic");
  // The sound-card window's own button reads the same way into its name box.
  SoundCardSelectorForm* card = Forms::Get<SoundCardSelectorForm>();
  dialogs.ExpectOpenFile(mic);
  card->Calibration->click();
  EXPECT_EQ(Text(card->MicCaltext), mic);
  const Snapshot before = Take();

  // Cancelled, neither extension, missing: silent.
  for (const std::optional<std::string>& path : {std::optional<std::string>(), std::optional(CalFile("x.doc", "20 1\r\n")),
                                                 std::optional(TempPath("gone.mic"))}) {
    EXPECT_FALSE(read(path));
    EXPECT_TRUE(dialogs.MessageTexts().empty());
  }
  EXPECT_FALSE(read(CalFile("short.cal", "", "one line"), 1));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error Opening Calibration File: " + TempPath("short.cal") +
                                                             ": cut short after line 1"});
  EXPECT_EQ(Take(), before);
  EXPECT_EQ(Text(&shown), mic);

  // Nothing after line 2: an empty calibration in force under that file's name.
  const std::string empty = CalFile("Empty.Cal", "");
  ASSERT_TRUE(read(empty, 1));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Calibration File Input Error 1"});
  EXPECT_EQ(ActiveMicCal.Count, 0);
  EXPECT_EQ(ActiveMicCal.FileName, empty);
  EXPECT_EQ(Text(&shown), empty);

  // The calibration in force corrects the view and travels with the set.
  // A microphone 6 dB hot everywhere: a unit impulse reads -6 dB.
  const std::string cal = CalFile("flat6.cal", "20  6  0\r\n20000  6  0\r\n");
  Load(cal);
  AddUnitImpulse();
  w->Norm->setChecked(false);
  DisplayConfig.Graphshown = kFractOctView;
  w->DisplayResults(kRecomputeAllCurves);
  const CurveRecord& c = FractOctCurves[0];
  ASSERT_GT(c.NumPoints, 50);
  for (int32_t i = 0; i < c.NumPoints; ++i) ASSERT_NEAR(c.YValues[i], -6.0f, 0.1f) << c.XValues[i];

  // Saved and reopened, the set keeps its table and the file's name.
  const std::string set = TempPath("set.cfa");
  dialogs.ExpectSaveFile(set);
  ASSERT_TRUE(SaveMeasurementFile());
  ActiveMicCal = MicCalTable{};
  w->SetMicCalFileName("");
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectOpenFile(set);
  OpenMeasurementFile();
  ASSERT_EQ(ActiveMicCal.Count, 2);
  EXPECT_FLOAT_EQ(ActiveMicCal.Freq[1], 20000.0f);
  EXPECT_FLOAT_EQ(ActiveMicCal.Level[0], 6.0f);
  EXPECT_FLOAT_EQ(ActiveMicCal.Level[1], 6.0f);
  EXPECT_EQ(ActiveMicCal.FileName, cal);
  Form2* details = Forms::Get<Form2>();
  details->Form_Load();
  EXPECT_EQ(Text(details->MicCalName), "flat6.cal");
}

// A smooth microphone response, the oracle of the resampled table.
double Response(double f) { return 1.5 * std::sin(std::log(f)) - 0.002 * std::sqrt(f); }

TEST_F(MicCalFormTest, TextTablesLoadAreRefusedWithTheirLineOrResampled) {
  struct Shape {
    const char* name;
    std::string text;
    const char* info;
  };
  const Shape shapes[] = {
      {"0deg crlf", "\"Sens Factor =-1.23dB, AGain =18dB, SERNO: 7001234\"\r\n10.054\t-2.5\t12.0\r\n20\t-1\t3\r\n"
                    "\r\n20000\t1.75\t-4\r\n", "Sensitivity -1.23 dB, serial 7001234"},
      {"90deg lf", "* 90 degrees\n# made by hand\n10.054 -2.5\n20 -1\n20000 1.75\n", ""},
      {"commas", "; note\n10.054, -2.5, 12\n20;-1;3\n 20000 , +1.75 ,-4\n", ""},
      {"decimal commas, a byte-order mark", "\xEF\xBB\xBF\"Sens Factor =-1,2dB\"\n10,054 -2,5 12\n20;-1;3\n20000\t1,75\t-4\n",
       "Sensitivity -1.2 dB"},
      // A spreadsheet's thousands separators, a line without decimals among them.
      {"thousands, tabs", "10.054\t-2.50\t0.0\n1,000\t-1\t0\n20,000\t1.75\t0.0\n", ""},
      {"thousands, semicolons", "10.054;-2.5\n1,000;-0.75\n20,000.0;1.75\n", ""},
  };
  for (const Shape& s : shapes) {
    Import(File("mic.txt", s.text));
    ASSERT_EQ(ActiveMicCal.Count, 3) << s.name;
    EXPECT_EQ(ActiveMicCal.Freq[0], 10.054f) << s.name;
    EXPECT_EQ(ActiveMicCal.Level[2], 1.75f) << s.name;
    EXPECT_EQ(MicCalCount, 3) << s.name;
    EXPECT_EQ(Form()->MicTextInfo->text().toStdString(), s.info) << s.name;
    EXPECT_EQ(Form()->Caltext->toPlainText().count('\n'), 3) << s.name;
  }
  EXPECT_EQ(ActiveMicCal.Freq[1], 1000.0f) << "a thousands separator read as a decimal comma";
  // Each layout read as it is written.
  const struct {
    const char* text;
    float f, level;
  } layouts[] = {{"1,000 2,5\n", 1.0f, 2.5f},      {"31,5;-0,75\n", 31.5f, -0.75f},   {"20,-1.25,0\n", 20.0f, -1.25f},
                 {"1000,0\n", 1000.0f, 0.0f},      {"1,000\t0.00\t0.0\n", 1000.0f, 0}, {"1,000;-0.75\n", 1000.0f, -0.75f},
                 {"1,000.5 0\n", 1000.5f, 0.0f},   {"1,000,000 0\n", 1e6f, 0.0f}};
  for (const auto& l : layouts) {
    Import(File("layout.txt", l.text));
    ASSERT_EQ(ActiveMicCal.Count, 1) << l.text;
    EXPECT_EQ(std::pair(ActiveMicCal.Freq[0], ActiveMicCal.Level[0]), std::pair(l.f, l.level)) << l.text;
  }
  EXPECT_TRUE(dialogs.MessageTexts().empty());
  Import(File("mic.txt", shapes[0].text));
  // Saved as a .cal file, the table keeps every point, its first one too.
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectSaveFile(TempPath("from text.cal"));
  Form()->CreatCal_Click();
  ASSERT_EQ(ActiveMicCal.FileName, TempPath("from text.cal"));
  ASSERT_EQ(ActiveMicCal.Count, 3);
  EXPECT_EQ(ActiveMicCal.Freq[0], 10.054f);
  EXPECT_EQ(ActiveMicCal.Level[1], -1.0f);
  dialogs.Clear();

  // Malformed files are refused with their line and change nothing.
  const MicCalTable before = ActiveMicCal;
  const std::string head = "\"Sens Factor =-1dB\"\r\n20 1\r\n";
  const std::pair<std::string, std::string> cases[] = {
      {head + "10 1\r\n", "line 3: the frequency must be above the one before"},
      {head + "20 1\r\n", "line 3: the frequency must be above the one before"},
      {"0 1\n", "line 1: the frequency must be above 0 Hz"},
      {"# x\n-5 1\n", "line 2: the frequency must be above 0 Hz"},
      {head + "30 50.5\r\n", "line 3: the level must be within +/-50 dB"},
      {head + "30 -51\r\n", "line 3: the level must be within +/-50 dB"},
      {head + "30\r\n", "line 3: a frequency and a level are needed"},
      {head + "30 abc\r\n", "line 3: \"abc\" is not a number"},
      {head + "30 1 x\r\n", "line 3: \"x\" is not a number"},
      {"Freq SPL\n20 1\n", "line 1: \"Freq\" is not a number"},
      {"20 nan\n", "line 1: \"nan\" is not a number"},
      {head + std::string(4097, '1') + "\r\n", " is longer than 4096 characters"},
      {"", "The calibration text holds no line of numbers"},
      {"20 1\n1e39 1\n", "line 2: the frequency must be within 0.1 Hz to 1 MHz"},
      {"1e-50 1\n", "line 1: the frequency must be within 0.1 Hz to 1 MHz"},
      {"20 1\n20.0000001 1\n", "line 2: the frequency must be above the one before"},
      {"20 1\n30 1 1e300\n", "line 2: the phase must be within +/-100000 degrees"},
      {"20,5,1 1\n", "line 1: \"20,5,1\" has no clear decimal mark"},
      {"20 1\n31.5,2 -1\n", "line 2: \"31.5,2\" has no clear decimal mark"},
      {"20 1\n1,5\t0.25\n", "line 2: \"1,5\" has no clear decimal mark"},
      {"20 1\n1,000,000 2,5\n", "line 2: \"1,000,000\" has no clear decimal mark"},
      {"20 1,5\n1,000\t0.5\n", "line 2: a comma marks thousands here but decimals on line 1"},
      {"20,000\t0.5\n31,5 1\n", "line 2: a comma marks decimals here but thousands on line 1"},
      {"* only notes\n\n;\n", "The calibration text holds no line of numbers"},
  };
  for (const auto& [text, why] : cases) {
    dialogs.Clear();
    Import(File("bad.txt", text), 1);
    ASSERT_EQ(dialogs.MessageTexts().size(), 1u) << why;
    EXPECT_NE(dialogs.MessageTexts()[0].find(why), std::string::npos) << dialogs.MessageTexts()[0];
    EXPECT_EQ(ActiveMicCal.Count, before.Count) << why;
    EXPECT_EQ(ActiveMicCal.Level, before.Level) << why;
    EXPECT_EQ(ActiveMicCal.FileName, before.FileName) << why;
  }
  // Nor is what cannot be read whole: a FIFO would block, a huge file fill the memory.
  ASSERT_EQ(mkfifo(TempPath("pipe.txt").c_str(), 0600), 0);
  const std::string huge = File("huge.txt", "20 1\n");
  ASSERT_EQ(truncate(huge.c_str(), 17 << 20), 0);
  for (const auto& [path, why] : {std::pair{TempPath("pipe.txt"), std::string("not a regular file")},
                                  std::pair{huge, std::string("larger than 16 MiB, more than any such file")}}) {
    dialogs.Clear();
    Import(path, 1);
    EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 1 Opening Calibration File: " + path + ": " + why});
    EXPECT_EQ(ActiveMicCal.Count, before.Count);
    EXPECT_EQ(ActiveMicCal.FileName, before.FileName);
  }

  // A long table is resampled and survives a .cal file.
  std::string text = "\"Sens Factor =-0.5dB, SERNO: 1\"\r\n";
  const int n = 2500;
  for (int i = 0; i < n; ++i) {
    const double f = 5.0 * std::pow(24000.0 / 5.0, double(i) / (n - 1));
    char line[96];
    std::snprintf(line, sizeof line, "%.4f\t%.4f\t%.1f\r\n", f, Response(f), 0.01 * i);
    text += line;
  }
  Import(File("long.txt", text), 1);
  EXPECT_EQ(dialogs.MessageTexts().back(),
            "The calibration text has 2500 points: resampled to 999 points spaced evenly in log frequency");
  ASSERT_EQ(ActiveMicCal.Count, 999);
  const MicCalTable imported = ActiveMicCal;
  EXPECT_NEAR(imported.Freq[0], 5.0f, 1e-4f);
  EXPECT_NEAR(imported.Freq[998], 24000.0f, 1e-2f);
  for (size_t i = 0; i < 999; ++i) {
    if (i > 0) {
      EXPECT_NEAR(imported.Freq[i] / imported.Freq[i - 1], std::pow(4800.0, 1.0 / 998), 1e-5) << i;
    }
    EXPECT_NEAR(imported.Level[i], Response(imported.Freq[i]), 2e-3) << i;
  }

  const std::string cal = TempPath("long.cal");
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectSaveFile(cal);
  Form()->CreatCal_Click();
  ASSERT_EQ(ActiveMicCal.FileName, cal);
  ASSERT_EQ(ActiveMicCal.Count, 999);
  for (size_t i = 0; i < 999; ++i) EXPECT_NEAR(ActiveMicCal.Level[i], imported.Level[i], 0.005) << i;
  EXPECT_EQ(Form()->LineTwo->text().toStdString(), "Sensitivity -0.5 dB, serial 1");
}

}  // namespace
}  // namespace zentor
