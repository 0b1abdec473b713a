#include "platform/help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "base/shared_state.h"

namespace zentor {

namespace {
HelpLog g_log;
SharedStateRegistrar g_reset([] { g_log = HelpLog{}; });

// The help file beside the program, in whichever form it was installed.
QString FindHelpFile(const std::string& base) {
  for (const char* ext : {"", ".html", ".htm", ".pdf", ".HLP"}) {
    QString p = QString::fromStdString(base) + ext;
    if (QFileInfo(p).isFile()) return p;
  }
  return {};
}
}  // namespace

void InitHelp(QWidget*) {
  QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
  if (!dir.endsWith('/')) dir += '/';
  g_log.initialised = true;
  g_log.closed = false;
  g_log.helpFile = (dir + "ZentorHelp").toStdString();
}

void ShowHelpTopic(int32_t topic) {
  g_log.topics.push_back(topic);
  if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && qgetenv("QT_QPA_PLATFORM") == "offscreen") return;
  QString file = FindHelpFile(g_log.helpFile);
  if (file.isEmpty()) return;  // no help file installed: nothing to open
  QUrl url = QUrl::fromLocalFile(file);
  url.setFragment(QString::number(topic));
  QDesktopServices::openUrl(url);
}

void CloseHelp() { g_log.closed = true; }

bool HelpFileInstalled() { return g_log.initialised && !FindHelpFile(g_log.helpFile).isEmpty(); }

const HelpLog& GetHelpLog() { return g_log; }

}  // namespace zentor
