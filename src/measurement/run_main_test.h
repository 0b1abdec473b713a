// The measurement run's links to the main window (its Measure button and Response
// menu start a run of the measurement window).
#pragma once

namespace zentor {

void InstallMainTestLinks();

}  // namespace zentor
