#include "platform/sysinfo.h"

#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <cstdlib>

namespace zentor {

namespace {

class PathSysInfo final : public SysInfoService {
 public:
  bool StartSystemInformation() override {
    const char* path = std::getenv("PATH");
    std::string program = FindSystemInformationProgram(path ? path : "");
    if (program.empty()) return false;
    return QProcess::startDetached(QString::fromStdString(program), {});
  }
};

PathSysInfo g_path;
SysInfoService* g_service = &g_path;

}  // namespace

void SetSysInfoService(SysInfoService* service) { g_service = service ? service : &g_path; }

bool StartSystemInformation() { return g_service->StartSystemInformation(); }

const std::vector<std::string>& SystemInformationPrograms() {
  static const std::vector<std::string> names{"hardinfo2", "hardinfo", "kinfocenter", "gnome-system-monitor"};
  return names;
}

std::string FindSystemInformationProgram(const std::string& searchPath) {
  const QStringList folders = QString::fromStdString(searchPath).split(':', Qt::SkipEmptyParts);
  for (const std::string& name : SystemInformationPrograms()) {
    for (const QString& folder : folders) {
      QFileInfo f(folder + "/" + QString::fromStdString(name));
      if (f.isFile() && f.isExecutable()) return f.absoluteFilePath().toStdString();
    }
  }
  return {};
}

}  // namespace zentor
