#include "platform/help.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

#include "base/shared_state.h"

// The pages are compiled into the static library; nothing else references them,
// so the linker would drop them unless they are registered by name. The macro
// may not stand inside a namespace.
static void RegisterHelpPages() { Q_INIT_RESOURCE(help); }

namespace zentor {

namespace {

struct TopicPage {
  int32_t topic;
  const char* page;
};
constexpr TopicPage kPages[] = {
    {HelpTopic::AudioForm, "measurement.html"},
    {HelpTopic::Form1, "band_simulator.html"},
    {HelpTopic::Numerical, "numerical_options.html"},
    {HelpTopic::DistForm, "distortion.html"},
    {HelpTopic::DataPlotterMain, "main_window.html"},
    {HelpTopic::LevelSet, "filter_editor.html"},
    {HelpTopic::SoundCardSelector, "sound_card.html"},
    {HelpTopic::PsycForm, "psychoacoustic_options.html"},
    {HelpTopic::DisplayControlFormView3, "display_options_3d.html"},
    {HelpTopic::DisplayControlForm, "display_options.html"},
    {HelpTopic::MathFormCurveSwap, "curve_swap.html"},
    {HelpTopic::MathFormResample, "resample.html"},
    {HelpTopic::MathFormDifferences, "differences.html"},
    {HelpTopic::MathFormCompress, "compress.html"},
    {HelpTopic::DataIntegrityForm, "large_room.html"},
    {HelpTopic::MicCalForm, "mic_calibration.html"},
    {HelpTopic::Import, "wav_import.html"},
    {HelpTopic::RTAEQ, "rta_equaliser.html"},
    {HelpTopic::RTAImp, "rta_impulse.html"},
    {HelpTopic::SPLLevelForm, "spl_meter.html"},
    {HelpTopic::TestCD, "test_cd.html"},
    {HelpTopic::XoverForm, "crossover.html"},
    {HelpTopic::Printing, "printing.html"},
    {HelpTopic::FitLimits, "fit_limits.html"},
};

HelpLog g_log;
QPointer<QTextBrowser> g_window;

void DeleteHelpWindow() {
  delete g_window.data();
  g_window.clear();
}

SharedStateRegistrar g_reset([] {
  g_log = HelpLog{};
  DeleteHelpWindow();
});

// The help file beside the program, in whichever form it was installed.
QString FindHelpFile(const std::string& base) {
  for (const char* ext : {"", ".html", ".htm", ".pdf", ".HLP"}) {
    QString p = QString::fromStdString(base) + ext;
    if (QFileInfo(p).isFile()) return p;
  }
  return {};
}

bool Headless() { return QGuiApplication::platformName() == "offscreen"; }

void OpenHelpWindow(const QString& page) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;  // no widgets to show it in
  RegisterHelpPages();
  if (!g_window) {
    g_window = new QTextBrowser;
    g_window->setObjectName("HelpWindow");
    g_window->setWindowTitle("Zentor Help");
    g_window->setAttribute(Qt::WA_QuitOnClose, false);  // an open help page never keeps the program running
    g_window->resize(860, 760);  // the main window's picture is 800 pixels wide
  }
  g_window->setSource(QUrl(page));
  if (Headless()) return;
  g_window->show();
  g_window->raise();
  g_window->activateWindow();
}

}  // namespace

std::string HelpPage(int32_t topic) {
  for (const TopicPage& p : kPages) {
    if (p.topic == topic) return std::string("qrc:/help/") + p.page;
  }
  return {};
}

void InitHelp(QWidget*) {
  QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
  if (!dir.endsWith('/')) dir += '/';
  g_log.initialised = true;
  g_log.closed = false;
  g_log.helpFile = (dir + "ZentorHelp").toStdString();
}

void ShowHelpTopic(int32_t topic) {
  g_log.topics.push_back(topic);
  const QString file = FindHelpFile(g_log.helpFile);
  if (file.isEmpty()) {
    const std::string page = HelpPage(topic);
    OpenHelpWindow(QString::fromStdString(page.empty() ? std::string(kHelpContentsPage) : page));
    return;
  }
  if (Headless()) return;
  QUrl url = QUrl::fromLocalFile(file);
  url.setFragment(QString::number(topic));
  QDesktopServices::openUrl(url);
}

void CloseHelp() {
  g_log.closed = true;
  DeleteHelpWindow();
}

std::string HelpWindowPage() { return g_window ? g_window->source().toString().toStdString() : std::string(); }

const HelpLog& GetHelpLog() { return g_log; }

}  // namespace zentor
