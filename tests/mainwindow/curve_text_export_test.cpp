// Curves as text: the Bode curve of a known filter's impulse exported from a
// measurement file matches the filter's analytic response; every locale writes
// the same bytes; "Text Export" writes what the main graph shows, and refuses
// what it cannot.
#include <QAction>
#include <QLocale>
#include <clocale>
#include <cmath>
#include <complex>
#include <fstream>
#include <functional>
#include <locale>
#include <sstream>

#include "core/helpers.h"
#include "display/view_state.h"
#include "mainwindow/curve_text_export.h"
#include "mainwindow/measurement_file.h"
#include "views_fixture.h"

namespace zentor {
namespace {

constexpr double kFs = 48000;

// A peaking filter (+6 dB at 1 kHz, Q 2) from the audio-EQ cookbook.
struct Peaking {
  double b0, b1, b2, a1, a2;
  Peaking() {
    const double A = std::pow(10.0, 6.0 / 40), w = 2 * M_PI * 1000 / kFs, alpha = std::sin(w) / (2 * 2.0);
    const double a0 = 1 + alpha / A;
    b0 = (1 + alpha * A) / a0, b1 = -2 * std::cos(w) / a0, b2 = (1 - alpha * A) / a0;
    a1 = -2 * std::cos(w) / a0, a2 = (1 - alpha / A) / a0;
  }
  double Db(double f) const {
    const std::complex<double> z1 = std::polar(1.0, -2 * M_PI * f / kFs), z2 = z1 * z1;
    return 20 * std::log10(std::abs((b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2)));
  }
};

// A decimal comma for the C++ streams, whatever the machine has installed.
struct CommaPoint : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

std::string Slurp(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

class CurveTextTest : public test::ViewsTest {
 protected:
  // Two results: the filter's impulse from 50 ms on, and half of it.
  std::string FilterFile() {
    LoadSet(2, int32_t(kFs), 17);
    const Peaking p;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (size_t i = 0; i < 20000; ++i) {
      const double x = i == 0 ? 1 : 0, y = p.b0 * x + p.b1 * x1 + p.b2 * x2 - p.a1 * y1 - p.a2 * y2;
      x2 = x1, x1 = x, y2 = y1, y1 = y;
      ImpulseSet[0][2400 + i] = float(y);
      ImpulseSet[1][2400 + i] = float(0.5 * y);
    }
    const std::string path = TempPath("filter.cfa");
    EXPECT_TRUE(WriteMeasurementFile(path));
    return path;
  }
};

TEST_F(CurveTextTest, BodeCurveOfAKnownFilterMatchesItsResponseInEveryLocale) {
  CurveExportRequest r;
  r.input = FilterFile();
  r.view = "bode";
  r.gateMs = 100;
  r.output = TempPath("bode.csv");
  std::vector<std::pair<std::string, std::string>> files;
  ASSERT_EQ(CurveTextFiles(r, files), "");
  ASSERT_EQ(files.size(), 1u);
  std::istringstream csv(files[0].second);
  std::string line;
  std::getline(csv, line);
  EXPECT_EQ(line, "frequency_hz,Curve 1 dB,Curve 2 dB\r");
  const Peaking p;
  int rows = 0;
  double worst = 0;
  while (std::getline(csv, line)) {
    double f = 0, a = 0, b = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf", &f, &a, &b), 3) << line;
    ++rows;
    EXPECT_NEAR(b, a - 20 * std::log10(2.0), 1e-3) << f;
    if (f >= 20 && f <= 20000) worst = std::max(worst, std::fabs(a - p.Db(f)));
  }
  EXPECT_GT(rows, 1000);
  RecordProperty("bode_worst_db", std::to_string(worst));
  EXPECT_LT(worst, 0.05);

  // A decimal-comma locale writes the same bytes, for each format.
  const std::string csvText = files[0].second;
  r.format = CurveTextFormat::Frd;
  r.curve = 2;
  r.output = TempPath("bode.frd");
  ASSERT_EQ(CurveTextFiles(r, files), "");
  const std::string frdText = files.at(0).second;
  EXPECT_NE(frdText.find("* Gate: 100 ms\r\n* Curve: Curve 2\r\n"), std::string::npos);
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  const std::locale streams = std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
  const std::string cLocale = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "de_DE.UTF-8");  // where the machine has it
  for (const auto& [format, expected] : {std::pair{CurveTextFormat::Csv, csvText}, {CurveTextFormat::Frd, frdText}}) {
    r.format = format;
    r.curve = format == CurveTextFormat::Csv ? 0 : 2;
    r.output = TempPath(format == CurveTextFormat::Csv ? "de.csv" : "de.frd");
    ASSERT_EQ(ExportCurveText(r), "");
    EXPECT_EQ(Slurp(r.output), expected);
  }
  std::setlocale(LC_ALL, cLocale.c_str());
  std::locale::global(streams);
  QLocale::setDefault(before);
}

TEST_F(CurveTextTest, RequestsTheFileCannotMeetAreRefusedInWords) {
  CurveExportRequest r;
  r.input = FilterFile();
  r.output = TempPath("out.csv");
  const std::pair<std::function<void(CurveExportRequest&)>, std::string> cases[] = {
      {[](CurveExportRequest& q) { q.view = "step"; }, "Unknown view \"step\": use bode, fractoct, psyc, impulse, noise or modal"},
      {[](CurveExportRequest& q) { q.view = "impulse", q.format = CurveTextFormat::Frd; },
       "User Error: FRD files hold frequency curves. Save a time view as CSV"},
      {[](CurveExportRequest& q) { q.gateMs = -1; }, "User Error: The gate must be a time above 0 ms"},
      {[](CurveExportRequest& q) { q.gateMs = 3000; },
       "User Error: Gate time chosen is too large for curve data. Reduce gate time"},
      {[](CurveExportRequest& q) { q.curve = 3; }, "User Error: Curve 3 is not in the file (1 to 2)"},
      {[](CurveExportRequest& q) { q.input += ".missing"; }, "Error 4927: Error opening file"},
  };
  for (const auto& [change, why] : cases) {
    CurveExportRequest q = r;
    q.view = "bode";
    change(q);
    EXPECT_EQ(ExportCurveText(q), why);
  }
  EXPECT_FALSE(FileExists(r.output));
}

TEST_F(CurveTextTest, TextExportWritesTheCurvesTheGraphShows) {
  FilterFile();
  w->TimeBut_Click();
  // A time view: CSV of time and value; FRD refused.
  dialogs.ExpectSaveFile(TempPath("time.csv"));
  w->TextExportMain->trigger();
  const std::string time = Slurp(TempPath("time.csv"));
  EXPECT_EQ(time.substr(0, time.find('\n')), "time_ms,Curve 1,Curve 2\r");
  dialogs.ExpectSaveFile(TempPath("time.frd"));
  dialogs.ExpectMessage();
  w->TextExportMain->trigger();
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: FRD files hold frequency curves. Save a time view as CSV");

  // Each curve of a frequency view in its own FRD file.
  w->FreqBut_Click();
  dialogs.ExpectSaveFile(TempPath("set.frd"));
  w->TextExportMain->trigger();
  for (const char* name : {"set_1.frd", "set_2.frd"}) {
    const std::string frd = Slurp(TempPath(name));
    EXPECT_EQ(frd.rfind("* Zentor curve export\r\n", 0), 0u) << name;
    EXPECT_GT(std::count(frd.begin(), frd.end(), '\n'), 1000) << name;
    EXPECT_NE(frd.find(" 0\r\n"), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace zentor
