#include <QPlainTextEdit>
#include <sys/stat.h>
#include <optional>
#include <variant>

#include "mainwindow/file_details.h"
#include "mainwindow/filter_file.h"
#include "window_fixtures.h"

namespace zentor {
namespace {
using test::GoldenCfa;
using test::LeBytes;
using test::ReadFileBytes;
using test::StateFingerprint;
using test::WriteFileBytes;

size_t FrameBytes(const std::string& a, const std::string& b, const std::string& c) {
  return 1724 + a.size() + b.size() + c.size();
}

// The two graph frames as the store holds them now.
size_t HeldFrameBytes() {
  const GraphFrame &t = TimeGraphFrame, &f = FreqGraphFrame;
  return FrameBytes(t.XTitle, t.YTitle, t.GraphCaption) + FrameBytes(f.XTitle, f.YTitle, f.GraphCaption);
}

size_t ExpectedFileSize(size_t frames, int32_t n, int32_t s, size_t calName) {
  return 12 + frames + 36 + 78 + 196 * static_cast<size_t>(std::max(n, 1)) + 4 * static_cast<size_t>(s) * n + 8014 +
         calName + 30812;
}

class MeasurementFileTest : public test::RecordedWindowTest {
 protected:
  // Loads a file; returns the messages shown.
  std::vector<std::string> Load(const std::string& path, bool expectFailure) {
    dialogs.Clear();
    if (expectFailure) dialogs.ExpectMessage();
    const bool ok = LoadMeasurementFile(path);
    EXPECT_EQ(ok, !expectFailure) << path;
    return dialogs.MessageTexts();
  }
};

TEST_F(MeasurementFileTest, GoldenFileReadsFieldByFieldAndIsWrittenBackByteForByte) {
  GoldenCfa g;
  const LeBytes file = g.Build();
  const size_t frames = FrameBytes(g.titles[0], g.titles[1], g.titles[2]) +
                        FrameBytes("Frequency (Hz) ", "Level (dB)", "");
  ASSERT_EQ(file.size(), ExpectedFileSize(frames, 2, 1024, g.calName.size()));
  const std::string path = TempPath("golden.cfa");
  WriteFileBytes(path, file.data);
  ImpulseSet[5].fill(7.0f);  // a stale column past the file's results

  ASSERT_TRUE(LoadMeasurementFile(path));

  for (int i = 0; i < 2; ++i) {
    const double r = 1.0 / g.multipliers[static_cast<size_t>(i)];
    for (int j = 0; j < 1024; ++j) ASSERT_EQ(ImpulseSet[i][j], static_cast<float>(GoldenCfa::Stored(i, j) * r));
    EXPECT_EQ(ImpulseSet[i][1024], 0.0f);
    EXPECT_EQ(ImpulseSet[i][kMaxSamples - 1], 0.0f);
  }
  EXPECT_EQ(ImpulseSet[5][0], 0.0f);
  const MeasurementHeader& h1 = ResultsDataSetInfo[1];
  const GraphFrame &t = TimeGraphFrame, &f = FreqGraphFrame;
  const ImpulseDisplayConfigRecord& i = ImpulseDisplayConfig;
  const std::tuple<const char*, double, double> fields[] = {
      {"NumInSet", h1.NumInSet, 2}, {"ReservedDouble1", h1.ReservedDouble1, 2.25},
      {"ModalSliceMaxFreq", h1.ModalSliceMaxFreq, 151.5}, {"SampleRate", h1.SampleRate, 48000},
      {"PeriodExponent", h1.PeriodExponent, 10}, {"PreExcitationExponent", h1.PreExcitationExponent, 9},
      {"ReservedLong1", h1.ReservedLong1, 5}, {"ReservedDouble5", h1.ReservedDouble5, 17.25},
      {"MainRunFlag", h1.MainRunFlag, -1}, {"ReservedInteger3", h1.ReservedInteger3, 10},
      {"PsdPeriodExponent", h1.PsdPeriodExponent, 13}, {"ImpulseShift", h1.ImpulseShift, -101},
      {"NoiseEnergy", h1.NoiseEnergy, 46.5}, {"NoiseGateTime", h1.NoiseGateTime, 200.25},
      {"PsycShelfLevel", h1.PsycShelfLevel, -10.5}, {"PsycDataPoints", h1.PsycDataPoints, 31},
      {"FractOctPoints", h1.FractOctPoints, 1001}, {"ReservedWord2", h1.ReservedWord2, 0x55667788},
      {"MeasuredDistance", h1.MeasuredDistance, 3.125}, {"AutoRange", h1.AutoRange, -1},
      {"LevelMultiplier", h1.LevelMultiplier, 4}, {"CrossoverFrequency", h1.CrossoverFrequency, 2.75},
      {"ReservedWord3", h1.ReservedWord3, 0x0A0B0C0D}, {"NumInSet 3", ResultsDataSetInfo[2].NumInSet, 0},
      {"SampleRate 3", ResultsDataSetInfo[2].SampleRate, 0}, {"time LogX", t.LogX, 0}, {"XStart", t.XStart, -10},
      {"GridTable2", t.GridTable2[100], 2100}, {"YLineCount", t.YLineCount, 10}, {"YOffset", t.YOffset, -4.5},
      {"PlotRight", t.PlotRight, 1100},  // always reset after a load
      {"freq LogX", f.LogX, -1}, {"TrailingBlock", f.TrailingBlock[19], 20},
      {"Reserved0", DisplayConfig.Reserved0[9], 0xA9}, {"Average", DisplayConfig.Average, -1},
      {"Reserved12", DisplayConfig.Reserved12, 0x1234}, {"Graphshown", DisplayConfig.Graphshown, 3},
      {"ShowBodeInSingleView", DisplayConfig.ShowBodeInSingleView, 1}, {"Order", i.Order, 4},
      {"FilterOn", i.FilterOn, -1}, {"ETCHighHigh", i.ETCHighHigh, 3000.25}, {"ApplyMidETC", i.ApplyMidETC, 0},
      {"ETCDRPlusRev", i.ETCDRPlusRev, 300.5}, {"cal Count", ActiveMicCal.Count, 3},
      {"cal Freq", ActiveMicCal.Freq[2], 60}, {"cal Level", ActiveMicCal.Level[2], 1}};
  for (const auto& [name, read, want] : fields) EXPECT_EQ(read, want) << name;
  EXPECT_EQ(t.XTitle, "Time [ms]");
  EXPECT_EQ(t.GraphCaption, "T");
  EXPECT_EQ(f.YTitle, "Level (dB)");
  EXPECT_EQ(ActiveMicCal.FileName, "mic.cal");
  EXPECT_EQ(w->GetUserNotes(), "Living room");
  EXPECT_EQ(w->GetMicCalFileNotes(), "mic.cal");
  EXPECT_TRUE(w->avg->isChecked());
  EXPECT_EQ(w->windowTitle().toStdString(), "Mirabelt Zentor / " + path);
  EXPECT_FALSE(DataResampled);

  // Written back with the same button values (and the frames' stored right
  // edge), the file is the golden one.
  TimeGraphFrame.PlotRight = FreqGraphFrame.PlotRight = 1000;
  EXPECT_EQ(BuildMeasurementFile({-1, 0, 0, 0}), file.data);
}

TEST_F(MeasurementFileTest, LargestLegalFileRoundTripsExactlyOneByteMoreIsRefusedAndAnEmptySetLoadsBack) {
  test::FillStore(32, 17, 48000);
  const std::string longest(32767, 'x');
  for (GraphFrame* f : {&TimeGraphFrame, &FreqGraphFrame}) f->XTitle = f->YTitle = f->GraphCaption = longest;
  ActiveMicCal.Count = 2;
  ActiveMicCal.FileName = longest;
  w->SetUserNotes("notes");
  const std::vector<float> before(&ImpulseSet[0][0], &ImpulseSet[0][0] + 32 * kMaxSamples);
  BinaryWriter headers, after;
  for (const auto& h : ResultsDataSetInfo) WriteMeasurementHeader(headers, h);
  const std::string path = TempPath("largest.cfa");
  ASSERT_TRUE(WriteMeasurementFile(path));
  std::vector<uint8_t> bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), static_cast<size_t>(kLargestMeasurementFileBytes));
  ASSERT_EQ(bytes.size(), ExpectedFileSize(HeldFrameBytes(), 32, kMaxSamples, longest.size()));
  test::FillStore(0, 10, 0);
  w->SetUserNotes("");
  ActiveMicCal = MicCalTable{};
  EXPECT_TRUE(Load(path, false).empty());
  EXPECT_TRUE(std::equal(before.begin(), before.end(), &ImpulseSet[0][0]));
  for (const auto& h : ResultsDataSetInfo) WriteMeasurementHeader(after, h);
  EXPECT_EQ(after.data(), headers.data());
  EXPECT_EQ(w->GetUserNotes(), "notes");
  EXPECT_EQ(ActiveMicCal.FileName, longest);

  const uint64_t held = StateFingerprint();
  bytes.push_back(0);  // the reader would take trailing bytes; the size check does not
  WriteFileBytes(path, bytes);
  const std::vector<std::string> said = Load(path, true);
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0].rfind("Error 4927: Error opening file " + path + ": larger than ", 0), 0u) << said[0];
  EXPECT_EQ(StateFingerprint(), held);

  // An empty set writes one header and loads back.
  ResultsDataSetInfo[0] = MeasurementHeader{};  // all zero, as after a clear
  ActiveMicCal = MicCalTable{};
  ASSERT_TRUE(WriteMeasurementFile(path));
  bytes = ReadFileBytes(path);
  const size_t frames = HeldFrameBytes();
  ASSERT_EQ(bytes.size(), ExpectedFileSize(frames, 0, 1, 0));
  EXPECT_EQ(test::GetAt<int32_t>(bytes, 0), 1);
  const size_t header = 12 + frames + 36 + 78;
  EXPECT_TRUE(std::all_of(bytes.begin() + static_cast<long>(header), bytes.begin() + static_cast<long>(header + 196),
                          [](uint8_t b) { return b == 0; }));
  test::FillStore(2, 12, 44100);
  ASSERT_TRUE(LoadMeasurementFile(path));
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 0);
  EXPECT_EQ(ResultsDataSetInfo[1].SampleRate, 0);
  EXPECT_EQ(ImpulseSet[0][0], 0.0f);
}

// A shorter calibration put in force after a longer one keeps nothing of the
// longer one past its count, so a .cfa save does not depend on what was
// loaded before: the bytes equal those saved with the shorter one alone.
TEST_F(MeasurementFileTest, CalibrationSavingScaleNotesAndFileDetails) {
  const auto readIn = [this](int32_t count, float step, const std::string& name) {
    MicCalFreq.fill(0.0f);
    MicCalLevel.fill(0.0f);
    for (int32_t i = 0; i < count; ++i) {
      MicCalFreq[static_cast<size_t>(i)] = step * static_cast<float>(i + 1);
      MicCalLevel[static_cast<size_t>(i)] = 0.25f * static_cast<float>(i % 9) - 1.0f;
    }
    MicCalCount = count;
    MicCalFileName = name;
    w->LoadMicCal();
  };
  ActiveMicCal = MicCalTable{};
  readIn(3, 1000, "short.cal");
  const std::vector<uint8_t> alone = BuildMeasurementFile({0, 0, 0, 0});
  readIn(kMaxMicCalPoints, 20, "long.cal");
  readIn(3, 1000, "short.cal");
  EXPECT_EQ(ActiveMicCal.Count, 3);
  EXPECT_EQ(ActiveMicCal.Freq[2], 3000.0f);
  for (size_t i = 3; i < ActiveMicCal.Freq.size(); ++i)
    ASSERT_TRUE(ActiveMicCal.Freq[i] == 0.0f && ActiveMicCal.Level[i] == 0.0f) << i;
  EXPECT_EQ(BuildMeasurementFile({0, 0, 0, 0}), alone);

  // Saving caps the stored length and aligns every result on result one; samples go out
  // scaled by their multiplier (an unusable one stored as 1) and come back divided.
  test::FillStore(3, 18, 48000, 3.0f);
  ResultsDataSetInfo[1].PeriodExponent = 16;
  ResultsDataSetInfo[2].PreExcitationExponent = 3;
  ResultsDataSetInfo[1].LevelMultiplier = 0.0f;
  ImpulseSet[0][5] = ImpulseSet[1][5] = 2.5f;
  const std::vector<uint8_t> bytes = BuildMeasurementFile({0, 0, 0, 0});
  EXPECT_EQ(test::GetAt<int32_t>(bytes, 0), kMaxSamples);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ResultsDataSetInfo[i].PeriodExponent, 18);
    EXPECT_EQ(ResultsDataSetInfo[i].PreExcitationExponent, 17);
  }
  const size_t headers = 12 + HeldFrameBytes() + 36 + 78, samples = headers + 3 * 196;
  EXPECT_EQ(test::GetAt<float>(bytes, headers + 176), 3.0f);
  EXPECT_EQ(test::GetAt<float>(bytes, headers + 196 + 176), 1.0f);
  EXPECT_EQ(test::GetAt<float>(bytes, samples + 5 * 4), 7.5f);
  EXPECT_EQ(test::GetAt<float>(bytes, samples + (kMaxSamples + 5) * 4), 2.5f);
  const std::string path = TempPath("e18.cfa");
  WriteFileBytes(path, bytes);
  const float last = ImpulseSet[2][kMaxSamples - 1];
  test::FillStore(0, 10, 0);
  ASSERT_TRUE(LoadMeasurementFile(path));
  EXPECT_EQ(ResultsDataSetInfo[1].PeriodExponent, 18);
  EXPECT_EQ(ImpulseSet[2][kMaxSamples - 1], static_cast<float>(last * 3.0f * (1.0 / 3.0)));
  EXPECT_EQ(ImpulseSet[0][5], static_cast<float>(7.5f * (1.0 / 3.0)));
  EXPECT_EQ(ImpulseSet[1][5], 2.5f);
  EXPECT_EQ(ResultsDataSetInfo[1].LevelMultiplier, 1.0f);

  // Notes keep single-byte text within their limits.
  w->SetUserNotes("abc");
  w->SetUserNotes("z");
  EXPECT_EQ(w->GetUserNotes(), "z");
  w->SetUserNotes("caf\xC3\xA9 \xE2\x82\xAC!");  // é is single-byte text, the euro sign is not
  EXPECT_EQ(w->GetUserNotes(), "caf\xC3\xA9 ?!");
  EXPECT_EQ(UserNotesBlock.NotesCodes[4], 0xE9);
  w->SetUserNotes(std::string(15001, 'x') + "y");
  EXPECT_EQ(UserNotesBlock.NotesLength, 15000);
  EXPECT_EQ(w->GetUserNotes(), std::string(15000, 'x'));

  w->SetMicCalFileName("/home/me/cal/ECM8000.cal");
  EXPECT_EQ(w->GetMicCalFileNotes(), "ECM8000.cal");
  w->SetMicCalFileName(std::string(450, 'n'));
  EXPECT_EQ(UserNotesBlock.MicCalNotesLength, 400);

  // A stored name length of 401 reads back as 399 characters and stays so; the
  // levels view stored opens as the impulse view.
  GoldenCfa g;
  g.graphshown = 4;
  LeBytes file = g.Build();
  test::PutAt<int32_t>(file.data, file.size() - 4, 401);
  const std::string longName = TempPath("long_name.cfa");
  WriteFileBytes(longName, file.data);
  ASSERT_TRUE(LoadMeasurementFile(longName));
  EXPECT_EQ(w->GetMicCalFileNotes().size(), 399u);
  EXPECT_EQ(UserNotesBlock.MicCalNotesLength, 399);
  EXPECT_EQ(DisplayConfig.Graphshown, 2);

  // The details window shows the set and keeps edited notes.
  test::FillStore(1, 17, 48000);
  ResultsDataSetInfo[0].PreExcitationExponent = 16;
  ActiveMicCal.FileName = "/x/y/mic.cal";
  w->SetUserNotes("before");
  dialogs.ExpectModal([](QDialog* d) {
    auto* f = static_cast<Form2*>(d);
    EXPECT_EQ(f->windowTitle(), "File Details");
    EXPECT_EQ(f->FsText->text(), "48000");
    EXPECT_EQ(f->ExciteTime->text(), "2.7");
    EXPECT_EQ(f->PreExciteTime->text(), "1.3");
    EXPECT_EQ(f->MicCalName->text(), "mic.cal");
    EXPECT_EQ(f->UserNotes->toPlainText(), "before");
    EXPECT_EQ(f->FsLabel->text(), "[Hz] Sample Freq");
    f->UserNotes->setPlainText("after");
    return 0;
  });
  w->FileDetails_Click();
  EXPECT_EQ(w->GetUserNotes(), "after");
  EXPECT_FALSE(Forms::IsLoaded<Form2>());

  // With nothing loaded the window says so, and closing keeps those words.
  test::FillStore(0, 10, 0);
  Form2* f = Forms::Get<Form2>();
  f->Form_Load();
  EXPECT_EQ(f->windowTitle(), "No File Loaded");
  EXPECT_TRUE(f->FsText->text().isEmpty());
  Forms::Unload<Form2>();
  EXPECT_EQ(w->GetUserNotes(), "No File Loaded");
}

// Every truncation and every bad count or length fails with the reader's message
// and leaves all loaded state exactly as it was.
TEST_F(MeasurementFileTest, DamagedFilesChangeNothingAndSaveCommandsAskBeforeOverwriting) {
  test::FillStore(3, 10, 48000, 2.0f);  // a set the file could join
  GoldenCfa g;
  g.calCount = 0;  // the calibration held
  const LeBytes toAdd = g.Build();
  const std::string path = TempPath("bad.cfa");
  uint64_t held = StateFingerprint();
  for (size_t cut : toAdd.boundaries) {
    if (cut >= toAdd.size()) continue;
    WriteFileBytes(path, std::vector<uint8_t>(toAdd.data.begin(), toAdd.data.begin() + static_cast<long>(cut)));
    dialogs.Clear();
    dialogs.ExpectOpenFile(path);
    dialogs.ExpectMessage();
    AddMeasurementFile();
    ASSERT_EQ(dialogs.MessageTexts(),
              std::vector<std::string>{"Error 4926: Error adding file " + path + ": cut short at byte " + std::to_string(cut)});
    ASSERT_EQ(StateFingerprint(), held) << "added cut at " << cut;
  }

  AppliedFilters[0].Count = 1;
  AppliedFilters[0].Freq1 = 600.0f;
  ActiveMicCal.Count = 1;
  ActiveMicCal.FileName = "held.cal";
  w->SetUserNotes("held notes");
  DisplayConfig.Graphshown = 6;
  ResultFileName = "held.cfa";
  w->setWindowTitle("held");
  held = StateFingerprint();
  g.calCount = 3;
  const LeBytes file = g.Build();
  size_t cases = 0;
  for (size_t cut : file.boundaries) {
    if (cut >= file.size()) continue;
    WriteFileBytes(path, std::vector<uint8_t>(file.data.begin(), file.data.begin() + static_cast<long>(cut)));
    ASSERT_EQ(Load(path, true),
              std::vector<std::string>{"Error 4927: Error opening file " + path + ": cut short at byte " + std::to_string(cut)});
    ASSERT_EQ(StateFingerprint(), held) << "cut at " << cut;
    ++cases;
  }
  EXPECT_GT(cases, 150u);

  const size_t timeFrame = 12;
  const size_t freqFrame = timeFrame + FrameBytes(g.titles[0], g.titles[1], g.titles[2]);
  const size_t display = freqFrame + FrameBytes("Frequency (Hz) ", "Level (dB)", "");
  const size_t header0 = display + 36 + 78;
  const size_t header1 = header0 + 196;
  const size_t cal = header1 + 196 + 2 * 1024 * 4;
  const size_t calName = cal + 4 + 8008;
  const size_t notes = calName + 2 + g.calName.size();
  const int32_t big = std::numeric_limits<int32_t>::max();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Patch {
    size_t at;
    int kind;  // 0 Long, 1 Integer, 2 Single
    double value;
  };
  const Patch patches[] = {
      {0, 0, -1}, {0, 0, 0}, {0, 0, 131073}, {0, 0, big},                      // S
      {timeFrame + 1650, 1, -1}, {timeFrame + 1650, 1, 32767},                  // a title length
      {timeFrame + 1622, 0, 101}, {timeFrame + 1630, 0, -2},                    // grid counts
      {freqFrame + 1618, 0, 102},                                               // unused grid count
      {display + 20, 0, -1}, {display + 20, 0, 8},                              // Graphshown
      {header0, 0, -1}, {header0, 0, 33}, {header0, 0, big},                    // N
      {header1 + 176, 2, 0}, {header1 + 176, 2, nan}, {header1 + 176, 2, inf},  // LevelMultiplier
      {header1 + 40, 0, 9}, {header1 + 40, 0, 21}, {header0 + 40, 0, -5},      // PeriodExponent
      {cal, 0, -1}, {cal, 0, 1002}, {cal, 0, big},                             // calibration count
      {calName, 1, -1}, {calName, 1, 32767},                                   // calibration name
      {notes, 0, -1}, {notes, 0, 15001}, {notes, 0, big},                      // notes length
      {notes + 4 + 30002 + 802, 0, -1},                                         // calibration-name notes
  };
  for (const Patch& p : patches) {
    std::vector<uint8_t> bad = file.data;
    if (p.kind == 0) test::PutAt<int32_t>(bad, p.at, static_cast<int32_t>(p.value));
    if (p.kind == 1) test::PutAt<int16_t>(bad, p.at, static_cast<int16_t>(p.value));
    if (p.kind == 2) test::PutAt<float>(bad, p.at, static_cast<float>(p.value));
    WriteFileBytes(path, bad);
    const std::vector<std::string> said = Load(path, true);
    ASSERT_EQ(said.size(), 1u) << "patch at " << p.at;
    EXPECT_EQ(said[0].rfind("Error 4927: Error opening file " + path + ": ", 0), 0u) << said[0];
    ASSERT_EQ(StateFingerprint(), held) << "patch at " << p.at;
  }
  EXPECT_EQ(Load(TempPath("missing.cfa"), true).size(), 1u);
  EXPECT_EQ(StateFingerprint(), held);

  // The same file unharmed does load.
  WriteFileBytes(path, file.data);
  Load(path, false);
  EXPECT_NE(StateFingerprint(), held);

  // Both save commands: the dialog, the name's stem kept with the file's own extension, the
  // caption and the unsaved mark; an existing file goes only on Yes.
  ResultFileName = "VavevadoRovoResult";  // as at start-up
  test::FillStore(1, 10, 48000);
  QDir(tempDir.path()).mkdir("a.b");
  const std::string cfa = TempPath("a.b/x.y.cfa"), eq = TempPath("a.b/room.v2.EQ");
  const struct {
    std::function<bool()> save;
    int16_t DataPlotter::*mark;
    const std::string* fileName;
    const char *title, *filter, *defaultName;
    std::string typed, saved, question;
  } table[] = {
      {[] { return SaveMeasurementFile(); }, &DataPlotter::ResultsTakenButNotSaved, &ResultFileName, "Save *.cfa File",
       "cfa files (*.cfa)|*.cfa", "VavevadoRovoResult", TempPath("a.b/x.y.CFA"), cfa, "File Already Exists, Overwrite ?"},
      {[this] { return w->SaveEQModel_Click(); }, &DataPlotter::EQResultsTakenButNotSaved, &EQFileName,
       "Save *.EQ File", "Zentor EQ files (*.EQ)|*.EQ", "EQSim.Eq", TempPath("a.b/room.v2"), eq,
       eq + " Already Exists, Overwrite ?"}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.title);
    w->*row.mark = kTrue;
    dialogs.Clear();
    dialogs.ExpectSaveFile(row.typed);
    EXPECT_TRUE(row.save());
    const test::DialogCall& call = dialogs.calls().front();
    EXPECT_EQ(call.title, row.title);
    EXPECT_EQ(call.filter, row.filter);
    EXPECT_EQ(call.fileName, row.defaultName);
    EXPECT_EQ(*row.fileName, row.saved);
    EXPECT_EQ(w->windowTitle().toStdString(), row.saved);
    EXPECT_EQ(w->*row.mark, 0);
    const std::vector<uint8_t> old = ReadFileBytes(row.saved);
    ASSERT_FALSE(old.empty());
    ImpulseSet[0][0] = 99.0f;
    AppliedFilters[0].Count = 1;
    for (MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Cancel}) {
      w->*row.mark = kTrue;
      dialogs.Clear();
      dialogs.ExpectSaveFile(row.saved);
      dialogs.ExpectMessage(answer);
      EXPECT_FALSE(row.save());
      const test::DialogCall& q = dialogs.calls()[1];
      EXPECT_EQ(q.text, row.question);
      EXPECT_EQ(q.buttons, MsgButtons::YesNoCancel);
      EXPECT_EQ(q.icon, MsgIcon::Exclamation);
      EXPECT_EQ(q.title, "Mirabelt Zentor");
      EXPECT_EQ(ReadFileBytes(row.saved), old);
      EXPECT_EQ(w->*row.mark, kTrue);
    }
    dialogs.Clear();
    dialogs.ExpectSaveFile(row.saved);
    dialogs.ExpectMessage(MsgAnswer::Yes);
    EXPECT_TRUE(row.save());
    EXPECT_NE(ReadFileBytes(row.saved), old);
    dialogs.ExpectSaveFile(std::nullopt);
    EXPECT_FALSE(row.save());
    AppliedFilters[0].Count = 0;
  }

  // A failed write reports, and keeps the mark and the caption.
  w->ResultsTakenButNotSaved = kTrue;
  QDir(tempDir.path()).mkdir("taken.cfa");
  dialogs.Clear();
  dialogs.ExpectSaveFile(TempPath("taken.cfa"));
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectMessage();
  EXPECT_FALSE(SaveMeasurementFile());
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 8567");
  EXPECT_EQ(w->ResultsTakenButNotSaved, kTrue);
  EXPECT_EQ(w->windowTitle().toStdString(), eq);

  DataResampled = true;
  dialogs.ExpectMessage();
  EXPECT_FALSE(SaveMeasurementFile());
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Resampled data cannot be saved");
}

using OpenCommandTest = MeasurementFileTest;

TEST_F(OpenCommandTest, OpenCommandsReplaceWhatIsHeldOnlyWithAFileThatLoadsAndAWindowCanRefuseToClose) {
  const std::string good = TempPath("good.cfa");
  WriteFileBytes(good, GoldenCfa().Build().data);
  std::vector<std::string> asked;
  bool integrityCloses = false;
  const auto closes = [&](const char* name, const bool* answer) {
    return [&asked, name, answer] { return asked.push_back(name), answer ? *answer : true; };
  };
  ExtDisplayHooks.UnloadXoverForm = closes("Xover", nullptr);
  ExtDisplayHooks.UnloadDataIntegrityForm = closes("DataIntegrity", &integrityCloses);
  ExtDisplayHooks.UnloadThreeDForm = closes("ThreeD", nullptr);
  const uint64_t held = StateFingerprint();
  dialogs.ExpectOpenFile(good);
  OpenMeasurementFile();
  EXPECT_EQ(asked, (std::vector<std::string>{"Xover", "DataIntegrity"}));
  EXPECT_EQ(StateFingerprint(), held);

  integrityCloses = true;
  asked.clear();
  dialogs.ExpectOpenFile(good);
  OpenMeasurementFile();
  EXPECT_EQ(asked, (std::vector<std::string>{"Xover", "DataIntegrity", "ThreeD"}));
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  ExtDisplayHooks = ExtDisplayLinks{};

  // Both open commands: No to the question keeps what is held; a refused file or a
  // cancelled dialog leaves it, name and all, though the question gave it up (and the
  // filters the user agreed to remove stay too); a file that loads replaces it.
  int listRefreshes = 0;
  FileCommandHooks.UpdateAppliedFiltersList = [&] { ++listRefreshes; };
  test::FillStore(2, 12, 44100);
  ResultFileName = "kept.cfa";
  w->setWindowTitle("kept");
  AppliedFilters[0].Count = 2;
  AppliedFilters[0].Freq1 = 100.0f;
  AppliedFilters[0].EQEmulationCode = AppliedFilters[1].EQEmulationCode = 2;
  const std::string eq = TempPath("good.EQ"), text = "Frequency 100 Hz, gain -3 dB, Q 2\n";
  WriteFileBytes(eq, test::GoldenEQ(2, 3, 4));
  const struct {
    std::function<void()> open;
    std::string question, title, filter, good, readerError, error;
    std::vector<std::vector<uint8_t>> refused;
    bool filterQuestion;
  } table[] = {{OpenEQFile, "EQ Results are in memory, Overwrite ?", "Open Zentor *.EQ File",
                "Zentor EQ files (*.EQ)|*.EQ", eq, "EQ File Error 4329: " + TempPath("bad") + ": ",
                "Error 8733: " + TempPath("bad") + " was not opened; the filters in memory are kept",
                {test::GoldenEQ(76, 1, 1), {text.begin(), text.end()}}, false},
               {OpenMeasurementFile, "Measurements are in memory, Overwrite ?", "Open *.cfa File",
                "CFA files (*.cfa)|*.cfa", good,
                "Error 4927: Error opening file " + TempPath("bad") + ": ",
                "Error 8732: " + TempPath("bad") + " was not opened; the set in memory is kept", {{1, 2, 3}}, true}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.title);
    const uint64_t held = StateFingerprint();
    dialogs.Clear();
    dialogs.ExpectMessage(MsgAnswer::No);
    row.open();
    EXPECT_EQ(dialogs.calls()[0].text, row.question);
    EXPECT_EQ(dialogs.calls()[0].title, "Zentor.x");
    const auto answerYes = [&] {
      dialogs.Clear();
      dialogs.ExpectMessage(MsgAnswer::Yes);
      if (row.filterQuestion) dialogs.ExpectMessage(MsgAnswer::Yes);  // "Remove current EQ filters ?"
    };
    for (const std::vector<uint8_t>& bytes : row.refused) {
      WriteFileBytes(TempPath("bad"), bytes);
      answerYes();
      dialogs.ExpectOpenFile(TempPath("bad"));
      dialogs.ExpectMessage();
      dialogs.ExpectMessage();
      row.open();
      EXPECT_EQ(dialogs.MessageTexts().back(), row.error);
      EXPECT_EQ(dialogs.MessageTexts()[dialogs.MessageTexts().size() - 2].rfind(row.readerError, 0), 0u)
          << dialogs.MessageTexts()[dialogs.MessageTexts().size() - 2];
      EXPECT_EQ(StateFingerprint(), held);
    }
    // A FIFO would block the reader for ever: it is refused before it is opened.
    QFile::remove(QString::fromStdString(TempPath("bad")));
    ASSERT_EQ(mkfifo(TempPath("bad").c_str(), 0600), 0);
    answerYes();
    dialogs.ExpectOpenFile(TempPath("bad"));
    dialogs.ExpectMessage();
    dialogs.ExpectMessage();
    row.open();
    EXPECT_EQ(dialogs.MessageTexts()[dialogs.MessageTexts().size() - 2], row.readerError + "not a regular file");
    EXPECT_EQ(StateFingerprint(), held);
    QFile::remove(QString::fromStdString(TempPath("bad")));
    answerYes();
    dialogs.ExpectOpenFile(std::nullopt);
    row.open();
    EXPECT_EQ(StateFingerprint(), held);
    if (row.filterQuestion) {  // what the views held goes with the set
      SingularityList[4].Count = 7;
      w->ModesList->addItem("old");
      w->CurveNoText->setText("3");
      BodeCurves[2].NumPoints = 100;
    }
    answerYes();
    dialogs.ExpectOpenFile(row.good);
    row.open();
    const std::vector<test::DialogCall>& calls = dialogs.calls();
    EXPECT_EQ(calls[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(calls.back().title, row.title);
    EXPECT_EQ(calls.back().filter, row.filter);
    if (row.filterQuestion) {
      EXPECT_EQ(calls[1].text, "Remove current EQ filters ?");
      EXPECT_EQ(calls[1].buttons, MsgButtons::YesNo);
      EXPECT_EQ(calls[1].icon, MsgIcon::Question);
    }
    EXPECT_NE(StateFingerprint(), held);
  }
  EXPECT_EQ(listRefreshes, 5);  // after each filter file read or refused, and when the filters go with a new set
  EXPECT_EQ(EQFileName, eq);
  EXPECT_EQ(w->GetParametricEQEmulation(), 3);
  EXPECT_EQ(ResultFileName, good);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  EXPECT_EQ(AppliedFilters[0].Count, 0);  // agreed to be removed, with a file that loaded
  EXPECT_EQ(InitialOpenFolder, tempDir.path().toStdString());
  EXPECT_EQ((std::vector<int32_t>{SingularityList[4].Count, BodeCurves[2].NumPoints, w->ModesList->count()}),
            (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(w->CurveNoText->text() + w->CurveNumberText->text(), "11");
  EXPECT_EQ(DisplayConfig.Average, 0);  // the file says -1: a new set starts without the average
  EXPECT_FALSE(w->avg->isChecked());
  EXPECT_EQ(w->ResultsTakenButNotSaved, 0);
  EXPECT_TRUE(w->FreqBut->isChecked());  // the file's Bode view, FFT chosen
  EXPECT_EQ(DisplayConfig.Graphshown, 3);
  EXPECT_EQ(rb.Last(), (test::BuilderCall{"ShowFFTResponseSet", 0}));
  EXPECT_EQ(StaticConfig.SampleRate, 0);
}

class AddCommandTest : public MeasurementFileTest {
 protected:
  // A file of `count` results at the rate and period, calibration as given.
  std::string MakeFile(const std::string& name, int count, int32_t rate, int32_t exponent, int calCount = 3) {
    GoldenCfa g;
    g.rate = rate;
    g.periodExponent = exponent;
    g.S = 1 << std::min(exponent, 17);
    g.multipliers.assign(static_cast<size_t>(count), 2.0f);
    g.calCount = calCount;
    const std::string path = TempPath(name);
    WriteFileBytes(path, g.Build().data);
    return path;
  }
  std::string Add(const std::string& path, bool expectMessage) {
    dialogs.Clear();
    dialogs.ExpectOpenFile(path);
    if (expectMessage) dialogs.ExpectMessage();
    w->AddMeasurements_Click();
    const auto texts = dialogs.MessageTexts();
    return texts.empty() ? "" : texts.back();
  }
};

TEST_F(AddCommandTest, RefusesWhatCannotJoinTheSetAndAppendsWhatCan) {
  ASSERT_TRUE(LoadMeasurementFile(MakeFile("base.cfa", 2, 48000, 12)));
  uint64_t held = StateFingerprint();
  EXPECT_EQ(Add(MakeFile("rate.cfa", 1, 44100, 12), true),
            "User Error: The sample frequency of the new files must be equal to the existing file frequency");
  EXPECT_EQ(Add(MakeFile("short.cfa", 1, 48000, 11), true),
            "User Error: The measurement period of the new files must be equal to or greater than the existing file "
            "period");
  EXPECT_EQ(StateFingerprint(), held);

  // One calibration level different is refused; the same table under another name is not.
  std::string path = MakeFile("cal.cfa", 1, 48000, 12);
  std::vector<uint8_t> bytes = ReadFileBytes(path);
  GoldenCfa g;
  g.periodExponent = 12;
  g.S = 4096;
  g.multipliers = {2.0f};
  const size_t cal = bytes.size() - 30812 - 2 - g.calName.size() - 8008 - 4;
  test::PutAt<float>(bytes, cal + 4 + 4004 + 4, 0.75f);
  WriteFileBytes(path, bytes);
  EXPECT_EQ(Add(path, true), "User Error: Added files must have the same mic calibration as originals");
  EXPECT_EQ(StateFingerprint(), held);
  ActiveMicCal.FileName = "other name.cal";
  held = StateFingerprint();
  EXPECT_EQ(Add(MakeFile("samecal.cfa", 1, 48000, 12), false), "");
  EXPECT_NE(StateFingerprint(), held);

  // 30 + 3 is too many; a longer period is welcome.
  test::FillStore(30, 12, 48000);
  held = StateFingerprint();
  EXPECT_EQ(Add(MakeFile("three.cfa", 3, 48000, 12), true),
            "User Error: The number of curves in the new file exceeds memory available");
  EXPECT_EQ(StateFingerprint(), held);

  // A set it can join takes the results and is marked unsaved.
  ASSERT_TRUE(LoadMeasurementFile(MakeFile("base.cfa", 2, 48000, 12)));
  const std::string caption = w->windowTitle().toStdString();
  const GraphFrame frame = TimeGraphFrame;
  TimeGraphFrame.PlotRight = 900;
  w->SetUserNotes("mine");
  BodeCurves[0].NumCurves = 2;
  EXPECT_EQ(Add(MakeFile("long.cfa", 2, 48000, 14), false), "");
  EXPECT_EQ(rb.Last(), (test::BuilderCall{"ShowFFTResponseSet", 2}));  // the two new curves only
  for (int i = 0; i < 4; ++i) EXPECT_EQ(ResultsDataSetInfo[i].NumInSet, 4);
  EXPECT_EQ(ResultsDataSetInfo[3].PeriodExponent, 14);
  EXPECT_EQ(ImpulseSet[3][16383], GoldenCfa::Stored(1, 16383) / 2.0f);
  EXPECT_EQ(ImpulseSet[2][100], GoldenCfa::Stored(0, 100) / 2.0f);
  EXPECT_EQ(ImpulseSet[3][16384], 0.0f);
  EXPECT_EQ(w->ResultsTakenButNotSaved, kTrue);
  EXPECT_EQ(TimeGraphFrame.PlotRight, 1100);
  EXPECT_EQ(TimeGraphFrame.XTitle, frame.XTitle);
  EXPECT_EQ(w->GetUserNotes(), "mine");
  EXPECT_EQ(w->windowTitle().toStdString(), caption);

  // Drawn for real, the average runs over results of both lengths.
  ViewBuilders = DefaultViewBuilders();
  w->DisplayResults(kRecomputeAllCurves);
  EXPECT_GT(AverageCurves[0].NumPoints, 0);
}

// The command line at start-up and the save questions at close.
using test::MainWindowTest;

// A file named on the command line: a set opens in the impulse view, a filter set is
// applied, and a file that is not what it is called loads nothing. The results held
// go first, with everything derived from them.
TEST_F(MainWindowTest, FileNamedOnTheCommandLineIsShownOrRefused) {
  GoldenCfa g;
  g.graphshown = 3;
  const std::string set = TempPath("set one.cfa"), eq = TempPath("room.eq"), bad = TempPath("bad.EQ");
  WriteFileBytes(set, g.Build().data);
  WriteFileBytes(eq, test::GoldenEQ(1, 2, 3));
  WriteFileBytes(TempPath("filters.cfa"), test::GoldenEQ(1, 2, 3));
  WriteFileBytes(bad, {9, 9, 9});
  const struct {
    std::string line;
    std::vector<std::string> messages;
    int32_t results, filters;
  } table[] = {{set, {}, 2, 0},
               {"\"" + set + "\"", {}, 2, 0},
               {eq, {}, 0, 1},
               {bad, {"EQ File Error 4329: " + bad + ": cut short at byte 3",
                      "Error 8733: " + bad + " was not opened; the filters in memory are kept"}, 0, 0},
               {TempPath("filters.cfa"), {"Error 4927: Error opening file " + TempPath("filters.cfa") + ": cut short at byte 112"}, 0, 0},
               {TempPath("notes.txt"), {}, 0, 0}};  // neither a set nor a filter file
  for (const auto& row : table) {
    SCOPED_TRACE(row.line);
    test::FillStore(3, 12, 48000);
    for (CurveArray* cache : {&ImpulseCurves, &BodeCurves, &ModalCurves, &FitStoredCurves}) (*cache)[0].NumCurves = 3;
    dialogs.Clear();
    for (size_t k = 0; k < row.messages.size(); ++k) dialogs.ExpectMessage();
    test::BuilderRecorder rb;
    rb.Install();
    auto* w = new DataPlotter;
    Forms::Adopt<DataPlotter>(w);
    w->CommandLine = row.line;
    w->Form_Load();
    EXPECT_EQ(dialogs.MessageTexts(), row.messages);
    EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, row.results);
    EXPECT_EQ(AppliedFilters[0].Count, row.filters);
    for (CurveArray* cache : {&ImpulseCurves, &BodeCurves, &ModalCurves, &FitStoredCurves})
      EXPECT_EQ((*cache)[0].NumCurves, 0);
    EXPECT_EQ(w->windowTitle().toStdString(), row.results ? "Mirabelt Zentor / " + set : "Zentor");
    if (row.results) {
      EXPECT_EQ(DisplayConfig.Graphshown, 2);  // the set opens in the impulse view
      EXPECT_TRUE(w->TimeBut->isChecked());
      EXPECT_EQ(DisplayConfig.Average, 0);
      EXPECT_FALSE(w->avg->isChecked());
      EXPECT_EQ(rb.Last(), (test::BuilderCall{"ShowMainImpulseSet", 0}));
    } else {
      EXPECT_EQ(ImpulseSet[1][0], 0.0f);
    }
    if (row.filters) {
      EXPECT_EQ(AppliedFilters[0].Freq1, 628.25f);
      EXPECT_EQ(w->GetParametricEQEmulation(), 2);
      EXPECT_EQ(w->GetGraphicEQEmulation(), 3);
    }
    Forms::DeleteAll();
    ResetSharedState();
  }
}

using CloseQuestionTest = test::RecordedWindowTest;

// Each row: the answers given in turn (a file name for a save dialog, none for a
// cancelled one), whether the close is cancelled, and the marks left.
TEST_F(CloseQuestionTest, AnswersDecideWhetherTheWindowCloses) {
  test::FillStore(2, 12, 48000);
  AppliedFilters[0].Count = 1;
  AppliedFilters[0].EQEmulationCode = 1;
  const auto Ask = [this] {
    int16_t cancel = 0;
    w->Form_QueryUnload(cancel);
    return cancel;
  };
  using Answer = std::variant<MsgAnswer, std::optional<std::string>>;
  const std::string set = TempPath("set.cfa"), eq = TempPath("set.EQ");
  const struct {
    const char* name;
    std::vector<Answer> answers;
    bool cancelled;
    int32_t resultsMark, eqMark;
  } table[] = {
      {"cancel", {MsgAnswer::Cancel}, true, kTrue, kTrue},
      {"no save file", {MsgAnswer::Yes, std::nullopt}, true, kTrue, kTrue},
      {"no filter file", {MsgAnswer::Yes, TempPath("first.cfa"), MsgAnswer::Yes, std::nullopt}, true, 0, kTrue},
      {"no and no", {MsgAnswer::No, MsgAnswer::No}, false, kTrue, kTrue},
      {"both saved", {MsgAnswer::Yes, set, MsgAnswer::Yes, eq}, false, 0, 0},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    w->ResultsTakenButNotSaved = w->EQResultsTakenButNotSaved = kTrue;
    dialogs.Clear();
    for (const Answer& a : row.answers) {
      if (const auto* m = std::get_if<MsgAnswer>(&a)) dialogs.ExpectMessage(*m);
      else dialogs.ExpectSaveFile(std::get<1>(a));
    }
    EXPECT_EQ(Ask() != 0, row.cancelled);
    EXPECT_EQ(dialogs.calls().size(), row.answers.size());
    EXPECT_EQ(w->ResultsTakenButNotSaved, row.resultsMark);
    EXPECT_EQ(w->EQResultsTakenButNotSaved, row.eqMark);
  }
  EXPECT_EQ(dialogs.calls()[0].text, " Save file with new results ?");
  EXPECT_EQ(dialogs.calls()[0].buttons, MsgButtons::YesNoCancel);
  EXPECT_EQ(dialogs.calls()[0].icon, MsgIcon::Question);
  EXPECT_EQ(dialogs.calls()[0].title, "Mirabelt Zentor");
  EXPECT_EQ(dialogs.calls()[2].text, "EQSim.Eq Save EQ file with new controls ?");

  // Saved results and no filters: nothing to ask.
  dialogs.Clear();
  w->ResultsTakenButNotSaved = 0;
  AppliedFilters[0].Count = 0;
  EXPECT_EQ(Ask(), 0);
  EXPECT_TRUE(dialogs.calls().empty());

  // A cancelled close keeps the window.
  w->ResultsTakenButNotSaved = kTrue;
  dialogs.ExpectMessage(MsgAnswer::Cancel);
  EXPECT_FALSE(w->close());
  EXPECT_TRUE(w->isVisible());
}

}  // namespace
}  // namespace zentor
