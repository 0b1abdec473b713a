// Opens the SPL meter from the main window's command.
#pragma once

namespace zentor {

void InstallSplLinks();

}  // namespace zentor
