// Sets the main window's links to the band simulator and the numerical options.
#pragma once

namespace zentor {

void InstallEQDialogLinks();

}  // namespace zentor
