// Connects the distortion window to the main window's menu command.
#pragma once

namespace zentor {

void InstallDistortionLinks();

}  // namespace zentor
