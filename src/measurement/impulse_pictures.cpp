// The window's two level pictures: the energy over time of the aligned microphone and
// reference impulses of the last run, from 10 ms before their peaks, on a 50 dB scale.
#include <QLabel>
#include <algorithm>
#include <cmath>

#include "base/text_number.h"
#include "core/records.h"
#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "measurement/audio_form.h"
#include "platform/picture.h"

namespace zentor {

namespace {

constexpr int32_t kScaleSearchPoints = 5001;  // the points that set the scale (about 104 ms at 48 kHz)
constexpr float kScaleSpan = 50.0f;           // dB

float LevelAt(std::span<const float> x, int64_t i) {
  if (i < 0 || i >= static_cast<int64_t>(x.size())) return kPictureFloorDb;
  const double v = x[static_cast<std::size_t>(i)];
  return static_cast<float>(10.0 * std::log10(std::max(v * v, 1e-30)));
}

}  // namespace

void AudioForm::DrawImpulseEnergyPictures(std::span<const float> a, std::span<const float> b, int32_t micChannel,
                                          int32_t rate) {
  for (std::size_t k = 0; k < 2; ++k) {
    ImpulseEnergyCurves[k].NumPoints = kAudioCurvePoints - 1;
    ImpulseEnergyCurves[k].NumCurves = 2;
    ImpulseEnergyCurves[k].CurveIndex = static_cast<int32_t>(k);
  }
  ImpulseEnergyCurves[0].Label.clear();
  if (rate <= 0) return;
  const int64_t w = CLng(rate * 0.05), o = CLng(rate * 10 / 1000.0);
  const double dt = 1000.0 / rate;
  const bool micRight = micChannel == kMicOnRightInput;
  if (micRight || micChannel == kMicOnLeftInput) {
    std::span<const float> mic = micRight ? b : a, ref = micRight ? a : b;
    AudioCurveRecord &m = ImpulseEnergyCurves[0], &f = ImpulseEnergyCurves[1];
    for (int64_t i = 0; i < kAudioCurvePoints; ++i) {
      const auto x = static_cast<float>(dt * static_cast<double>(i) - 10.0);
      m.XValues[static_cast<std::size_t>(i)] = x;
      f.XValues[static_cast<std::size_t>(i)] = x;
      m.YValues[static_cast<std::size_t>(i)] = LevelAt(mic, 2 * w + i - o);
      f.YValues[static_cast<std::size_t>(i)] = LevelAt(ref, w + i - o);
    }
  }
  float top = kPictureFloorDb;
  for (const AudioCurveRecord& c : ImpulseEnergyCurves)
    top = std::max(top, *std::max_element(c.YValues.begin(), c.YValues.begin() + kScaleSearchPoints));
  for (GraphFrame* frame : {&RefFrame, &MicFrame}) {
    frame->YHigh = static_cast<float>(CLng(top));
    frame->YLow = static_cast<float>(CLng(top - kScaleSpan));
  }
  for (std::size_t k = 0; k < 2; ++k) {
    MaxValCap[k]->setText(QString::fromStdString(Str(Fix(top)) + " dB"));
    MinVal[k]->setText(QString::fromStdString(Str(Fix(top - kScaleSpan)) + " dB"));
  }
  DrawingSurface& mic = PrepareGraphDC(*MicPic);
  DrawingSurface& ref = PrepareGraphDC(*RefPic);
  DrawAudioGraphFrame(MicFrame, mic);
  DrawAudioGraphFrame(RefFrame, ref);
  PlotAudioCurve(MicFrame, mic, ImpulseEnergyCurves[0], RGB(255, 0, 0));
  PlotAudioCurve(RefFrame, ref, ImpulseEnergyCurves[1], RGB(255, 0, 0));
  RefreshGraph(mic);
  RefreshGraph(ref);
}

void AudioForm::RedrawImpulseEnergyPictures() {
  DrawingSurface& mic = PrepareGraphDC(*MicPic);
  DrawingSurface& ref = PrepareGraphDC(*RefPic);
  DrawAudioGraphFrame(MicFrame, mic);
  DrawAudioGraphFrame(RefFrame, ref);
  const ColourRef colour = GetCurveColour(0);
  PlotAudioCurve(MicFrame, mic, ImpulseEnergyCurves[0], colour);
  PlotAudioCurve(RefFrame, ref, ImpulseEnergyCurves[1], colour);
  RefreshGraph(mic);
  RefreshGraph(ref);
}

}  // namespace zentor
