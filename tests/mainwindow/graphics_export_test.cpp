// The main window's "&Graphics Export" entries and its display options window.
#include <QFile>
#include <QImageReader>
#include <QLocale>
#include <QPainter>
#include <QSvgRenderer>
#include <clocale>
#include <complex>
#include <locale>

#include <unistd.h>

#include "base/atomic_file.h"
#include "core/helpers.h"
#include "display/display_options.h"
#include "mainwindow/curve_text_export.h"
#include "mainwindow/graphics_export.h"
#include "support/file_faults.h"
#include "support/image_compare.h"
#include "support/silent_set.h"
#include "window_fixtures.h"

namespace zentor {
namespace {
class PrinterDouble : public PrinterService {
 public:
  bool HasDefaultPrinter() override { return true; }
  bool PrintOnDefaultPrinter(const QImage& image) override { return printed.push_back(image), true; }
  std::vector<QImage> printed;
};

class GraphicsExportTest : public test::StartedWindowTest {
 protected:
  void SetUp() override {
    SetPrinterService(&printer);
    StartedWindowTest::SetUp();
  }
  void TearDown() override {
    SetPrinterService(nullptr);
    StartedWindowTest::TearDown();
  }

  // Two decaying tones, shown in the impulse view.
  void ShowSyntheticImpulses() {
    test::LoadSilentSet(2, 48000, 15, 20.0f);
    for (size_t k = 0; k < 2; ++k)
      for (size_t i = 0; i < 4000; ++i)
        ImpulseSet[k][2400 + i] = static_cast<float>(std::exp(-double(i) / 300) * std::sin(0.05 * (k + 1) * double(i)));
    w->TimeBut_Click();
  }

  // The entry's file, named `chosen` in the save dialog and written as `written`,
  // read back (an SVG drawn on white at the given size).
  QImage Export(QAction* entry, const std::string& chosen, std::string written = "", QSize svgSize = {}) {
    dialogs.ExpectSaveFile(TempPath(chosen));
    const QString path = QString::fromStdString(TempPath(written.empty() ? chosen : written));
    if (QFile::exists(path)) dialogs.ExpectMessage(MsgAnswer::Yes);  // "... Already Exists, Overwrite ?"
    entry->trigger();
    if (!path.endsWith(".svg")) return QImageReader(path).read();
    QSvgRenderer r(path);
    EXPECT_TRUE(r.isValid()) << written;
    QImage image(svgSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    r.render(&p);
    p.end();
    return image;
  }
  QImage ExportMain(const std::string& name) { return Export(w->ExportJPGMain, name); }

  PrinterDouble printer;
};

TEST_F(GraphicsExportTest, EntriesFollowTheirLinksTheOptionsWindowActsAndTheMainGraphExports) {
  for (QAction* a : {w->ExportJPGWaterfall, w->PrintWaterfall, w->ExportJPGLargeRoom, w->PrintLargeRoom})
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  EXPECT_TRUE(w->ExportJPGMain->isEnabled());
  w->ExportJPGWaterfall->trigger();  // nothing asked, nothing written

  PictureBox waterfall, largeRoom;
  int created = 0;
  waterfall.resize(300, 200);
  waterfall.SetBackColor(RGB(0, 128, 0));
  largeRoom.SetBackColor(RGB(0, 0, 128));
  GraphicsExportHooks.WaterfallPicture = [&] { return ++created, &waterfall; };
  GraphicsExportHooks.LargeRoomPicture = [&] { return &largeRoom; };
  QMetaObject::invokeMethod(w->GraphicBut, "aboutToShow");
  for (QAction* a : {w->ExportJPGWaterfall, w->PrintWaterfall, w->ExportJPGLargeRoom, w->PrintLargeRoom})
    EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();

  const QImage fall = Export(w->ExportJPGWaterfall, "fall", "fall.jpg");
  ASSERT_EQ(fall.size(), QSize(1200, 1200));
  EXPECT_NEAR(fall.pixelColor(600, 600).green(), 128, 16);
  EXPECT_LT(fall.pixelColor(600, 600).blue(), 16);
  EXPECT_EQ(created, 1);
  w->PrintLargeRoom->trigger();
  ASSERT_EQ(printer.printed.size(), 1u);
  EXPECT_EQ(printer.printed[0].pixelColor(600, 600), QColor(0, 0, 128));

  // PNG and SVG at the picture's own size.
  const std::tuple<QAction*, const char*, PictureBox*> entries[] = {
      {w->ExportPNGWaterfall, "fall.png", &waterfall}, {w->ExportSVGWaterfall, "fall.svg", &waterfall},
      {w->ExportPNGLargeRoom, "room.png", &largeRoom}, {w->ExportSVGLargeRoom, "room.svg", &largeRoom}};
  for (const auto& [entry, name, picture] : entries) {
    const QImage image = Export(entry, name, "", picture->size());
    ASSERT_EQ(image.size(), picture->size()) << name;
    EXPECT_EQ(image.pixelColor(10, 10).rgb(), picture->ViewSizeImage().pixelColor(10, 10).rgb()) << name;
  }

  // The time and frequency settings, the Display button and the call from code need data;
  // they open the options window for the view shown, which acts on the main window.
  dialogs.Clear();
  for (int k = 0; k < 3; ++k) dialogs.ExpectMessage();
  w->TimeSettings->trigger();
  w->FrequencyOptions->trigger();
  w->ShowDisplayOptions();
  ASSERT_EQ(dialogs.calls().size(), 3u);
  for (const auto& c : dialogs.calls()) {
    EXPECT_EQ(c.text, " Data must be loaded before parameters can be set");
    EXPECT_EQ(c.icon, MsgIcon::Exclamation);
    EXPECT_EQ(c.title, "Mirabelt Zentor");
  }
  ShowSyntheticImpulses();
  w->setCursor(Qt::CrossCursor);
  w->SetDisplayRes(2);
  BodeCurves[0].NumCurves = 2;
  std::vector<int> modes;
  for (int k = 0; k < 3; ++k)
    dialogs.ExpectModal([&](QDialog* d) { return modes.push_back(static_cast<DisplayControlForm*>(d)->Mode), d->reject(), 0; });
  w->TimeSettings->trigger();
  w->FrequencyOptions->trigger();
  w->TimeBut->setChecked(true);
  w->Display->click();
  EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);
  dialogs.ExpectModal([&](QDialog* d) {
    auto* f = static_cast<DisplayControlForm*>(d);
    modes.push_back(f->Mode);
    f->DisplayResText->setText("4.7");
    f->Apply->click();
    f->CurveNoText->setText("2");
    f->LevelText->setText("-3");
    f->Boost->click();
    return 0;
  });
  w->FreqBut->setChecked(true);
  w->Display->click();
  w->SetBusy(kTrue);
  w->ShowDisplayOptions();
  w->SetBusy(kFalse);
  EXPECT_EQ(modes, (std::vector<int>{3, 4, 3, 4}));
  EXPECT_EQ(w->GetDisplayRes(), "4");
  EXPECT_EQ(BodeCurves[0].NumCurves, 0) << "the frequency caches were emptied";
  EXPECT_EQ(w->ResultsTakenButNotSaved, kTrue);

  // The main graph is the same picture whatever the window size.
  printer.printed.clear();
  w->resize(700, 450);
  ShowSyntheticImpulses();
  const QSize smallPicture = w->Picture1->size();
  const QImage small = w->Picture1->DrawingSpaceImage();
  const QImage smallJpeg = ExportMain("small.jpg");

  w->resize(1600, 1000);
  w->TimeBut_Click();
  ASSERT_NE(w->Picture1->size(), smallPicture);
  const QImage large = w->Picture1->DrawingSpaceImage();
  const QImage largeJpeg = ExportMain("large.jpg");
  ASSERT_EQ(smallJpeg.size(), QSize(1200, 1200));
  EXPECT_GE(test::Psnr(small, large), 30.0);
  EXPECT_GE(test::Psnr(smallJpeg, small), 30.0);
  EXPECT_GE(test::Psnr(smallJpeg, largeJpeg), 30.0);
  // The curves are in it: the first curve colour appears.
  const QColor curve(RedOf(PlotColours[3]), GreenOf(PlotColours[3]), BlueOf(PlotColours[3]));
  bool found = false;
  for (int y = 0; y < 1200 && !found; y += 2)
    for (int x = 0; x < 1200 && !found; ++x) found = large.pixelColor(x, y) == curve;
  EXPECT_TRUE(found);

  // A band being dragged over the graph stays out of the export and the print.
  w->Picture1->SetDrawMode(DrawMode::XorPen);
  w->Picture1->Rectangle({200, 200}, {900, 800}, Pen{RGB(255, 255, 255), PenStyle::Dash}, std::nullopt);
  w->Picture1->SetDrawMode(DrawMode::CopyPen);
  EXPECT_GE(test::Psnr(ExportMain("band.jpg"), large), 30.0);
  EXPECT_EQ(test::Psnr(ExportMain("band.jpg"), largeJpeg), std::numeric_limits<double>::infinity());
  w->MainPrint->trigger();
  ASSERT_EQ(printer.printed.size(), 1u);
  EXPECT_EQ(printer.printed[0], large);

  // PNG and SVG beside the JPEG: the PNG is the view at its size, lossless; the SVG
  // draws the curves as paths and the text as text, and renders to nearly the PNG.
  w->resize(1000, 700);
  w->TimeBut_Click();
  const QImage png = Export(w->ExportPNGMain, "view.main.jpg", "view.main.png").convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(png.size(), w->Picture1->size());
  EXPECT_EQ(png, w->Picture1->ViewSizeImage());

  const QImage drawn = Export(w->ExportSVGMain, "view", "view.svg", png.size());
  QFile file(QString::fromStdString(TempPath("view.svg")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray svg = file.readAll();
  EXPECT_FALSE(svg.contains("<image"));
  EXPECT_GE(svg.count("<path") + svg.count("<polyline"), 2);
  EXPECT_TRUE(svg.contains(">zentor.example</text>"));

  // The renderer smooths edges, so a one-pixel line lands half on each of two
  // pixels. A pixel counts as different when a channel moves by more than a third;
  // over 4 x 4 blocks the smoothing averages out and only real differences remain.
  const auto differing = [](const QImage& a, const QImage& b) {
    int64_t n = 0;
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x) {
        const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
        n += std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))}) > 85;
      }
    return double(n) / (double(a.width()) * a.height());
  };
  const QSize blocks = png.size() / 4;
  EXPECT_LT(differing(drawn, png), 0.05);
  EXPECT_LT(differing(drawn.scaled(blocks, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                      png.scaled(blocks, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)),
            0.005);
}

// Curves as text: the Bode curve of a known filter's impulse exported from a
// measurement file matches the filter's analytic response; every locale writes
// the same bytes; "Text Export" writes what the main graph shows, and refuses
// what it cannot.
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
  const std::vector<uint8_t> b = test::ReadFileBytes(path);
  return {b.begin(), b.end()};
}

class CurveTextTest : public test::MainViewsTest {
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

TEST_F(CurveTextTest, KnownFilterMatchesItsResponseInEveryLocaleAndTheExportsWriteOrRefuse) {
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

  // Requests the file cannot meet are refused in words.
  CurveExportRequest base;
  base.input = r.input;
  base.output = TempPath("out.csv");
  const std::pair<std::function<void(CurveExportRequest&)>, std::string> cases[] = {
      {[](CurveExportRequest& q) { q.view = "step"; }, "Unknown view \"step\": use bode, fractoct, psyc, impulse, noise or modal"},
      {[](CurveExportRequest& q) { q.view = "impulse", q.format = CurveTextFormat::Frd; },
       "User Error: FRD files hold frequency curves. Save a time view as CSV"},
      {[](CurveExportRequest& q) { q.gateMs = -1; }, "User Error: The gate must be a time above 0 ms"},
      {[](CurveExportRequest& q) { q.gateMs = 3000; },
       "User Error: Gate time chosen is too large for curve data. Reduce gate time"},
      {[](CurveExportRequest& q) { q.curve = 3; }, "User Error: Curve 3 is not in the file (1 to 2)"},
      {[](CurveExportRequest& q) { q.input += ".missing"; }, "Error 4927: Error opening file " + base.input + ".missing: not found"},
  };
  for (const auto& [change, why] : cases) {
    CurveExportRequest q = base;
    q.view = "bode";
    change(q);
    EXPECT_EQ(ExportCurveText(q), why);
  }
  EXPECT_FALSE(FileExists(base.output));

  // "Text Export" writes what the main graph shows.
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
  // Every file or none, and never over the measurement file open, by any of its names.
  ASSERT_TRUE(QDir(tempDir.path()).mkdir("again_2.frd"));
  ResultFileName = TempPath("filter.cfa");
  ASSERT_EQ(::link(ResultFileName.c_str(), TempPath("filter.csv").c_str()), 0);
  const std::string cfa = Slurp(ResultFileName);
  const std::pair<std::string, std::string> refusals[] = {
      {"again.frd", "Error 4977: Error writing file " + TempPath("again_2.frd") + " (not a regular file); nothing was written"},
      {"filter.csv", "User Error: " + TempPath("filter.csv") + " is the open measurement file. Save the curves under another name"},
      {"curves. ", NoFileNameText(TempPath("curves. "))}};
  for (const auto& [typed, said] : refusals) {
    dialogs.ExpectSaveFile(TempPath(typed));
    if (typed == "again.frd") dialogs.ExpectMessage(MsgAnswer::Yes);  // the folder in the series is asked about
    dialogs.ExpectMessage();
    w->TextExportMain->trigger();
    EXPECT_EQ(dialogs.MessageTexts().back(), said);
  }
  EXPECT_FALSE(FileExists(TempPath("again_1.frd")));
  EXPECT_EQ(Slurp(ResultFileName), cfa);
  ::unlink(TempPath("filter.csv").c_str());

  // A name without an extension gets the format's; the series a name becomes is
  // asked about once, and on a disk without hard links (FAT answers EPERM) a write
  // that fails gives every old file back, leaving no hidden name.
  dialogs.ExpectSaveFile(TempPath("hall.v2"));
  w->TextExportMain->trigger();
  EXPECT_TRUE(FileExists(TempPath("hall.v2.csv")));
  const std::string old1 = Slurp(TempPath("set_1.frd")), old2 = Slurp(TempPath("set_2.frd"));
  const std::vector<std::string> entries = test::FolderEntries(tempDir.path().toStdString());
  int syncs = 0;
  FileCalls.Link = [](const char*, const char*) {
    errno = EPERM;
    return -1;
  };
  FileCalls.Sync = [&](int fd) {
    if (++syncs < 2) return ::fsync(fd);
    errno = ENOSPC;
    return -1;
  };
  for (const MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
    dialogs.Clear();
    dialogs.ExpectSaveFile(TempPath("set.frd"));
    dialogs.ExpectMessage(answer);
    if (answer == MsgAnswer::Yes) dialogs.ExpectMessage();
    w->TextExportMain->trigger();
    ASSERT_FALSE(dialogs.MessageTexts().empty());
    EXPECT_EQ(dialogs.MessageTexts()[0], "2 of the files (" + TempPath("set_1.frd") + " to " + TempPath("set_2.frd") +
                                             ") Already Exist, Overwrite ?");
    EXPECT_EQ(dialogs.MessageTexts().size(), answer == MsgAnswer::Yes ? 2u : 1u);
    EXPECT_EQ(std::pair(Slurp(TempPath("set_1.frd")), Slurp(TempPath("set_2.frd"))), std::pair(old1, old2));
    EXPECT_EQ(test::FolderEntries(tempDir.path().toStdString()), entries);
  }
  EXPECT_EQ(syncs, 2);
  FileCalls = FileSystemCalls{};
}

}  // namespace
}  // namespace zentor
