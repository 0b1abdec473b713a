// Filters written for other equalisers, read back by readers and an oracle of
// this file's own (the cookbook peaking biquad, the analogue section's
// magnitude), and filter text read in.
#include <fftw3.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <QComboBox>
#include <QPushButton>
#include <clocale>
#include <cmath>
#include <complex>
#include <fstream>
#include <locale>
#include <map>
#include <numbers>
#include <sstream>
#include <unistd.h>

#include "core/emulation.h"
#include "core/records.h"
#include "exchange/filter_export.h"
#include "exchange/filter_import.h"
#include "mainwindow/filter_exchange.h"
#include "mainwindow/window_fixtures.h"
#include "support/file_faults.h"

namespace zentor::test {
namespace {

constexpr double kPi = std::numbers::pi;
using Cx = std::complex<double>;

double Db(Cx h) { return 20 * std::log10(std::abs(h)); }
Cx Z1(double hz, double fs) { return std::polar(1.0, -2 * kPi * hz / fs); }

// |H| of b0 + b1 z^-1 + b2 z^-2 over a0 + a1 z^-1 + a2 z^-2.
Cx Biquad(const double (&b)[3], const double (&a)[3], double hz, double fs) {
  const Cx z = Z1(hz, fs);
  return (b[0] + b[1] * z + b[2] * z * z) / (a[0] + a[1] * z + a[2] * z * z);
}

// The cookbook peaking equaliser.
double CookbookDb(double fc, double gain, double q, double hz, double fs) {
  const double A = std::pow(10, gain / 40), w0 = 2 * kPi * fc / fs, al = std::sin(w0) / (2 * q);
  const double b[3] = {1 + al * A, -2 * std::cos(w0), 1 - al * A}, a[3] = {1 + al / A, -2 * std::cos(w0), 1 - al / A};
  return Db(Biquad(b, a, hz, fs));
}

// The program's own response of the set at fs: each entry's analogue section
// (zeros over poles, pre-warped to its centre; the cookbook model's Q scaled by
// sin(w0)/w0) at the frequency the bilinear transform maps hz to.
double ReferenceDb(const std::vector<FilterRecord>& set, double hz, double fs) {
  double db = 0;
  const double W = 2 * fs * std::tan(kPi * hz / fs);
  for (const FilterRecord& r : set) {
    const double w0 = r.Freq1 / fs, k = r.EQEmulationCode == 2 ? std::sin(w0) / w0 : 1;
    const double wp = 2 * fs * std::tan(w0 / 2), a = std::fabs(r.Q1) * k, b = r.Q2 * k;
    const double zq = r.Q1 > 0 ? a : b, pq = r.Q1 > 0 ? b : a;
    db += Db(Cx(wp * wp - W * W, W * wp / zq) / Cx(wp * wp - W * W, W * wp / pq));
  }
  return db;
}

// A set of n boosts and cuts of the model, on its steps.
std::vector<FilterRecord> MakeSet(int32_t code, int n) {
  uint32_t seed = 977u * code + 31u * n;
  auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) / 4294967296.0; };
  std::vector<FilterRecord> set;
  for (int i = 0; i < n; ++i) {
    FilterRecord r;
    r.Kind = 2;
    r.EQEmulationCode = code;
    r.Freq1 = static_cast<float>(2 * kPi * 20 * std::pow(800.0, next()));
    const double gain = (1 + 11 * next()) * (i % 2 ? -1 : 1), q = 0.7 + 5 * next(), s = std::pow(10, std::fabs(gain) / 40);
    r.Q1 = static_cast<float>(gain > 0 ? -q * s : q * s);
    r.Q2 = static_cast<float>(q / s);
    EmulateEQBand(code, r.Freq1, r.Q1, r.Q2);
    set.push_back(r);
  }
  set[0].Count = n;
  return set;
}

std::string Text(const FilterExport& made) { return std::string(made.bytes.begin(), made.bytes.end()); }

struct Peq {
  double fc, gain, q;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Each text format's filters as this reader finds them, by the line's pattern
// (fc, gain, q in that order of the pointers).
std::vector<Peq> ReadPeqs(const std::string& text, const char* pattern, bool qBeforeGain = false) {
  std::vector<Peq> out;
  for (const std::string& line : Lines(text)) {
    Peq p{};
    if (qBeforeGain ? std::sscanf(line.c_str(), pattern, &p.fc, &p.q, &p.gain) == 3
                    : std::sscanf(line.c_str(), pattern, &p.fc, &p.gain, &p.q) == 3)
      out.push_back(p);
  }
  return out;
}

struct Case {
  int32_t code, rate, size;
};

class ExportAcceptance : public ZentorTest, public ::testing::WithParamInterface<Case> {};

TEST_P(ExportAcceptance, EveryFormatReadsBackAsTheProgramsOwnResponse) {
  const auto [code, rate, size] = GetParam();
  const std::vector<FilterRecord> set = MakeSet(code, size);
  const double fs = rate, top = 0.45 * fs;
  std::vector<double> checks;
  for (int i = 0; i < 240; ++i) checks.push_back(10 * std::pow(top / 10, i / 239.0));
  for (const FilterRecord& r : set) checks.push_back(r.Freq1 / (2 * kPi));
  auto compare = [&](const char* what, auto&& level, double offset) {
    for (double hz : checks) {
      if (hz > top) continue;
      EXPECT_NEAR(level(hz), ReferenceDb(set, hz, fs) + offset, hz <= fs / 8 ? 0.1 : 1.0) << what << " at " << hz;
    }
  };
  FilterExportOptions o{.rateHz = rate, .taps = 131072, .biquads = 75, .source = "room.EQ"};
  std::map<FilterFormat, FilterExport> made;
  for (FilterFormat f : {FilterFormat::Apo, FilterFormat::CamillaDsp, FilterFormat::Csv, FilterFormat::MiniDsp,
                         FilterFormat::Fir}) {
    o.format = f;
    made[f] = ExportFilters(set, o);
    ASSERT_TRUE(made[f].ok()) << made[f].error;
  }
  const double preamp = made[FilterFormat::Apo].preamp_db;

  // The preamp takes the set's peak (the oracle's, on a fine grid) back to 0 dB, to the nearest tenth.
  double peak = -1e9;
  for (int i = 0; i < 40000; ++i) peak = std::max(peak, ReferenceDb(set, 10 * std::pow(top / 10, i / 39999.0), fs));
  EXPECT_NEAR(preamp + std::max(peak, 0.0), 0, 0.05 + 1e-3);
  if (peak < -1e-3) {
    EXPECT_EQ(preamp, 0);
  }

  const std::string apo = Text(made[FilterFormat::Apo]);
  double stated = 1;
  ASSERT_EQ(std::sscanf(Lines(apo).at(1).c_str(), "Preamp: %lf dB", &stated), 1);
  EXPECT_NEAR(stated, preamp, 1e-9);
  const std::vector<std::pair<const char*, std::vector<Peq>>> texts = {
      {"apo", ReadPeqs(apo, "Filter %*d: ON PK Fc %lf Hz Gain %lf dB Q %lf")},
      {"camilladsp", ReadPeqs(Text(made[FilterFormat::CamillaDsp]),
                              "    parameters: {type: Peaking, freq: %lf, q: %lf, gain: %lf}", true)},
      {"csv", ReadPeqs(Text(made[FilterFormat::Csv]), "%lf,%lf,%lf,")}};
  for (const auto& [name, peqs] : texts) {
    ASSERT_EQ(peqs.size(), static_cast<size_t>(size)) << name;
    compare(name, [&](double hz) {
      double db = 0;
      for (const Peq& p : peqs) db += CookbookDb(p.fc, p.gain, p.q, hz, fs);
      return db;
    }, 0);
  }

  // miniDSP: exactly the sections asked for, feedback negated, the unused ones passing.
  const std::string mini = Text(made[FilterFormat::MiniDsp]);
  const std::vector<std::string> lines = Lines(mini);
  ASSERT_EQ(lines.size(), 75u * 6);
  std::vector<std::array<double, 5>> sections(75);
  for (size_t k = 0; k < 75; ++k) {
    EXPECT_EQ(lines[6 * k], "biquad" + std::to_string(k + 1) + ",");
    for (size_t c = 0; c < 5; ++c) {
      const std::string& l = lines[6 * k + 1 + c];
      EXPECT_EQ(l.substr(0, 3), std::string("bbbaa").substr(c, 1) + "01212"[c] + "=");
      EXPECT_EQ(l.back() == ',', k < 74 || c < 4) << l;
      sections[k][c] = std::stod(l.substr(3));
    }
  }
  compare("minidsp", [&](double hz) {
    double db = 0;
    for (const auto& s : sections) db += Db(Biquad({s[0], s[1], s[2]}, {1, -s[3], -s[4]}, hz, fs));
    return db;
  }, 0);

  // FIR: libsndfile reads it; its spectrum is the set's with the preamp, never above 0 dB.
  const std::string wav = TempPath("fir.wav");
  std::ofstream(wav, std::ios::binary).write(reinterpret_cast<const char*>(made[FilterFormat::Fir].bytes.data()),
                                             static_cast<std::streamsize>(made[FilterFormat::Fir].bytes.size()));
  SF_INFO info{};
  SNDFILE* file = sf_open(wav.c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  EXPECT_EQ(info.channels, 1);
  EXPECT_EQ(info.samplerate, rate);
  ASSERT_EQ(info.frames, o.taps);
  std::vector<double> h(static_cast<size_t>(o.taps));
  EXPECT_EQ(sf_read_double(file, h.data(), o.taps), o.taps);
  sf_close(file);
  std::vector<fftw_complex> spectrum(h.size() / 2 + 1);
  fftw_plan plan = fftw_plan_dft_r2c_1d(o.taps, h.data(), spectrum.data(), FFTW_ESTIMATE);
  fftw_execute(plan);
  fftw_destroy_plan(plan);
  double firPeak = -1e9;
  for (size_t k = 1; k < spectrum.size() && k * fs / o.taps <= top; ++k)
    firPeak = std::max(firPeak, Db(Cx(spectrum[k][0], spectrum[k][1])));
  EXPECT_LE(firPeak, 0.05 + 1e-3);
  for (double& hz : checks) hz = std::max(1.0, std::round(hz * o.taps / fs)) * fs / o.taps;  // onto the bins
  compare("fir", [&](double hz) {
    const auto k = static_cast<size_t>(std::lround(hz * o.taps / fs));
    return Db(Cx(spectrum[k][0], spectrum[k][1]));
  }, preamp);
}

std::vector<Case> Cases() {
  std::vector<Case> c;
  for (int32_t code = 1; code <= 5; ++code)
    for (int32_t rate : {44100, 48000, 96000})
      for (int32_t size : {1, 10, 75}) c.push_back({code, rate, size});
  return c;
}

INSTANTIATE_TEST_SUITE_P(ModelsRatesSizes, ExportAcceptance, ::testing::ValuesIn(Cases()), [](const auto& i) {
  return "model" + std::to_string(i.param.code) + "_" + std::to_string(i.param.rate) + "_" + std::to_string(i.param.size);
});

// A decimal comma in the C and C++ locales of the process.
struct CommaPoint : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

using FilterExchangeWindowTest = MainWindowTest;

TEST_F(FilterExchangeWindowTest, RoundTripRefusalsAndTheWindowsCommandsKeepTheSetAndTheOldFile) {
  for (int32_t code = 1; code <= 5; ++code) {
    const std::vector<FilterRecord> ten = MakeSet(code, 10);
    FilterExportOptions o;
    const FilterExport first = ExportFilters(ten, o);
    const FilterImport read = ImportFilterText(Text(first), code);
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_TRUE(read.hasPreamp);
    EXPECT_EQ(read.preamp_db, first.preamp_db);
    const FilterExport again = ExportFilters(read.filters, o);
    ASSERT_EQ(again.filters.size(), first.filters.size());
    for (size_t i = 0; i < first.filters.size(); ++i) {
      EXPECT_NEAR(again.filters[i].fc_hz, first.filters[i].fc_hz, 0.0101) << code;
      EXPECT_NEAR(again.filters[i].gain_db, first.filters[i].gain_db, 0.0101) << code;
      EXPECT_NEAR(again.filters[i].q, first.filters[i].q, 0.00101) << code;
    }
  }
  const std::vector<FilterRecord> ten = MakeSet(2, 10);
  const auto bytes = [&ten](std::string_view name) {
    FilterExportOptions o;
    ParseFilterFormat(name, o.format);
    return ExportFilters(ten, o).bytes;
  };
  std::vector<std::vector<uint8_t>> plain;
  for (std::string_view name : kFilterFormatNames) plain.push_back(bytes(name));
  const std::locale before = std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
  const bool comma = std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "fr_FR.UTF-8");
  for (size_t i = 0; i < plain.size(); ++i)
    EXPECT_EQ(bytes(kFilterFormatNames[i]), plain[i]) << kFilterFormatNames[i] << (comma ? "" : " (C++ locale only)");
  std::setlocale(LC_ALL, "C");
  std::locale::global(before);

  // What cannot be written is refused, with the numbers named.
  FilterExportOptions o;
  o.format = FilterFormat::MiniDsp;
  const FilterExport tooMany = ExportFilters(MakeSet(1, 12), o);
  EXPECT_TRUE(tooMany.bytes.empty());
  EXPECT_EQ(tooMany.error, "The set has 12 filters but the unit takes 10 biquads.");

  // A narrow low boost rings past 4096 taps: the count named is the smallest that holds it.
  std::vector<FilterRecord> ring = MakeSet(3, 1);
  ring[0].Freq1 = static_cast<float>(2 * kPi * 100);
  ring[0].Q1 = -5 * 2;
  ring[0].Q2 = 5 / 2.0f;
  o.format = FilterFormat::Fir;
  o.taps = 4096;
  const FilterExport shortTaps = ExportFilters(ring, o);
  ASSERT_EQ(std::sscanf(shortTaps.error.c_str(), "The filters ring for longer than 4096 taps: %d taps or more are needed.",
                        &o.taps), 1) << shortTaps.error;
  EXPECT_GT(o.taps, 4096);
  EXPECT_TRUE(ExportFilters(ring, o).ok());
  --o.taps;
  EXPECT_FALSE(ExportFilters(ring, o).ok());

  ring[0].Freq1 = static_cast<float>(2 * kPi * 23000);
  o.rateHz = 44100;
  EXPECT_EQ(ExportFilters(ring, o).error, "Filter 1 at 23000 Hz lies at or above half the sample rate of 44100 Hz.");

  // Malformed filter text is refused whole, with its line.
  struct BadFile {
    const char* text;
    int32_t line;
    const char* reason;
  };
  std::string many = "Preamp: -3 dB\n";
  for (int i = 1; i <= 76; ++i) many += "Filter " + std::to_string(i) + ": ON PK Fc 100 Hz Gain 1 dB Q 1\n";
  const std::string goodLine = "Filter 1: ON PK Fc 100 Hz Gain -3 dB Q 2\n";
  const std::vector<BadFile> table = {
      {"Filter 1: ON LS Fc 100 Hz Gain 3 dB Q 0.7", 1, "type LS"},
      {"# REW\nFilter 1: ON HS Fc 100 Hz Gain 3 dB Q 0.7", 2, "type HS"},
      {"Filter: ON LP Fc 100 Hz", 1, "type LP"},
      {"Filter 1: ON PK Fc 1O0 Hz Gain 3 dB Q 1", 1, "Fc is not a number"},
      {"Filter 1: ON PK Fc 100 Hz Gain 3,5 dB Q 1", 1, "Gain is not a number"},
      {"Filter 1: ON PK Fc 100 Hz Gain 3 dB Q", 1, "Q is not a number"},
      {"Filter 1: ON PK Fc 9.9 Hz Gain 3 dB Q 1", 1, "Fc 9.9 Hz lies below 10 Hz"},
      {"Filter 1: ON PK Fc 24000 Hz Gain 3 dB Q 1", 1, "Fc 24000 Hz lies at or above 24000 Hz"},
      {"Filter 1: ON PK Fc 100 Hz Gain -30.5 dB Q 1", 1, "beyond 30 dB"},
      {"Filter 1: ON PK Fc 100 Hz Gain 3 dB Q 0", 1, "Q 0 lies outside"},
      {"Filter 1: ON PK Fc 100 Hz Gain 3 dB Q 100.5", 1, "Q 100.5 lies outside"},
      {"Filter 1: ON PK Fc 100 Hz Gain 3 dB BW Oct 0", 1, "BW Oct must be above 0"},
      {"Filter 1: ON PK Fc 100 Hz Gain 3 dB", 1, "lacks its Q"},
      {"Filter 1: MAYBE PK Fc 100 Hz Gain 3 dB Q 1", 1, "ON or OFF"},
      {"Preamp: loud", 1, "preamp is not a number"},
      {many.c_str(), 76, "more than 75 filters"},
      {"\x1f\x8b\x08\x00\x9c\x01Filter 1: ON PK", 1, "not a text line"},
      {"", 0, "no filter lines"},
      {"Filter Settings file\n# only comments\nFilter 3: OFF PK Fc 100 Hz Gain 3 dB Q 1\n", 0, "no filter lines"},
  };
  for (const BadFile& b : table) {
    // A refused line after good ones throws the good ones away too.
    const FilterImport r = ImportFilterText((b.line ? goodLine : "") + b.text, 3);
    const int32_t line = b.line ? b.line + 1 : 0;
    EXPECT_EQ(r.errorLine, line) << b.text;
    EXPECT_TRUE(r.filters.empty());
    EXPECT_NE(r.error.find(b.reason), std::string::npos) << r.error;
    EXPECT_EQ(r.error.rfind("Line " + std::to_string(line) + ": ", 0), b.line ? 0 : std::string::npos) << r.error;
  }
  EXPECT_FALSE(ImportFilterFile(tempDir.path().toStdString(), 2).ok());

  // REW's generic text: its header, unused slots and OFF filters pass, BW Oct is a width.
  const FilterImport rew = ImportFilterText(
      "Filter Settings file\r\nEqualiser: Generic\r\nPreamp: -1.7 dB\r\nFilter  1: ON  PK  Fc 50.0 Hz  Gain -6.0 dB  BW Oct 1\r\n"
      "Filter  2: OFF PK Fc 90 Hz Gain 3 dB Q 2\r\nFilter 3: ON None\r\n", 3);
  ASSERT_TRUE(rew.ok()) << rew.error;
  ASSERT_EQ(rew.filters.size(), 1u);
  EXPECT_EQ(rew.preamp_db, -1.7);
  EXPECT_NEAR(std::sqrt(rew.filters[0].Q1 * rew.filters[0].Q2), std::sqrt(2.0), 1e-5);  // 1 octave
  EXPECT_NEAR(20 * std::log10(rew.filters[0].Q1 / rew.filters[0].Q2), 6, 1e-4);

  DataPlotter* w = Start();
  w->SetParametricEmulation(2);
  const std::vector<FilterRecord> set = MakeSet(2, 3);
  std::copy(set.begin(), set.end(), AppliedFilters.begin());
  w->EQResultsTakenButNotSaved = kFalse;
  const std::string bad = TempPath("bad.txt"), good = TempPath("good.txt"), out = TempPath("out.txt");
  std::ofstream(bad) << "Filter 1: ON PK Fc 100 Hz Gain 3 dB Q 1\nFilter 2: ON LS Fc 80 Hz Gain 3 dB Q 0.7\n";
  std::ofstream(good) << "Filter 1: ON PK Fc 100 Hz Gain 3 dB Q 1\n";
  std::ofstream(out) << "old";
  for (const std::string& path : {bad, TempPath("missing.txt")}) {
    dialogs.ExpectMessage(MsgAnswer::Yes);
    dialogs.ExpectOpenFile(path);
    dialogs.ExpectMessage();
    w->OpenOtherFilters->trigger();
    EXPECT_EQ(AppliedFilters[0].Count, 3);
    EXPECT_EQ(AppliedFilters[2].Freq1, set[2].Freq1);
    EXPECT_EQ(w->EQResultsTakenButNotSaved, kFalse);
  }
  EXPECT_EQ(dialogs.MessageTexts()[1], bad + ": Line 2: a filter of type LS cannot be read; only peaking (PK) filters are "
                                       "read: remove the other filters from the file.");

  for (FileFault fault : kEveryFileFault) {
    dialogs.ExpectModal([&](QDialog* d) {
      auto* e = static_cast<FilterExportDialog*>(d);
      e->FormatList->setCurrentIndex(2);
      InjectedFileFault injected(fault);
      e->SaveBut->click();
      return 0;
    });
    dialogs.ExpectSaveFile(out);
    dialogs.ExpectMessage(MsgAnswer::Yes);
    dialogs.ExpectMessage();
    w->SaveOtherFilters->trigger();
    EXPECT_EQ(dialogs.MessageTexts().back(), "The filters could not be written to " + out + ". Any file there is unchanged.")
        << FaultName(fault);
    std::ifstream in(out);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
  }
  // Never over the .EQ file the filters came from, by whatever name.
  EQFileName = TempPath("open.EQ");
  std::ofstream(EQFileName) << "EQ";
  ASSERT_EQ(::link(EQFileName.c_str(), TempPath("alias.txt").c_str()), 0);
  dialogs.ExpectModal([&](QDialog* d) {
    auto* e = static_cast<FilterExportDialog*>(d);
    e->FormatList->setCurrentIndex(0);
    e->SaveBut->click();
    return 0;
  });
  dialogs.ExpectSaveFile(TempPath("alias"));
  dialogs.ExpectMessage();
  w->SaveOtherFilters->trigger();
  EXPECT_EQ(dialogs.MessageTexts().back(),
            "User Error: " + TempPath("alias.txt") + " is the open EQ file. Save the filters under another name");
  std::ifstream open(EQFileName);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(open), {}), "EQ");
  // The name suggested keeps every dot of an open file's name that is no extension.
  for (const auto& [opened, suggested] : {std::pair{"room.v1.2", "room.v1.2.txt"}, std::pair{"room.EQ", "room.txt"}}) {
    EQFileName = TempPath(opened);
    dialogs.ExpectModal([&](QDialog* d) {
      auto* e = static_cast<FilterExportDialog*>(d);
      e->FormatList->setCurrentIndex(0);
      e->SaveBut->click();
      return 0;
    });
    dialogs.ExpectSaveFile(std::nullopt);
    w->SaveOtherFilters->trigger();
    EXPECT_EQ(dialogs.calls().back().fileName, TempPath(suggested));
  }

  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectOpenFile(good);
  dialogs.ExpectMessage();
  w->OpenOtherFilters->trigger();
  EXPECT_EQ(AppliedFilters[0].Count, 1);
  EXPECT_EQ(w->EQResultsTakenButNotSaved, kTrue);
  EXPECT_EQ(dialogs.MessageTexts().back(), "1 filter read into the Bristow-Johnson model.");
  EXPECT_EQ(dialogs.Unused(), 0u);
}

}  // namespace
}  // namespace zentor::test
