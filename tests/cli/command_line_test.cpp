// The command line, run as a user runs it: the program itself in a child process
// with no desktop, its exit status, its standard error and the files it leaves.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "app/window_links.h"
#include "base/binary_io.h"
#include "core/records.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/measurement_file.h"
#include "platform/forms.h"
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

// Runs the program with the given arguments in `dir`, without a desktop.
Outcome RunZentor(const std::string& dir, const std::vector<std::string>& args) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
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

// A small room at 48 kHz: the direct sound 2 m away and three low modes, loud
// enough for a good S/N and short of clipping (gain 1).
void WriteRoom(const std::string& path, double gain = 1) {
  const int32_t rate = 48000, n = 48000;
  std::vector<double> h(static_cast<size_t>(n), 0.0);
  const int32_t direct = 280;
  h[direct] = 0.2;
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
       "EQ File Save Error 3942"},
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
  ApplyEachModeByDialog();
  dialogs.ExpectSaveFile(dir + "/windows.EQ");
  main->SaveEQModel->trigger();
  const std::string windows = ReadAll(dir + "/windows.EQ");
  ASSERT_FALSE(windows.empty());
  EXPECT_TRUE(windows == ReadAll(dir + "/cli.EQ")) << "the command line's filters differ from the windows'";

  const Outcome room = RunZentor(dir, {"room-parameters", cfa, "--json"});
  ASSERT_EQ(room.status, 0) << room.err;
  EXPECT_EQ(room.out.rfind("{\"curve\": 1, \"bands\": [{\"centre_hz\": 63", 0), 0u) << room.out;

  // The filters out to another equaliser's text and back, and the curve as text.
  EXPECT_EQ(RunZentor(dir, {"export-filters", "cli.EQ", "--format", "apo", "--out", "apo.txt"}).status, 0);
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

}  // namespace
}  // namespace zentor::test
