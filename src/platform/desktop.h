// Whether Qt can be started at all: without a display server and without a
// chosen platform plug-in Qt aborts with a text that tells the user nothing.
#pragma once

#include <string>

namespace zentor {

// Empty when a platform is available or chosen (QT_QPA_PLATFORM or a -platform
// argument); otherwise the one line to print before exiting.
std::string MissingDesktopMessage(int argc, const char* const* argv);

}  // namespace zentor
