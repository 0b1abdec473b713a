// Connects the crossover window to the main window: its menu command and its
// closing when the loaded set changes.
#pragma once

namespace zentor {

void InstallXoverLinks();

}  // namespace zentor
