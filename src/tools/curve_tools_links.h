// Plugs the curve tools into the main window: file operations on the set,
// impulse export, WAV import and the level change of one curve.
#pragma once

namespace zentor {

void InstallCurveToolsLinks();

}  // namespace zentor
