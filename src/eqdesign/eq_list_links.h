// Sets the main window's links to the applied-filter list, the modes listing,
// the new-filter and emulation dialogs and the settings report.
#pragma once

namespace zentor {

void InstallEqListLinks();

}  // namespace zentor
