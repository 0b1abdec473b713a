// Connects the test-CD windows to the main window's commands.
#pragma once

namespace zentor {

void InstallTestCDLinks();

}  // namespace zentor
