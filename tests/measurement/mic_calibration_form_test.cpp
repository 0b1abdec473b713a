// The calibration window, the sound-card window's reading and the calibration in
// force: what a completed, cancelled or failed reading leaves behind, and what the
// calibration does to a view.
#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "cal_text.h"

#include "core/results_store.h"
#include "display/dispatcher.h"
#include "display/view_state.h"
#include "mainwindow/file_details.h"
#include "mainwindow/measurement_file.h"
#include "mainwindow/views_fixture.h"
#include "measurement/mic_calibration.h"
#include "platform/help.h"

namespace zentor {
namespace {

using test::DialogCall;

using test::ReadText;
using test::WriteText;

std::string Text(const QLineEdit* e) { return e->text().toStdString(); }

bool PointerNormal(const QWidget* w) { return w->cursor().shape() == Qt::ArrowCursor; }

class MicCalFormTest : public test::ViewsTest {
 protected:
  MicCalForm* Form() { return Forms::Get<MicCalForm>(); }

  // A .cal file of the given "frequency level" lines.
  std::string CalFile(const std::string& name, const std::string& points, const std::string& lines = "Ann\r\nM1\r\n") {
    const std::string path = TempPath(name);
    WriteText(path, lines + points);
    return path;
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

TEST_F(MicCalFormTest, LoadHandlerShowsTheCalibrationInForce) {
  MicCalForm* f = Form();
  EXPECT_EQ(f->windowTitle(), "Microphone Calibration Files");
  EXPECT_EQ(f->Frame1->title(), "Create Cal File");
  for (auto [label, text] : {std::pair{f->Label4, "Freq[Hz]"}, {f->Label5, "Level [dB]"}, {f->Label6, "Phase [deg]"}})
    EXPECT_EQ(label->text(), text);
  for (auto [button, text] : {std::pair{f->CreatCal, "Create *.cal File"}, {f->LoadCal, "Load"}, {f->Help, "Help"}})
    EXPECT_EQ(button->text(), text);
  // Nothing in force: the name box is disabled and the defaults stay.
  EXPECT_FALSE(f->MicCaltext->isEnabled());
  EXPECT_EQ(Text(f->MicCaltext), "FileName");
  EXPECT_EQ(Text(f->LineOne), "User Name & Date");
  EXPECT_EQ(Text(f->LineTwo), "Mic Model");
  EXPECT_TRUE(f->Caltext->toPlainText().isEmpty());
  f->Help_Click();
  EXPECT_EQ(GetHelpLog().topics.back(), 1100);

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
}

TEST_F(MicCalFormTest, OnlyACompletedLoadChangesTheCalibrationInForce) {
  const std::string good = CalFile("ref.cal", "20  1.5  0\r\n20000  2.5  0\r\n");
  PlotterToUpdate = kFalse;
  Load(good);
  const DialogCall& open = dialogs.calls()[0];
  EXPECT_EQ(std::tie(open.title, open.filter, open.defaultExtension),
            std::make_tuple("Open Microphone Calibration File",
                            "*.cal (Mirabelt Files) (*.cal)|*.cal|*.mic (TacT Files) (*.mic)|*.mic", "cal"));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{good});
  MicCalForm* f = Form();
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
  for (const Bad& b : {Bad{CalFile("short.cal", "", "one line only"), "Error 2 Opening Calibration File"},
                       Bad{CalFile("wide.cal", "20 1e39\r\n"), "Error 2 Opening Calibration File"},
                       Bad{CalFile("x.txt", "20 1\r\n"), "Error 1 Opening Calibration File"},
                       Bad{TempPath("gone.cal"), "Error 1 Opening Calibration File"},
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

TEST_F(MicCalFormTest, CreatCalSavesOrKeepsTheTypedTable) {
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
  const std::string chosen = TempPath("a.b/x.y.cal"), written = TempPath("a.b/x.cal");
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
}

TEST_F(MicCalFormTest, SoundCardReadingIsQuietAndRestoresThePointer) {
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
  const Snapshot before = Take();

  // Cancelled, neither extension, missing: silent.
  for (const std::optional<std::string>& path : {std::optional<std::string>(), std::optional(CalFile("x.doc", "20 1\r\n")),
                                                 std::optional(TempPath("gone.mic"))}) {
    EXPECT_FALSE(read(path));
    EXPECT_TRUE(dialogs.MessageTexts().empty());
  }
  EXPECT_FALSE(read(CalFile("short.cal", "", "one line"), 1));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error Opening Calibration File"});
  EXPECT_EQ(Take(), before);
  EXPECT_EQ(Text(&shown), mic);

  // Nothing after line 2: an empty calibration in force under that file's name.
  const std::string empty = CalFile("Empty.Cal", "");
  ASSERT_TRUE(read(empty, 1));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Calibration File Input Error 1"});
  EXPECT_EQ(ActiveMicCal.Count, 0);
  EXPECT_EQ(ActiveMicCal.FileName, empty);
  EXPECT_EQ(Text(&shown), empty);
}

TEST_F(MicCalFormTest, CalibrationInForceCorrectsTheViewAndTravelsWithTheSet) {
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

TEST_F(MicCalFormTest, MainWindowEntryOpensTheWindow) {
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

  // Rendered with a file loaded; ZENTOR_MICCAL_PNG keeps the picture.
  Load(CalFile("ref.cal", "20  -1.5  0\r\n100  0.25  0\r\n1000  0  0\r\n10000  1.75  0\r\n20000  -2  0\r\n"));
  const QImage shot = f->grab().toImage();
  EXPECT_GT(shot.width(), 300);
  EXPECT_GT(shot.height(), 300);
  if (const char* path = std::getenv("ZENTOR_MICCAL_PNG")) {
    EXPECT_TRUE(shot.save(path));
  }
}

}  // namespace
}  // namespace zentor
