#include "platform/desktop.h"

#include <cstdlib>
#include <cstring>

namespace zentor {

namespace {
bool Set(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0';
}
}  // namespace

std::string MissingDesktopMessage(int argc, const char* const* argv) {
  if (Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM")) return {};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0 ||
        std::strncmp(argv[i], "-platform=", 10) == 0)
      return {};
  }
  return "zentor: no graphical desktop (DISPLAY and WAYLAND_DISPLAY are unset); "
         "run it on a desktop, or with QT_QPA_PLATFORM=offscreen to start it without one";
}

}  // namespace zentor
