// The view builders of the main graph. Until a view is built it shows its
// empty frame, so every redraw still lands on the picture.
#include "core/records.h"
#include "display/graph_frame.h"
#include "display/graph_primitives.h"
#include "mainwindow/data_plotter.h"

namespace zentor {

namespace {

bool SetLoaded() {
  const int32_t n = ResultsDataSetInfo[0].NumInSet;
  return n >= 1 && n <= kMaxResults;
}

void EmptyFrame(GraphFrame& frame, PictureBox& picture) {
  DrawingSurface& dc = PrepareGraphDC(picture);
  DrawGraphFrame(frame, dc);
  RefreshGraph(dc);
}

}  // namespace

bool DataPlotter::ShowMainImpulseSet(int32_t /*FirstCurve*/) {
  EmptyFrame(TimeGraphFrame, *Picture1);
  return SetLoaded();
}

bool DataPlotter::ShowPSDEnergy(int32_t /*FirstCurve*/) {
  EmptyFrame(FreqGraphFrame, *Picture1);
  return true;
}

void DataPlotter::ShowLevelsImpulse(std::span<float> /*impulse*/, int32_t /*startIndex*/, float /*msBefore*/,
                                    int32_t /*sampleRate*/, int32_t /*impulseShift*/, float /*level*/,
                                    float /*signalToNoise*/) {
  EmptyFrame(TimeGraphFrame, *Picture1);
}

bool DataPlotter::ShowFFTResponseSet(int32_t /*FirstCurve*/) {
  EmptyFrame(FreqGraphFrame, *Picture1);
  return SetLoaded();
}

bool DataPlotter::ShowFractOctResponseSet(int32_t /*FirstCurve*/) {
  EmptyFrame(FreqGraphFrame, *Picture1);
  return SetLoaded();
}

bool DataPlotter::ShowPsycResponseSet(int32_t /*FirstCurve*/) {
  EmptyFrame(FreqGraphFrame, *Picture1);
  return SetLoaded();
}

bool DataPlotter::ShowNoiseResponseSet(int32_t /*FirstCurve*/) {
  EmptyFrame(FreqGraphFrame, *Picture1);
  return SetLoaded();
}

bool DataPlotter::ShowModalResponseSet(int32_t /*FirstCurve*/) {
  EmptyFrame(FreqGraphFrame, *Picture1);
  return SetLoaded();
}

void DataPlotter::ShowImpulseCurve(int32_t /*k*/) { EmptyFrame(TimeGraphFrame, *Picture1); }

}  // namespace zentor
