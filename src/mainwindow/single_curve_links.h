// The curve arrows and the impulse shift buttons reach the single-curve views of
// the main graph through these links.
#pragma once

namespace zentor {

void InstallSingleCurveViewLinks();

}  // namespace zentor
