// Sets the main window's links to the corrected fit graph and the filter editor.
#pragma once

namespace zentor {

void InstallFilterEditLinks();

}  // namespace zentor
