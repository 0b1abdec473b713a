// The levels check's links to the main window (its Levels button and menu entry).
#pragma once

namespace zentor {

void InstallLevelsCheckLinks();

}  // namespace zentor
