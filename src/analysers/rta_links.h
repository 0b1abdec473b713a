#pragma once

namespace zentor {

// Opens the two real-time analysers from the main window's menu and lets the wave
// procedures reach their frame operations.
void InstallRtaLinks();

}  // namespace zentor
