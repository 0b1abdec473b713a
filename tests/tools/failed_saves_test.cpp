// A save that fails keeps the old file and says so: every writer, run through its
// command, against each fault the atomic writer can meet and against a real full or
// read-only tmpfs when the test may mount one.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "analysers/distortion_form.h"
#include "analysers/test_cd_writer.h"
#include "crossover/xover_form.h"
#include "crossover/xover_links.h"
#include "display/plot_colours.h"
#include "display/graph_export.h"
#include "eqdesign/eq_report.h"
#include "mainwindow/measurement_file.h"
#include "mainwindow/user_settings.h"
#include "measurement/mic_calibration.h"
#include "platform/forms.h"
#include "platform/imaging.h"
#include "platform/picture.h"
#include "platform/settings.h"
#include "support/file_faults.h"
#include "tools/export_pcm.h"
#include "tools_fixture.h"

namespace zentor::test {
namespace {

class NoPrinter final : public PrinterService {
 public:
  bool HasDefaultPrinter() override { return false; }
  bool PrintOnDefaultPrinter(const QImage&) override { return false; }
};

// A 256 KiB tmpfs mounted for the test; skipped unless the test is root and may mount.
class SmallDisk {
 public:
  explicit SmallDisk(const std::string& where) : where_(where) {
    if (::geteuid() != 0)
      why_ = "not root";
    else if (::mount("tmpfs", where.c_str(), "tmpfs", 0, "size=256k,mode=0777") != 0)
      why_ = std::string("mount -t tmpfs failed: ") + std::strerror(errno);
  }
  ~SmallDisk() {
    if (mounted()) ::umount2(where_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return why_.empty(); }
  const std::string& why() const { return why_; }
  // Fills every free block with one file, the last partial page too.
  bool Fill() {
    const int fd = ::open((where_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    std::vector<char> block(4096, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    const bool full = errno == ENOSPC;
    while (::write(fd, block.data(), 1) > 0) {
    }
    ::close(fd);
    return full;
  }
  void Unfill() { ::unlink((where_ + "/filler").c_str()); }
  bool ReadOnly(bool on) {
    return ::mount("tmpfs", where_.c_str(), "tmpfs", MS_REMOUNT | (on ? MS_RDONLY : 0), "size=256k,mode=0777") == 0;
  }

 private:
  std::string where_, why_;
};

class FailedSaves;

// One writer, reached through its command: its save dialog answered with the path,
// `questions` questions with Yes, then an OK for each message after the write.
struct Writer {
  std::string name;
  std::string file;  // the target's name in its folder
  int questions;
  std::function<void(FailedSaves&)> run;
  std::vector<std::string> failed;  // what the command shows when the write fails
  std::vector<std::string> saved = {};  // and when it succeeds
  // The unsaved flags and titles the command may change only on success.
  std::function<void(FailedSaves&)> markUnsaved = nullptr;
  std::function<void(FailedSaves&, bool saved)> checkFlags = nullptr;
};

class FailedSaves : public ToolsTest {
 protected:
  void SetUp() override {
    ToolsTest::SetUp();
    InstallXoverLinks();
    w->RefreshLinkedControls();
    SetPrinterService(&noPrinter);
    // One result to save and export.
    LoadSet(1, 48000, 14, [](int32_t, int32_t i) { return i == 300 ? -0.75f : 0.001f * float(i % 7); });
    picture.resize(300, 200);
  }
  void TearDown() override {
    disk.reset();  // unmounted whatever the test did
    SetPrinterService(nullptr);
    FileCalls = FileSystemCalls{};
    ToolsTest::TearDown();
  }

  static std::vector<uint8_t> OldBytes(const std::string& name) {
    const std::string text = "the old " + name + " file, which a failed save must keep\n";
    return {text.begin(), text.end()};
  }
  // Writes the old file of the writer into `folder`, made first when it is not there.
  std::string WithOld(const Writer& wr, const std::string& folder) {
    EXPECT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    WriteFile(folder + "/" + wr.file, OldBytes(wr.name));
    return folder;
  }

  // Runs one writer's command over its old file in `folder`, expecting it to fail
  // (or, with failing false, to succeed), and checks what it left.
  void SaveOver(const Writer& wr, const std::string& folder, bool failing, const std::string& why) {
    SCOPED_TRACE(wr.name + ": " + why);
    const std::string path = folder + "/" + wr.file;
    const std::vector<uint8_t> old = OldBytes(wr.name);
    ASSERT_EQ(ReadFile(path), old);
    w->setWindowTitle("title before");
    if (wr.markUnsaved) wr.markUnsaved(*this);
    dialogs.Clear();
    std::vector<std::string> shown = failing ? wr.failed : wr.saved;
    for (std::string& text : shown)
      if (const size_t at = text.find("<path>"); at != std::string::npos) text.replace(at, 6, path);
    dialogs.ExpectSaveFile(path);
    for (int i = 0; i < wr.questions; ++i) dialogs.ExpectMessage(MsgAnswer::Yes);
    for (size_t i = 0; i < shown.size(); ++i) dialogs.ExpectMessage();
    wr.run(*this);
    const std::vector<std::string> texts = dialogs.MessageTexts();
    ASSERT_GE(texts.size(), shown.size());
    EXPECT_EQ(std::vector<std::string>(texts.end() - static_cast<std::ptrdiff_t>(shown.size()), texts.end()), shown);
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{wr.file}) << "a temporary was left behind";
    if (failing) {
      EXPECT_EQ(ReadFile(path), old) << "the old file changed";
      EXPECT_EQ(w->windowTitle().toStdString(), "title before");
    } else {
      EXPECT_NE(ReadFile(path), old);
      EXPECT_GT(ReadFile(path).size(), 0u);
    }
    if (wr.checkFlags) wr.checkFlags(*this, !failing);
    EXPECT_EQ(dialogs.Unused(), 0u);
  }

  // The windows whose commands save, opened once, their opening questions answered.
  void OpenWindows() {
    w->ResultsTakenButNotSaved = kFalse;
    dialogs.ExpectMessage(MsgAnswer::No);  // "... Resample loaded file?"
    w->Xover->trigger();
    ASSERT_TRUE(Forms::IsLoaded<XoverForm>());
    EQConfig.SampleRate = 48000;  // the distortion window takes it without a question
    Forms::Get<DistForm>();
    dialogs.Clear();
  }

  std::vector<Writer> Writers();

  NoPrinter noPrinter;
  PictureBox picture;
  std::unique_ptr<SmallDisk> disk;
  bool returned = false;
};

std::vector<Writer> FailedSaves::Writers() {
  std::vector<Writer> all{
      {".cfa (SaveMeasurementFile)", "set.cfa", 1, [](FailedSaves&) { SaveMeasurementFile(); }, {"Error 8567"}, {},
       [](FailedSaves& t) { t.w->ResultsTakenButNotSaved = kTrue; },
       [](FailedSaves& t, bool saved) {
         EXPECT_EQ(t.w->ResultsTakenButNotSaved, saved ? kFalse : kTrue);
         EXPECT_EQ(t.w->windowTitle().toStdString(), saved ? ResultFileName : "title before");
       }},
      {".EQ (SaveEQModel_Click, SaveEQFile)", "set.EQ", 1,
       [](FailedSaves& t) { t.returned = t.w->SaveEQModel_Click(); },
       {"EQ File Save Error 3942"}, {}, [](FailedSaves& t) { t.w->EQResultsTakenButNotSaved = kTrue; },
       [](FailedSaves& t, bool saved) {
         EXPECT_EQ(t.returned, saved);
         EXPECT_EQ(t.w->EQResultsTakenButNotSaved, saved ? kFalse : kTrue);
         EXPECT_EQ(t.w->windowTitle().toStdString(), saved ? EQFileName : "title before");
       }},
      {".XVR (WriteXoverFile)", "sets.XVR", 0, [](FailedSaves&) { Forms::Get<XoverForm>()->SaveXoverFile(); },
       {"EQ File Error 4337", "Error 8727"}, {}, [](FailedSaves&) { Forms::Get<XoverForm>()->XoverSaved = false; },
       [](FailedSaves&, bool saved) { EXPECT_EQ(Forms::Get<XoverForm>()->XoverSaved, saved); }},
      {".cal (WriteMicCalFile)", "mic.cal", 2,  // " Save calibration file ?", then the replace question
       [](FailedSaves&) {
         Forms::Get<MicCalForm>()->Caltext->setPlainText("20  -1.25\n1000  0.5  45\n");
         Forms::Get<MicCalForm>()->CreatCal_Click();
       },
       {"Error 1 Opening Calibration File"}, {},
       [](FailedSaves&) { Forms::Get<MicCalForm>()->MicCaltext->setText("before.cal"); },
       [](FailedSaves&, bool saved) {
         // Only a saved file is named as the calibration's file.
         const std::string name = Forms::Get<MicCalForm>()->MicCaltext->text().toStdString();
         EXPECT_EQ(name.ends_with("mic.cal"), saved) << name;
       }},
      {"EQ settings report (TextEQ_Click)", "report.txt", 1, [](FailedSaves&) { TextEQ_Click(); },
       {"Error 5853: The EQ settings file could not be written."}},
      {"distortion text (Export_Click)", "dist.txt", 1,  // "Save DistortionProductsOutput.txt ?"
       [](FailedSaves&) { Forms::Get<DistForm>()->Export_Click(); },
       {"Error 6212: Distortion output file could not be written"}},
      {"JPEG export (WriteJpegFile)", "graph.jpg", 1, [](FailedSaves& t) { ExportPictureAsJpeg(t.picture); },
       {"Error 4977: Error writing file <path>"}},
      {"PNG export (WritePngFile)", "graph.png", 1, [](FailedSaves& t) { ExportPictureAsPng(t.picture); },
       {"Error 4977: Error writing file <path>"}},
      {"SVG export (WriteSvgFile)", "graph.svg", 1, [](FailedSaves& t) { ExportPictureAsSvg(t.picture); },
       {"Error 4977: Error writing file <path>"}},
      {"PDF print without a printer (WritePdfFile)", "graph.pdf", 1, [](FailedSaves& t) { PrintPicture(t.picture); },
       {"Error 4978: Error printing graph"}},
      {"test-CD WAV (WriteTestCDFile)", "cd.wav", 1,
       [](FailedSaves&) {
         Forms::Get<CreateTestCD>()->Text1->setText("1");
         Forms::Get<CreateTestCD>()->MakeWave_Click();
       },
       {"Wave File Creation Error"}, {"Wave File Created"}}};
  for (const auto& [type, ext] : {std::pair{"Wave", "wav"}, {"PCM", "pcm"}, {"RAW", "raw"}})
    all.push_back({std::string("impulse export ") + type, std::string("impulse.") + ext, 1,
                   [kind = std::string(type)](FailedSaves&) {
                     ExportPCM* e = Forms::Get<ExportPCM>();
                     e->Initialize(1);
                     (kind == "Wave" ? e->Wave : kind == "PCM" ? e->PCM : e->RAW)->setChecked(true);
                     e->MaxLevelText->setText("10000");
                     e->Save_Click();
                   },
                   {"Error 5438"}});
  return all;
}

// Each injected fault, then a file-size limit (a full disk without privilege, root
// included), then no fault: the same command replaces the file, so the fault made
// the difference.
TEST_F(FailedSaves, EveryWriterKeepsTheOldFileAtEveryInjectedFault) {
  OpenWindows();
  int run = 0;
  for (const Writer& wr : Writers()) {
    for (FileFault fault : kEveryFileFault) {
      InjectedFileFault injected(fault);
      SaveOver(wr, WithOld(wr, TempPath("run" + std::to_string(++run))), true, FaultName(fault));
      EXPECT_GT(injected.Hits(), 0) << wr.name << ": " << FaultName(fault) << " never struck";
    }
    {
      const std::string full = WithOld(wr, TempPath("limit" + std::to_string(++run)));
      FileSizeLimit limit(1);
      SaveOver(wr, full, true, "file-size limit");
    }
    SaveOver(wr, WithOld(wr, TempPath("run" + std::to_string(++run))), false, "no fault");
  }
}

// The dialog confirms the name typed, not the one the save adds an extension to:
// "mic" over a factory mic.cal asks, and No keeps the file; a name the save cannot
// write as typed is refused.
TEST_F(FailedSaves, ASaveUnderADerivedNameAsksBeforeReplacingAndNamesEndingInABlankOrDotAreRefused) {
  OpenWindows();
  int run = 0;
  for (const Writer& wr : Writers()) {
    // These write the name as the dialog gave it.
    if (wr.questions == 0 || wr.name.starts_with("distortion") || wr.name.starts_with("impulse")) continue;
    const size_t dot = wr.file.rfind('.');
    for (const MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
      SCOPED_TRACE(wr.name + (answer == MsgAnswer::Yes ? ": Yes" : ": No"));
      const std::string folder = WithOld(wr, TempPath("derived" + std::to_string(++run)));
      const std::string path = folder + "/" + wr.file;
      dialogs.Clear();
      dialogs.ExpectSaveFile(folder + "/" + wr.file.substr(0, dot));
      for (int i = 1; i < wr.questions; ++i) dialogs.ExpectMessage(MsgAnswer::Yes);
      dialogs.ExpectMessage(answer);
      for (size_t i = 0; i < wr.saved.size(); ++i) dialogs.ExpectMessage();
      wr.run(*this);
      const std::vector<std::string> texts = dialogs.MessageTexts();
      ASSERT_GE(texts.size(), static_cast<size_t>(wr.questions));
      EXPECT_NE(texts[static_cast<size_t>(wr.questions) - 1].find("Already Exists, Overwrite ?"), std::string::npos)
          << texts[static_cast<size_t>(wr.questions) - 1];
      EXPECT_EQ(ReadFile(path) == OldBytes(wr.name), answer == MsgAnswer::No);
      EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{wr.file});
    }
  }
  // A trailing blank or dot would be lost on many disks: refused, nothing written.
  for (const char* typed : {"t.png ", "a.."}) {
    const std::string folder = TempPath("typed" + std::to_string(++run));
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    dialogs.Clear();
    dialogs.ExpectSaveFile(folder + "/" + typed);
    dialogs.ExpectMessage();
    ExportPictureAsPng(picture);
    EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"User Error: A file name may not end in a blank or a dot, as \"" +
                                                                folder + "/" + typed + "\" does"});
    EXPECT_TRUE(FolderEntries(folder).empty());
  }
}

TEST_F(FailedSaves, OnARealFullOrReadOnlyDiskEveryWriterKeepsTheOldFile) {
  const std::string where = TempPath("disk");
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(where)));
  disk = std::make_unique<SmallDisk>(where);
  if (!disk->mounted()) GTEST_SKIP() << "no tmpfs to fill: " << disk->why();
  OpenWindows();
  // Each fault strikes after the old file was written.
  const struct {
    const char* name;
    std::function<bool()> on, off;
  } faults[] = {{"full tmpfs", [&] { return disk->Fill(); }, [&] { return disk->Unfill(), true; }},
                {"read-only tmpfs", [&] { return disk->ReadOnly(true); }, [&] { return disk->ReadOnly(false); }}};
  int run = 0;
  for (const Writer& wr : Writers())
    for (const auto& fault : faults) {
      const std::string folder = WithOld(wr, where + "/" + std::to_string(++run));
      ASSERT_TRUE(fault.on());
      SaveOver(wr, folder, true, fault.name);
      ASSERT_TRUE(fault.off());
    }

  // The settings store: its file kept whole, the save reported as failed.
  SetSettingsFolder(where + "/config");
  ASSERT_TRUE(SaveUserSettings());
  const std::string conf = SettingsFilePath("Zentor");
  const std::vector<uint8_t> before = ReadFile(conf);
  ASSERT_FALSE(before.empty());
  PlotColours[3] = 0x123456;
  for (const auto& fault : faults) {
    ASSERT_TRUE(fault.on());
    EXPECT_FALSE(SaveUserSettings()) << fault.name;
    EXPECT_EQ(ReadFile(conf), before) << fault.name;
    ASSERT_TRUE(fault.off());
  }
  EXPECT_TRUE(SaveUserSettings());
  EXPECT_NE(ReadFile(conf), before);
}

}  // namespace
}  // namespace zentor::test
