// Starting the operating system's system-information program (the about box's
// button). Production looks for a known program on the PATH; tests install a
// service that records the request.
#pragma once

#include <string>
#include <vector>

namespace zentor {

class SysInfoService {
 public:
  virtual ~SysInfoService() = default;
  // True when a system-information program was started.
  virtual bool StartSystemInformation() = 0;
};

// Installs a service (tests); nullptr restores the PATH search.
void SetSysInfoService(SysInfoService* service);
bool StartSystemInformation();

// Programs that show system information, in order of preference.
const std::vector<std::string>& SystemInformationPrograms();
// Full path of the first of them that is an executable file in one of the
// folders of the ":"-separated list; empty when there is none.
std::string FindSystemInformationProgram(const std::string& searchPath);

}  // namespace zentor
