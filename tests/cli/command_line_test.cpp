// The command line, run as a user runs it: the program itself in a child process
// with no desktop, its exit status, its standard error and the files it leaves.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QListWidget>
#include <QProcess>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QPushButton>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "app/window_links.h"
#include "base/binary_io.h"
#include "core/filter_record.h"
#include "core/records.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/measurement_file.h"
#include "platform/forms.h"
#include "mainwindow/filter_file.h"
#include "support/file_faults.h"
#include "support/filter_record.h"
#include "support/scripted_dialogs.h"
#include "support/fixture.h"
#include "support/silent_set.h"
#include "tools/wav_file.h"

namespace zentor::test {
namespace {

struct Outcome {
  int status = -1;
  std::string out, err;
  // The program's own lines on standard error ("zentor: …"); the sound system's
  // start-up chatter is not the program's.
  std::vector<std::string> said;
};

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}

// Runs the program with the given arguments in `dir`, without a desktop; `more`
// adds to its environment.
Outcome RunZentor(const std::string& dir, const std::vector<std::string>& args,
                  const std::vector<std::pair<QString, QString>>& more = {}) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
  for (const auto& [name, value] : more) env.insert(name, value);
  env.insert("XDG_CONFIG_HOME", QString::fromStdString(dir));  // a settings store of its own, as the test's
  QProcess p;
  p.setProcessEnvironment(env);
  p.setWorkingDirectory(QString::fromStdString(dir));
  QStringList list;
  for (const std::string& a : args) list << QString::fromStdString(a);
  p.start(ZENTOR_PROGRAM, list);
  p.waitForFinished(-1);
  Outcome o;
  o.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  o.out = p.readAllStandardOutput().toStdString();
  o.err = p.readAllStandardError().toStdString();
  for (const QString& line : QString::fromStdString(o.err).split('\n'))
    if (line.startsWith("zentor: ")) o.said.push_back(line.mid(8).toStdString());
  return o;
}

// The same with the arguments' bytes as given (a Latin-1 file name stays Latin-1,
// which a QString would not keep); standard error is left out.
Outcome RunZentorRaw(const std::string& dir, const std::vector<std::string>& args) {
  std::vector<std::string> all{ZENTOR_PROGRAM};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2];
  Outcome o;
  if (pipe(out) != 0) return o;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const std::string cwd = "XDG_CONFIG_HOME=" + dir, platform = "QT_QPA_PLATFORM=offscreen";
  std::vector<char*> env{const_cast<char*>(cwd.c_str()), const_cast<char*>(platform.c_str())};
  for (char** e = environ; *e != nullptr; ++e)
    if (std::string_view(*e).find("DISPLAY=") == std::string_view::npos && !std::string_view(*e).starts_with("QT_QPA") &&
        !std::string_view(*e).starts_with("XDG_CONFIG_HOME"))
      env.push_back(*e);
  env.push_back(nullptr);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  char buf[4096];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) o.out.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  if (spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) o.status = WEXITSTATUS(status);
  return o;
}

// A small room at 48 kHz: the direct sound 2 m away and three low modes, loud
// enough for a good S/N and short of clipping (gain 1). An echo 10 ms later of
// `echo` times the direct sound, inverted, cancels it at 100 Hz and 200 Hz.
void WriteRoom(const std::string& path, double gain = 1, double echo = 0) {
  const int32_t rate = 48000, n = 48000;
  std::vector<double> h(static_cast<size_t>(n), 0.0);
  const int32_t direct = 280;
  h[direct] = 0.2;
  h[direct + 480] = -0.2 * echo;
  const double modes[][2] = {{42.0, 6e-4}, {68.0, -4e-4}, {113.0, 3.2e-4}};
  for (int32_t i = direct; i < n; ++i) {
    const double t = double(i - direct) / rate;
    for (const auto& m : modes) h[static_cast<size_t>(i)] += m[1] * std::sin(2 * std::numbers::pi * m[0] * t) * std::exp(-t / 0.08);
  }
  BinaryWriter w;
  WriteWavHeader(w, MakeWavHeader(1, rate, n));
  for (double v : h) w.Integer(static_cast<int16_t>(std::clamp(std::lround(v * gain * 32767), -32768L, 32767L)));
  ASSERT_TRUE(WriteWholeFileAtomic(path, w.data()));
}

using CommandLineTest = ZentorTest;

// The command line's measure and fit give the filters that the windows give for
// the same set, the same view, gate and range.
TEST_F(CommandLineTest, HelpAppendBadInputAndMeasureFitDescribeMatchTheWindows) {
  const std::string dir = tempDir.path().toStdString(), cfa = dir + "/m.cfa";
  WriteRoom(dir + "/room.wav");
  const Outcome measured = RunZentor(dir, {"measure", "--room", "room.wav", "--out", "m.cfa", "--json"});
  ASSERT_EQ(measured.status, 0) << measured.err;
  EXPECT_NE(measured.out.find("\"results\": 1"), std::string::npos) << measured.out;
  EXPECT_NE(measured.out.find("\"right_sn_db\": "), std::string::npos) << measured.out;
  EXPECT_TRUE(measured.said.empty()) << measured.err;

  // Help lists every subcommand; measure appends to an existing set.
  const Outcome all = RunZentor(dir, {"--help"});
  EXPECT_EQ(all.status, 0);
  for (const char* sub : {"describe", "measure", "fit", "room-parameters", "export-filters", "import-filters",
                          "export-curve"}) {
    EXPECT_NE(all.out.find(std::string("  ") + sub), std::string::npos) << sub;
    const Outcome one = RunZentor(dir, {sub, "--help"});
    EXPECT_EQ(one.status, 0);
    EXPECT_NE(one.out.find(std::string("Usage: zentor ") + sub), std::string::npos) << one.out;
    EXPECT_NE(one.out.find("  --help"), std::string::npos) << sub;
  }

  ASSERT_TRUE(QFile::copy(QString::fromStdString(cfa), QString::fromStdString(dir + "/set.cfa")));
  const Outcome o = RunZentor(dir, {"measure", "--room", "room.wav", "--out", "set.cfa", "--append", "--repeat", "2",
                                    "--excitation", "sweep", "--json"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("\"results\": 3"), std::string::npos) << o.out;
  const Outcome d = RunZentor(dir, {"describe", "set.cfa", "--json"});
  EXPECT_NE(d.out.find("\"results\": 3"), std::string::npos) << d.out;
  EXPECT_NE(d.out.find("\"curve\": 3, \"sample_rate_hz\": 48000, \"length_samples\": 131072"), std::string::npos);
  EXPECT_NE(d.out.find("\"excitation\": \"sweep\""), std::string::npos) << d.out;
  // Bad input fails with one message and writes nothing.
  std::ofstream(dir + "/junk.EQ") << "not a filter file\n";
  std::ofstream(dir + "/plain") << "x";
  QDir(QString::fromStdString(dir)).mkdir("folder.cfa");
  std::ofstream(dir + "/kept.EQ") << "old";
  WriteRoom(dir + "/loud.wav", 20);
  // Sets whose curve has no room parameters, opening on the frequency view.
  DisplayConfig.FFTSelected = 1;
  LoadSilentSet(1, 48000, 15, 20.0f);
  ASSERT_TRUE(WriteMeasurementFile(dir + "/silent.cfa"));
  LoadSilentSet(1, 48000, 10, 20.0f);
  ImpulseSet[0][10] = 0.5f;
  ASSERT_TRUE(WriteMeasurementFile(dir + "/short.cfa"));
  // A card input that carries only its offset.
  LoadSilentSet(1, 48000, 15, 20.0f);
  std::fill_n(ImpulseSet[0].begin(), 1 << 15, 0.0123f);
  ASSERT_TRUE(WriteMeasurementFile(dir + "/dc.cfa"));
  // A decay beside a silent curve.
  LoadSilentSet(2, 48000, 15, 20.0f);
  for (int32_t i = 100; i < 20000; ++i)
    ImpulseSet[0][size_t(i)] = float(std::exp(-i / 2400.0) * ((i * 7919 % 201) - 100) / 100.0);
  ASSERT_TRUE(WriteMeasurementFile(dir + "/beside.cfa"));
  LoadSilentSet(0, 48000, 15, 20.0f);
  ASSERT_TRUE(WriteMeasurementFile(dir + "/nocurve.cfa"));
  struct Row {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* said;  // part of the one message
    bool alone = false;  // no other message came before it
  };
  const std::vector<Row> rows{
      {"unknown subcommand", {"measur"}, 2, "unknown subcommand \"measur\""},
      {"unknown option", {"describe", "junk.EQ", "--bogus"}, 2, "unknown option --bogus"},
      {"missing value", {"fit", cfa, "--eq"}, 2, "--eq needs a value"},
      {"missing file", {"describe", "none.cfa"}, 1, "Error 4927: Error opening file"},
      {"directory", {"describe", "folder.cfa"}, 1, "Error 4927: Error opening file"},
      {"unreadable", {"describe", "plain/inside.EQ"}, 1, "EQ File Error 4329"},
      {"refused by its reader", {"describe", "junk.EQ"}, 1, "EQ File Error 4329"},
      {"not a file it reads", {"describe", "plain"}, 1, "not a file Zentor reads"},
      {"model out of range", {"fit", cfa, "--eq", "o.EQ", "--model", "9"}, 2, "--model must be a whole number from 1 to 5"},
      {"gate out of range", {"fit", cfa, "--eq", "o.EQ", "--gate", "5000"}, 2, "--gate must be a number from 0.1 to 2000"},
      {"range reversed", {"fit", cfa, "--eq", "o.EQ", "--range", "200:20"}, 2, "--range must be LO:HI"},
      {"boost limit out of range", {"fit", cfa, "--eq", "o.EQ", "--max-boost", "25"}, 2, "--max-boost must be a number from 0 to 20"},
      {"target file refused", {"fit", cfa, "--eq", "o.EQ", "--target", "junk.EQ"}, 1, "Line 1 of the target file"},
      {"curve beyond the set", {"fit", cfa, "--eq", "o.EQ", "--curve", "3"}, 2, "--curve must be a whole number from 1 to 1"},
      {"fit of a missing set", {"fit", "none.cfa", "--eq", "o.EQ"}, 1, "Error 8732"},
      {"output exists", {"fit", cfa, "--eq", "kept.EQ"}, 1, "kept.EQ already exists; --force replaces it"},
      {"output folder not writable", {"fit", cfa, "--range", "20:200", "--gate", "500", "--eq", "/proc/o.EQ"}, 1,
       "/proc/o.EQ cannot be written there ("},
      {"period out of range", {"measure", "--out", "n.cfa", "--period", "20"}, 2, "--period must be a whole number from 15 to 18"},
      {"room on another card", {"measure", "--out", "n.cfa", "--room", "r.wav", "--device", "hw"}, 2, "--room applies"},
      {"measure without --out", {"measure"}, 2, "--out OUT.cfa is needed"},
      {"clipped input", {"measure", "--room", "loud.wav", "--out", "n.cfa"}, 1, "nothing written"},
      {"room the card refuses", {"measure", "--room", "junk.EQ", "--out", "n.cfa"}, 1, "nothing written"},
      {"export of a refused file", {"export-filters", "junk.EQ", "--format", "apo", "--out", "o.txt"}, 1, "EQ File Error 4329"},
      {"export format unknown", {"export-filters", "kept.EQ", "--format", "wav", "--out", "o.txt"}, 2, "--format must be one of"},
      {"import of a refused text", {"import-filters", "kept.EQ", "--eq", "o.EQ"}, 1, "holds no filter lines"},
      {"curve export of a missing set", {"export-curve", "none.cfa", "--view", "bode", "--format", "csv", "--out", "o.csv"}, 1, "Error"},
      {"room parameters of a curve not there", {"room-parameters", cfa, "--curve", "2"}, 2, "--curve must be a whole number from 1 to 1"},
      {"room parameters of a silent curve", {"room-parameters", "silent.cfa"}, 1, "Curve 1 is silent", true},
      {"room parameters of a short curve", {"room-parameters", "short.cfa", "--json"}, 1,
       "Curve 1 is too short for the 63 Hz band's filter: 1024 samples, at least ", true},
      {"room parameters of a set without curves", {"room-parameters", "nocurve.cfa"}, 1, "nocurve.cfa holds no curve", true},
      {"room parameters of an offset alone", {"room-parameters", "dc.cfa", "--json"}, 1, "Curve 1 is silent", true},
  };
  for (const Row& row : rows) {
    const Outcome o = RunZentor(dir, row.args);
    EXPECT_EQ(o.status, row.status) << row.name << "\n" << o.err;
    ASSERT_FALSE(o.said.empty()) << row.name << "\n" << o.err;
    EXPECT_NE(o.said.back().find(row.said), std::string::npos) << row.name << ": " << o.said.back();
    if (row.status == 2 || row.alone) {
      EXPECT_EQ(o.said.size(), 1u) << row.name << "\n" << o.err;
    }
    EXPECT_TRUE(o.out.empty()) << row.name;
    for (const char* name : {"o.EQ", "n.cfa", "o.txt", "o.csv"}) EXPECT_FALSE(QFile::exists(QString::fromStdString(dir + "/" + name))) << row.name;
    EXPECT_EQ(ReadAll(dir + "/kept.EQ"), "old") << row.name;
  }

  // What the silent curve beside it says on opening is not the first curve's.
  const Outcome beside = RunZentor(dir, {"room-parameters", "beside.cfa", "--curve", "1"});
  EXPECT_EQ(beside.status, 0) << beside.err;
  EXPECT_TRUE(beside.said.empty()) << beside.err;
  EXPECT_EQ(RunZentor(dir, {"room-parameters", "beside.cfa", "--curve", "2"}).said,
            std::vector<std::string>{"Curve 2 is silent"});

  const Outcome fit = RunZentor(dir, {"fit", cfa, "--range", "20:200", "--gate", "500", "--eq", "cli.EQ", "--json"});
  ASSERT_EQ(fit.status, 0) << fit.err;
  EXPECT_EQ(fit.out.find("\"range_hz\": [20, 200]"), 1u) << fit.out;
  EXPECT_EQ(fit.out.find("NaN"), std::string::npos);
  // The applied set's largest net boost, within the start-up limit of 6 dB.
  const size_t net = fit.out.find("\"max_net_boost_db\": ");
  ASSERT_NE(net, std::string::npos) << fit.out;
  double netDb = 99;
  std::from_chars(fit.out.data() + net + 20, fit.out.data() + fit.out.size(), netDb);
  EXPECT_LE(netDb, 6.05) << fit.out;
  EXPECT_NE(fit.out.find("\"max_net_boost_hz\": "), std::string::npos) << fit.out;

  // The same steps through the windows.
  DataPlotter* main = Forms::Get<DataPlotter>();
  InstallWindowLinks();
  main->RefreshLinkedControls();
  main->Form_Load();
  dialogs.ExpectOpenFile(cfa);
  main->OpenFile->trigger();
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  ShowBodeWithGate(*main, "500");
  main->SetFitRange(20, 200);
  main->FitFiltersBut->click();
  const int32_t modes = ModesListContents[0].Count;
  ASSERT_GT(modes, 0);
  main->ApplyAll->click();
  dialogs.ExpectSaveFile(dir + "/windows.EQ");
  main->SaveEQModel->trigger();
  const std::string windows = ReadAll(dir + "/windows.EQ");
  ASSERT_FALSE(windows.empty());
  EXPECT_TRUE(windows == ReadAll(dir + "/cli.EQ")) << "the command line's filters differ from the windows'";

  const Outcome room = RunZentor(dir, {"room-parameters", cfa, "--json"});
  ASSERT_EQ(room.status, 0) << room.err;
  EXPECT_EQ(room.out.rfind("{\"curve\": 1, \"bands\": [{\"centre_hz\": 63", 0), 0u) << room.out;

  // The filters out to another equaliser's text and back, and the curve as text.
  const Outcome exported = RunZentor(dir, {"export-filters", "cli.EQ", "--format", "apo", "--out", "apo.txt"});
  EXPECT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(ReadAll(dir + "/apo.txt").rfind("# Zentor filters: ", 0), 0u);
  const Outcome back = RunZentor(dir, {"import-filters", "apo.txt", "--eq", "back.EQ"});
  EXPECT_EQ(back.status, 0) << back.err;
  EXPECT_NE(RunZentor(dir, {"describe", "back.EQ"}).out.find("count: " + std::to_string(modes)), std::string::npos);
  EXPECT_EQ(RunZentor(dir, {"export-curve", cfa, "--view", "bode", "--format", "csv", "--out", "bode.csv"}).status, 0);
  EXPECT_EQ(ReadAll(dir + "/bode.csv").rfind("frequency_hz,", 0), 0u);

  const Outcome described = RunZentor(dir, {"describe", "cli.EQ", "--json"});
  ASSERT_EQ(described.status, 0) << described.err;
  EXPECT_NE(described.out.find("\"count\": " + std::to_string(modes)), std::string::npos) << described.out;
  // Describe gives each filter as fit's "applied" list gives it.
  const auto between = [](const std::string& text, const std::string& from, const std::string& to) {
    const size_t a = text.find(from);
    const size_t b = a == std::string::npos ? a : text.find(to, a);
    return b == std::string::npos ? std::string("(none)") : text.substr(a + from.size(), b - a - from.size());
  };
  EXPECT_EQ(between(described.out, "\"filters\": ", "]}"), between(fit.out, "\"applied\": ", "], \"rms_before_db\""));
}

// The names the command line writes: only the extension replaced, never an input's
// file, every output checked before any is written and taken back on a failure;
// and its texts whole and true.
TEST_F(CommandLineTest, OutputNamesInputsAndPartialOutputsAndTheTextsItPrints) {
  const std::string dir = tempDir.path().toStdString();
  const auto at = [&](const std::string& name) { return dir + "/" + name; };
  WriteRoom(at("room.wav"));
  const Outcome measured = RunZentor(dir, {"measure", "--room", "room.wav", "--out", "m.v2", "--repeat", "2"});
  ASSERT_EQ(measured.status, 0) << measured.err;
  ASSERT_TRUE(QFile::exists(QString::fromStdString(at("m.v2.cfa"))));
  AppliedFilters[0] = MakeFilter(2, 100, -6, 2);
  AppliedFilters[0].Count = 1;
  ASSERT_TRUE(SaveEQFile(at("in.EQ")));
  ASSERT_EQ(RunZentor(dir, {"export-filters", "in.EQ", "--format", "apo", "--out", "apo.txt"}).status, 0);
  ASSERT_EQ(::link(at("in.EQ").c_str(), at("alias.csv").c_str()), 0);
  ASSERT_EQ(::link(at("m.v2.cfa").c_str(), at("m.v2.csv").c_str()), 0);
  QDir(QString::fromStdString(dir)).mkdir("c_2.frd");
  QDir(QString::fromStdString(dir)).mkdir("locked");
  std::ofstream(at("my.EQ")) << "old";
  std::ofstream(at("c_1.frd")) << "old";
  const std::vector<std::string> kept = {"m.v2.cfa", "in.EQ", "apo.txt", "my.EQ", "c_1.frd"};
  std::vector<std::string> before;
  for (const std::string& k : kept) before.push_back(ReadAll(at(k)));
  std::vector<std::string> present = FolderEntries(dir);
  const std::string fit[] = {"fit", "m.v2.cfa", "--range", "20:200", "--gate", "500"};

  struct Row {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* said;               // part of the one message; "" no question asked
    std::vector<std::string> made;  // the files the run adds
    const char* replaced = "";      // the one file it may change
  };
  const auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args(std::begin(fit), std::end(fit));
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  const std::vector<Row> rows{
      {"a dotted name keeps its dots", {"import-filters", "apo.txt", "--eq", "my.room.EQ", "--force"}, 0, "", {"my.room.EQ"}},
      {"another extension is replaced", {"import-filters", "apo.txt", "--eq", "b.txt"}, 0, "", {"b.EQ"}},
      {"only an extension", {"import-filters", "apo.txt", "--eq", ".EQ"}, 2, "--eq needs a file name, not \".EQ\"", {}},
      {"an empty name", {"fit", "m.v2.cfa", "--eq", ""}, 2, "--eq needs a file name", {}},
      {"a folder's name", {"measure", "--out", "locked/"}, 2, "--out needs a file name", {}},
      {"export over its input", {"export-filters", "apo.txt", "--format", "apo", "--out", "./apo.txt", "--force"}, 2,
       "is the input", {}},
      {"export over its input by another name", {"export-filters", "in.EQ", "--format", "csv", "--out", "alias.csv", "--force"},
       2, "is the input", {}},
      {"curve over its input", {"export-curve", "m.v2.cfa", "--view", "bode", "--format", "csv", "--out", "m.v2", "--force"},
       2, "is the input", {}},
      {"import over its input", {"import-filters", "in.EQ", "--eq", "in", "--force"}, 2, "is the input", {}},
      {"a report that cannot be written", with({"--eq", "f.EQ", "--report", "none/r.txt"}), 1,
       "none/r.txt cannot be written there (the folder is not there); nothing was written", {}},
      {"a second FRD file that cannot be written",
       {"export-curve", "m.v2.cfa", "--view", "bode", "--format", "frd", "--out", "c.frd", "--force"}, 1,
       "c_2.frd cannot be written there (not a regular file); nothing was written", {}},
      {"fit and report replaced without a question", with({"--eq", "my", "--report", "my.fit", "--force"}), 0, "",
       {"my.fit.txt"}, "my.EQ"},
      {"the impulse as text", {"export-curve", "m.v2.cfa", "--view", "impulse", "--format", "csv", "--out", "i.csv"}, 0, "",
       {"i.csv"}},
      {"a room the card refuses", {"measure", "--room", "apo.txt", "--out", "n"}, 1,
       "--room: apo.txt is not a WAV file; nothing written", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Outcome o = RunZentor(dir, row.args);
    EXPECT_EQ(o.status, row.status) << o.err;
    if (*row.said == '\0') {
      for (const std::string& line : o.said) EXPECT_EQ(line.find("Already Exists"), std::string::npos) << line;
    } else {
      ASSERT_EQ(o.said.size(), 1u) << o.err;
      EXPECT_NE(o.said.back().find(row.said), std::string::npos) << o.said.back();
    }
    present.insert(present.end(), row.made.begin(), row.made.end());
    std::sort(present.begin(), present.end());
    EXPECT_EQ(FolderEntries(dir), present);
    for (size_t k = 0; k < kept.size(); ++k) {
      const std::string now = ReadAll(at(kept[k]));
      EXPECT_EQ(now == before[k], kept[k] != row.replaced) << kept[k];
      before[k] = now;
    }
  }
  // The impulse peaks where the run placed the room's direct sound: at 0 ms.
  std::istringstream impulse(ReadAll(at("i.csv")));
  std::string line;
  std::getline(impulse, line);
  EXPECT_EQ(line.rfind("time_ms,Curve 1,Curve 2", 0), 0u) << line;
  double peakMs = -1, peak = 0, t = 0, y = 0;
  while (std::getline(impulse, line))
    if (std::sscanf(line.c_str(), "%lf,%lf", &t, &y) == 2 && std::fabs(y) > peak) peak = std::fabs(y), peakMs = t;
  EXPECT_NEAR(peakMs, 0, 0.05);

  // The summaries are whole in the overview, and a float WAV is told as one.
  const std::string overview = RunZentor(dir, {"--help"}).out;
  const auto words = [](const std::string& text) {
    std::string out;
    for (const QString& w : QString::fromStdString(text).simplified().split(' ')) out += w.toStdString() + " ";
    return out;
  };
  for (const char* sub : {"describe", "fit", "room-parameters", "export-filters"}) {
    const std::string help = RunZentor(dir, {sub, "--help"}).out;
    const size_t from = help.find('\n') + 1;
    EXPECT_NE(words(overview).find(words(help.substr(from, help.find("\n\n") - from))), std::string::npos) << sub;
  }
  WavHeader h = MakeWavHeader(1, 48000, 2);  // one 32-bit float sample
  h.FormatCode = 3, h.BitsPerSample = 32, h.BlockAlign = 4, h.ByteRate = 4 * 48000, h.DataSize = 4;
  BinaryWriter w;
  WriteWavHeader(w, h);
  w.Single(0.25f);
  ASSERT_TRUE(WriteWholeFileAtomic(at("float.wav"), w.data()));
  const Outcome d = RunZentor(dir, {"describe", "float.wav", "--json"});
  EXPECT_NE(d.out.find("\"bits\": 32, \"float\": true"), std::string::npos) << d.out << d.err;
}


// A filter file of one filter: centre in Hz, Q1 and Q2 as stored, in the model given.
std::vector<uint8_t> OneFilterEQ(float hz, float q1, float q2, int32_t code = 1) {
  BinaryWriter w;
  w.Long(1);
  w.Long(1);
  w.Long(1);
  FilterRecord f;
  f.Count = 1;
  f.Kind = 2;
  f.Freq1 = static_cast<float>(2 * std::numbers::pi * hz);
  f.Q1 = q1;
  f.Q2 = q2;
  f.EQEmulationCode = code;
  w.Bytes(std::span(reinterpret_cast<const uint8_t*>(&f), sizeof f));
  return w.data();
}

// Every reader of the command line refuses what it cannot read whole (a FIFO, a
// device, a file past its bound), what is cut short or out of range, with one
// message naming the file; exit 1, nothing written, nothing it was given changed.
TEST_F(CommandLineTest, EveryReaderRefusesPipesHugeDamagedAndOutOfRangeFilesNamingThem) {
  const std::string dir = tempDir.path().toStdString();
  for (const char* fifo : {"p.cfa", "p.EQ", "p.XVR", "p.cal", "p.wav", "p.txt"})
    ASSERT_EQ(mkfifo((dir + "/" + fifo).c_str(), 0600), 0);
  WriteRoom(dir + "/room.wav");
  ASSERT_EQ(RunZentor(dir, {"measure", "--room", "room.wav", "--out", "m.cfa"}).status, 0);
  // Sparse files: their size is past the bound without writing it.
  for (const auto& [name, bytes] : {std::pair{"/huge.txt", 17 << 20}, std::pair{"/long.txt", 2 << 20}}) {
    std::ofstream(dir + name) << "20 1\n";
    ASSERT_EQ(truncate((dir + name).c_str(), bytes), 0);
  }
  const auto write = [&](const std::string& name, const std::string& text) { std::ofstream(dir + "/" + name) << text; };
  write("tiny.target", "1e-320 0\n100 1\n");
  write("q.txt", "Filter 1: ON PK Fc 100 Hz Gain -3 dB Q 1e-300\n");
  write("shelf.txt", "Preamp: -1 dB\nFilter 1: ON LS Fc 100 Hz Gain -3 dB Q 0.7\n");
  write("cut.cfa", ReadAll(dir + "/m.cfa").substr(0, 5000));
  const auto bytes = [&](const std::string& name, const std::vector<uint8_t>& b) {
    ASSERT_TRUE(WriteWholeFileAtomic(dir + "/" + name, b));
  };
  bytes("loud.EQ", OneFilterEQ(100, -2000, 0.001f));     // +126 dB
  bytes("turned.EQ", OneFilterEQ(100, -1, 5.6f));        // a boost whose level is a cut
  bytes("cut25.EQ", OneFilterEQ(100, 17.78f, 1));        // -25 dB: read, but no equaliser takes it
  bytes("high.EQ", OneFilterEQ(30000, -2, 1, 2));        // above half of 48 kHz, in a model without steps
  bytes("low.EQ", OneFilterEQ(1.6e-31f, -2, 1));         // 1e-30 rad/s, which the model's steps would take to 20 Hz
  bytes("low2.EQ", OneFilterEQ(1e-3f, -2, 1, 2));        // written with two decimals as 0 Hz
  std::vector<uint8_t> count = OneFilterEQ(100, -2, 1);
  count[0] = 200;
  bytes("count.EQ", count);
  write("kept.EQ", "old");

  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::string said;  // part of the last message
  };
  const std::vector<Row> rows{
      {"describe of a FIFO set", {"describe", "p.cfa"}, "Error 4927: Error opening file p.cfa: not a regular file"},
      {"describe of a FIFO filter file", {"describe", "p.EQ"}, "EQ File Error 4329: p.EQ: not a regular file"},
      {"describe of a FIFO crossover", {"describe", "p.XVR"}, "EQ File Error 4332: p.XVR: not a regular file"},
      {"describe of a FIFO calibration", {"describe", "p.cal"}, "Calibration File: p.cal: not a regular file"},
      {"describe of a FIFO WAV", {"describe", "p.wav"}, "p.wav: not a regular file"},
      {"fit of a FIFO", {"fit", "p.cfa", "--eq", "o.EQ"}, "Error 8732: p.cfa was not opened"},
      {"room parameters of a FIFO", {"room-parameters", "p.cfa"}, "Error 8732: p.cfa was not opened"},
      {"curve export of a FIFO", {"export-curve", "p.cfa", "--view", "bode", "--format", "csv", "--out", "o.csv"},
       "p.cfa: not a regular file"},
      {"filter export of a FIFO", {"export-filters", "p.EQ", "--format", "apo", "--out", "o.txt"}, "p.EQ: not a regular file"},
      {"filter import of a FIFO", {"import-filters", "p.txt", "--eq", "o.EQ"}, "p.txt: not a regular file"},
      {"target of a FIFO", {"fit", "m.cfa", "--eq", "o.EQ", "--target", "p.txt"}, "p.txt could not be read: not a regular file"},
      {"target of a device", {"fit", "m.cfa", "--eq", "o.EQ", "--target", "/dev/zero"}, "/dev/zero could not be read: not a regular file"},
      {"target past 16 MiB", {"fit", "m.cfa", "--eq", "o.EQ", "--target", "huge.txt"}, "huge.txt could not be read: larger than 16 MiB"},
      {"filter text past 1 MiB", {"import-filters", "long.txt", "--eq", "o.EQ"}, "long.txt: larger than 1 MiB"},
      {"room of a FIFO", {"measure", "--room", "p.wav", "--out", "n.cfa"}, "nothing written"},
      {"set cut short", {"describe", "cut.cfa"}, "cut.cfa: cut short at byte 5000"},
      {"filter count out of range", {"describe", "count.EQ"}, "count.EQ: the count of filters 200 is out of range (0 to 75)"},
      {"filter of +126 dB", {"describe", "loud.EQ"}, "loud.EQ: filter 1 has a level of 126.02 dB, which no equaliser holds"},
      {"boost stored as a cut", {"export-filters", "turned.EQ", "--format", "apo", "--out", "o.txt"}, "turned.EQ: filter 1 has a level of"},
      {"export beyond 20 dB", {"export-filters", "cut25.EQ", "--format", "apo", "--out", "o.txt"},
       ", beyond the +/-20 dB an equaliser holds."},
      {"export above half the rate", {"export-filters", "high.EQ", "--format", "apo", "--out", "o.txt"},
       " lies at or above half the sample rate of 48000 Hz."},
      {"export below the model's lowest centre", {"export-filters", "low.EQ", "--format", "apo", "--out", "o.txt"},
       "Filter 1 at 1.6E-31 Hz lies below the lowest centre that can be written (20 Hz)."},
      {"export below a hundredth of a hertz", {"export-filters", "low2.EQ", "--format", "apo", "--out", "o.txt"},
       "Filter 1 at 0.001 Hz lies below the lowest centre that can be written (0.01 Hz)."},
      {"Q of 1e-300", {"import-filters", "q.txt", "--eq", "o.EQ"}, "q.txt: Line 1: Q 1e-300 lies outside 0.01 to 100."},
      {"a shelf", {"import-filters", "shelf.txt", "--eq", "o.EQ"},
       "shelf.txt: Line 2: a filter of type LS cannot be read; only peaking (PK) filters are read: remove the other filters from the file."},
      {"subnormal target frequency", {"fit", "m.cfa", "--eq", "o.EQ", "--target", "tiny.target"},
       "Line 1 of the target file has a frequency outside 0.1 Hz to 1 MHz."},
  };
  const std::string set = ReadAll(dir + "/m.cfa");
  for (const Row& row : rows) {
    const Outcome o = RunZentor(dir, row.args);
    EXPECT_EQ(o.status, 1) << row.name << "\n" << o.err;
    ASSERT_FALSE(o.said.empty()) << row.name << "\n" << o.err;
    EXPECT_NE(o.said.back().find(row.said), std::string::npos) << row.name << ": " << o.said.back();
    EXPECT_TRUE(o.out.empty()) << row.name;
    for (const char* name : {"o.EQ", "n.cfa", "o.txt", "o.csv"}) EXPECT_FALSE(QFile::exists(QString::fromStdString(dir + "/" + name))) << row.name;
    EXPECT_EQ(ReadAll(dir + "/kept.EQ"), "old") << row.name;
    EXPECT_TRUE(ReadAll(dir + "/m.cfa") == set) << row.name;
  }

  // A byte-order mark is no part of the first line: the preamp and both filters are read.
  write("bom.txt", "\xEF\xBB\xBFPreamp: -2 dB\nFilter 1: ON PK Fc 50 Hz Gain -3 dB Q 2\nFilter 2: ON PK Fc 80 Hz Gain 2 dB Q 3\n");
  ASSERT_EQ(RunZentor(dir, {"import-filters", "bom.txt", "--eq", "bom.EQ"}).status, 0);
  EXPECT_NE(RunZentor(dir, {"describe", "bom.EQ"}).out.find("count: 2"), std::string::npos);
  // Control bytes in a name reach the terminal escaped.
  const Outcome escaped = RunZentor(dir, {"describe", "a\x1b[2Jb.EQ"});
  ASSERT_FALSE(escaped.said.empty());
  EXPECT_NE(escaped.said.back().find("a\\x1b[2Jb.EQ: not found"), std::string::npos) << escaped.said.back();
  // So do C1 controls: U+009B starts a sequence as ESC [ does.
  const Outcome csi = RunZentor(dir, {"describe", "c\xC2\x9B" "2Jd.EQ"});
  ASSERT_FALSE(csi.said.empty());
  EXPECT_NE(csi.said.back().find("c\\u009b2Jd.EQ: not found"), std::string::npos) << csi.said.back();
  EXPECT_EQ(csi.err.find("\xC2\x9B"), std::string::npos);
}

// A disk that takes no hard link (FAT, SMB, FUSE) and fills up while the second of
// two files is written: the old files come back whole, no hidden name is left,
// and a name is written as typed with the format's extension or refused.
TEST_F(CommandLineTest, FailedRunsGiveBackTheOldFilesOnEveryDiskAndNamesKeepWhatWasTyped) {
  const std::string dir = tempDir.path().toStdString();
  const auto at = [&](const std::string& name) { return dir + "/" + name; };
  WriteRoom(at("room.wav"));
  ASSERT_EQ(RunZentor(dir, {"measure", "--room", "room.wav", "--out", "seat.cfa", "--repeat", "2"}).status, 0);
  for (const char* name : {"old.EQ", "o_1.frd", "old.txt"}) std::ofstream(at(name)) << "the user's " << name;
  ASSERT_TRUE(QFile::copy(QString::fromStdString(at("seat.cfa")), QString::fromStdString(at("set2.cfa"))));
  const std::vector<std::string> fit = {"fit", "seat.cfa", "--range", "20:200", "--gate", "500", "--force"};
  const auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = fit;
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  const std::pair<QString, QString> noLinks{"ZENTOR_TEST_NO_LINK", "1"};
  const auto fullAt = [](const char* name) { return std::pair<QString, QString>{"ZENTOR_TEST_FAIL_SYNC", name}; };
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::pair<QString, QString>> disk;
    const char* said;
  };
  const std::vector<Row> rows{
      {"report on a full disk without links", with({"--eq", "old.EQ", "--report", "r.txt"}),
       {noLinks, fullAt("r.txt")}, "The EQ settings file could not be written"},
      {"report on a full disk with links", with({"--eq", "old.EQ", "--report", "r.txt"}), {fullAt("r.txt")},
       "The EQ settings file could not be written"},
      {"second FRD file on a full disk without links",
       {"export-curve", "seat.cfa", "--view", "bode", "--format", "frd", "--out", "o.frd", "--force"},
       {noLinks, fullAt("o_2.frd")}, "Error 4977: Error writing file o_2.frd"},
      {"export of a missing file over an old one", {"export-filters", "missing.EQ", "--format", "apo", "--out", "old.txt", "--force"},
       {}, "missing.EQ: not found"},
      {"the same without links", {"export-filters", "missing.EQ", "--format", "apo", "--out", "old.txt", "--force"},
       {noLinks}, "missing.EQ: not found"},
      {"fit of a curve not there", with({"--eq", "old.EQ", "--curve", "3"}), {}, "--curve must be a whole number"},
      {"measure appending a bad room", {"measure", "--out", "set2.cfa", "--append", "--room", "old.txt"}, {},
       "nothing written"},
  };
  const std::vector<std::string> present = FolderEntries(dir);
  std::vector<std::string> before;
  for (const std::string& name : present) before.push_back(ReadAll(at(name)));
  for (Row row : rows) {
    SCOPED_TRACE(row.name);
    row.disk.push_back({"LD_PRELOAD", ZENTOR_FAILING_CALLS});
    row.disk.push_back({"ASAN_OPTIONS", "detect_leaks=0:verify_asan_link_order=0"});
    const Outcome o = RunZentor(dir, row.args, row.disk);
    EXPECT_NE(o.status, 0) << o.err;
    ASSERT_FALSE(o.said.empty()) << o.err;
    EXPECT_NE(o.said.back().find(row.said), std::string::npos) << o.said.back();
    EXPECT_EQ(FolderEntries(dir), present) << "a file added or a hidden name left";
    for (size_t k = 0; k < present.size(); ++k) EXPECT_TRUE(ReadAll(at(present[k])) == before[k]) << present[k] << " changed";
  }
  // Where no copy can be kept either, nothing is written and the reason is said.
  const Outcome full = RunZentor(dir, with({"--eq", "old.EQ"}),
                                 {noLinks, {"LD_PRELOAD", ZENTOR_FAILING_CALLS}, fullAt("old.EQ"),
                                  {"ASAN_OPTIONS", "detect_leaks=0:verify_asan_link_order=0"}});
  EXPECT_EQ(full.status, 1);
  ASSERT_FALSE(full.said.empty());
  EXPECT_EQ(full.said.back(), "old.EQ cannot be written there (no copy of the old file to restore on a failure could "
                              "be made: the disk is full); nothing was written");
  EXPECT_EQ(FolderEntries(dir), present);
  // Without links a replacing run that goes well leaves only its files.
  ASSERT_EQ(RunZentor(dir, with({"--eq", "old.EQ"}), {noLinks, {"LD_PRELOAD", ZENTOR_FAILING_CALLS},
                                                      {"ASAN_OPTIONS", "detect_leaks=0:verify_asan_link_order=0"}})
                .status, 0);
  EXPECT_EQ(FolderEntries(dir), present);
  EXPECT_NE(ReadAll(at("old.EQ")), before[std::find(present.begin(), present.end(), "old.EQ") - present.begin()]);

  // Names: the format's extension added to a name without it, kept through a
  // numbered series; a trailing blank or dot refused; a backslash is a name's.
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> made;
    const char* said;
  } names[] = {
      {{"export-curve", "seat.cfa", "--view", "bode", "--format", "csv", "--out", "hall.v2"}, {"hall.v2.csv"}, ""},
      {{"export-curve", "seat.cfa", "--view", "bode", "--format", "frd", "--curve", "1", "--out", "single.v3"},
       {"single.v3.frd"}, ""},
      {{"export-curve", "seat.cfa", "--view", "bode", "--format", "frd", "--out", "my.room"},
       {"my.room_1.frd", "my.room_2.frd"}, ""},
      {{"export-curve", "seat.cfa", "--view", "bode", "--format", "frd", "--out", "o"}, {}, "o_1.frd already exists"},
      {{"export-filters", "old.EQ", "--format", "camilladsp", "--out", "config.yaml"}, {"config.yaml"}, ""},
      {{"import-filters", "config.yaml", "--eq", "a.."}, {}, "--eq may not end in a blank or a dot, as \"a..\" does"},
      {{"import-filters", "config.yaml", "--eq", "t.EQ "}, {}, "--eq may not end in a blank or a dot"},
      {{"export-filters", "old.EQ", "--format", "apo", "--out", "a\\.txt"}, {"a\\.txt"}, ""},
  };
  std::vector<std::string> now = FolderEntries(dir);
  for (const auto& n : names) {
    SCOPED_TRACE(n.args.back());
    const Outcome o = RunZentor(dir, n.args);
    EXPECT_EQ(o.status == 0, *n.said == '\0') << o.err;
    if (*n.said != '\0') {
      ASSERT_FALSE(o.said.empty());
      EXPECT_NE(o.said.back().find(n.said), std::string::npos) << o.said.back();
    }
    now.insert(now.end(), n.made.begin(), n.made.end());
    std::sort(now.begin(), now.end());
    EXPECT_EQ(FolderEntries(dir), now);
  }

  // The true reason a file cannot be read.
  ASSERT_EQ(::symlink("loop.EQ", at("loop.EQ").c_str()), 0);
  const Outcome loop = RunZentor(dir, {"describe", "loop.EQ"});
  ASSERT_FALSE(loop.said.empty());
  EXPECT_NE(loop.said.back().find("loop.EQ: a loop of symbolic links"), std::string::npos) << loop.said.back();
}

// The JSON of the subcommands is UTF-8, whatever the bytes of the files and names
// they are given: a Latin-1 .cal, a UTF-16 one, a Latin-1 file name.
TEST_F(CommandLineTest, JsonIsValidUtf8ForLatin1AndUtf16TextAndNames) {
  const std::string dir = tempDir.path().toStdString();
  std::ofstream(dir + "/latin.cal", std::ios::binary) << "Mikrofon f\xFCr Raum\r\nM\xE9tro\r\n20 1\r\n1000 0\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("Caf\xC3\xA9\r\nMic\r\n20 1\r\n1000 0\r\n")) utf16 += std::string{c, '\0'};
  // é as one UTF-16 unit, not its two UTF-8 bytes
  utf16.replace(utf16.find(std::string("\xC3\0\xA9\0", 4)), 4, std::string("\xE9\0", 2));
  std::ofstream(dir + "/wide.cal", std::ios::binary) << utf16;
  std::ofstream(dir + "/caf\xE9.cal", std::ios::binary) << "one\r\ntwo\r\n20 1\r\n";
  WriteRoom(dir + "/room.wav");
  ASSERT_EQ(RunZentor(dir, {"measure", "--room", "room.wav", "--out", "m.cfa"}).status, 0);
  ASSERT_EQ(RunZentor(dir, {"fit", "m.cfa", "--eq", "f.EQ", "--range", "20:200", "--gate", "500"}).status, 0);
  ASSERT_TRUE(QFile::copy(QString::fromStdString(dir + "/f.EQ"), QString::fromStdString(dir + "/caf\xC3\xA9.EQ")));
  rename((dir + "/caf\xC3\xA9.EQ").c_str(), (dir + "/f\xE9.EQ").c_str());
  const std::vector<std::vector<std::string>> runs{
      {"describe", "latin.cal", "--json"},
      {"describe", "wide.cal", "--json"},
      {"describe", "caf\xE9.cal", "--json"},
      {"describe", "f\xE9.EQ", "--json"},
      {"export-filters", "f\xE9.EQ", "--format", "camilladsp", "--out", "o.yml", "--json"},
      {"fit", "m.cfa", "--eq", "g.EQ", "--range", "20:200", "--gate", "500", "--json"},
      {"room-parameters", "m.cfa", "--json"},
  };
  std::vector<std::string> texts;
  for (const auto& args : runs) {
    const Outcome o = RunZentorRaw(dir, args);
    ASSERT_EQ(o.status, 0) << args[1];
    // Strict: decoding and encoding again gives the same bytes only for valid UTF-8.
    EXPECT_EQ(QString::fromUtf8(o.out).toUtf8().toStdString(), o.out) << args[1];
    QJsonParseError error;
    QJsonDocument::fromJson(QByteArray::fromStdString(o.out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << args[1] << ": " << o.out;
    texts.push_back(QString::fromUtf8(o.out).toStdString());
  }
  EXPECT_NE(texts[0].find("\"line_one\": \"Mikrofon f\xC3\xBCr Raum\", \"line_two\": \"M\xC3\xA9tro\""), std::string::npos) << texts[0];
  EXPECT_NE(texts[1].find("\"points\": 2"), std::string::npos) << texts[1];
  EXPECT_NE(texts[1].find("\"line_one\": \"Caf\xC3\xA9\""), std::string::npos) << texts[1];
  EXPECT_NE(texts[2].find("\"file\": \"caf\xC3\xA9.cal\""), std::string::npos) << texts[2];
  // The temporary folder's own clean-up cannot name what is not UTF-8.
  for (const char* name : {"/caf\xE9.cal", "/f\xE9.EQ"}) std::remove((dir + name).c_str());
}

// What the fit tells a user, by the command line and by the windows alike: the
// nulls a boost limit leaves, a range the gated view cannot show refused with
// the gate it needs, the CSV's two widths, and the models by number.
TEST_F(CommandLineTest, NullsRangesBelowTheGatedViewWidthsAndModelsAreNamed) {
  const std::string dir = tempDir.path().toStdString();
  // The echo's cancellations at 100 and 200 Hz lie 26 dB deep, beyond the 6 dB limit.
  WriteRoom(dir + "/room.wav", 1, 0.95);
  ASSERT_EQ(RunZentor(dir, {"measure", "--room", "room.wav", "--out", "m.cfa"}).status, 0);
  const Outcome json = RunZentor(dir, {"fit", "m.cfa", "--range", "20:200", "--gate", "500", "--eq", "j.EQ", "--json"});
  const Outcome text = RunZentor(dir, {"fit", "m.cfa", "--range", "20:200", "--gate", "500", "--eq", "t.EQ", "--report", "t.txt"});
  ASSERT_EQ(json.status + text.status, 0) << json.err << text.err;
  const QVariantMap j = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).toVariant().toMap();
  std::vector<std::string> printed, reported;
  const auto within = [&](double hz, double reach) {
    bool in = false;
    for (const QVariant& n : j["nulls"].toList()) in |= hz >= n.toList()[0].toDouble() / reach && hz <= n.toList()[1].toDouble() * reach;
    return in;
  };
  EXPECT_TRUE(within(100, 1.01) && within(198, 1.01)) << json.out;
  int32_t flagged = 0;  // the same modes as the windows' list marks (FitLimitsWindowTest)
  for (const QVariant& m : j["modes"].toList()) {
    ASSERT_TRUE(m.toMap().contains("null")) << json.out;
    // A flagged mode is a boost beside a null.
    if (m.toMap()["null"].toBool() && ++flagged) {
      EXPECT_TRUE(m.toMap()["gain_db"].toDouble() > 0 && within(m.toMap()["fc_hz"].toDouble(), 1.06)) << json.out;
    }
  }
  EXPECT_GT(flagged, 0);
  // The text and the report give a line per null, the same lines.
  std::istringstream out(text.out), report(ReadAll(dir + "/t.txt"));
  for (std::string line; std::getline(out, line);)
    if (line.starts_with("Null ")) printed.push_back(line);
  for (std::string line; std::getline(report, line);)
    if (line.starts_with("\"Null ")) reported.push_back(line.substr(1, line.find('"', 1) - 1));
  EXPECT_EQ(reported, printed);
  ASSERT_EQ(printed.size(), static_cast<size_t>(j["nulls"].toList().size())) << text.out;
  for (const std::string& null : printed) {
    double lo = 0, hi = 0;
    ASSERT_EQ(std::sscanf(null.c_str(), "Null %lf to %lf Hz: not corrected beyond the boost limit", &lo, &hi), 2);
    EXPECT_TRUE(within(lo, 1.001) && within(hi, 1.001)) << null;
  }

  // A range reaching below what the gated view shows is refused, naming the gate; nothing is written.
  const std::string gate = " (Large Gate Times) or raise the fit range.";
  const std::vector<std::pair<std::vector<std::string>, std::string>> refusals{
      {{"--range", "20:200", "--gate", "10"}, "20 to 200 Hz reaches below the curve shown, which starts at 100 Hz "
                                              "with a 10 ms gate. Lengthen the gate to at least 50 ms" + gate},
      {{"--range", "20:200", "--view", "fractoct", "--gate", "30"}, "20 to 200 Hz reaches below 33.3 Hz, the lowest "
           "frequency the view resolves with a 30 ms gate. Lengthen the gate to at least 50 ms" + gate},
      {{"--range", "10:200", "--view", "psyc"}, "10 to 200 Hz reaches below the curve shown, which starts at 18.6 Hz. "
                                                "Raise the fit range."}};
  for (const auto& [more, said] : refusals) {
    std::vector<std::string> args{"fit", "m.cfa", "--eq", "r.EQ", "--report", "r.txt"};
    args.insert(args.end(), more.begin(), more.end());
    const Outcome o = RunZentor(dir, args);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.said, std::vector<std::string>{"Error 5861: The fit range " + said});
    EXPECT_TRUE(o.out.empty() && !QFile::exists(QString::fromStdString(dir + "/r.EQ")) &&
                !QFile::exists(QString::fromStdString(dir + "/r.txt")));
  }
  EXPECT_EQ(RunZentor(dir, {"fit", "m.cfa", "--range", "100:200", "--gate", "10", "--eq", "edge.EQ"}).status, 0);

  // The CSV's widths: the written filter's half-gain (-3 dB) bandwidth from its
  // q, and the unit's own bandwidth control, the setting's BW/60.
  ASSERT_EQ(RunZentor(dir, {"export-filters", "j.EQ", "--format", "csv", "--out", "f.csv"}).status, 0);
  std::istringstream csv(ReadAll(dir + "/f.csv"));
  std::string line;
  std::getline(csv, line);
  EXPECT_EQ(line, "fc_hz,gain_db,q,bandwidth_3db_octaves,unit_bandwidth_octaves,model,setting");
  for (int32_t rows = 0; std::getline(csv, line) || rows == 0; ++rows) {
    double fc = 0, gain = 0, q = 0, octaves = 0, unit = 0, sixtieths = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf,%lf,DSP 1124P,", &fc, &gain, &q, &octaves, &unit), 5) << line;
    ASSERT_EQ(std::sscanf(line.substr(line.find("BW:")).c_str(), "BW:%lf/60", &sixtieths), 1) << line;
    EXPECT_NEAR(octaves, HalfGainWidthOctaves(gain, q), 1e-3) << line;
    EXPECT_NEAR(unit, sixtieths / 60, 1e-4) << line;
  }
  for (const char* sub : {"fit", "import-filters"}) {
    const std::string help = RunZentor(dir, {sub, "--help"}).out;
    const size_t first = help.find("1 DSP 1124P, 2 Bristow-Johnson, 3 Classic Audio,\n");
    EXPECT_TRUE(first < help.find(" 4 FBQ2496, 5 DCX 2496\n") && help.find(" 4 FBQ2496, 5 DCX 2496\n") != std::string::npos) << help;
  }

  // The windows refuse the same range and fit nothing.
  DataPlotter* main = Forms::Get<DataPlotter>();
  InstallWindowLinks();
  main->RefreshLinkedControls();
  main->Form_Load();
  dialogs.ExpectOpenFile(dir + "/m.cfa");
  main->OpenFile->trigger();
  ShowBodeWithGate(*main, "10");
  main->SetFitRange(20, 200);
  dialogs.ExpectMessage();
  main->FitFiltersBut->click();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 5861: The fit range " + refusals[0].second});
  EXPECT_EQ(SingularityList[0].Count + ModesListContents[0].Count, 0);
}

}  // namespace
}  // namespace zentor::test
