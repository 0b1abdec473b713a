// A room of image sources measured through the simulated card: its reverberation
// times per octave come out as the same computation gives on the room's own impulse.
#include <cmath>
#include <vector>

#include "core/records.h"
#include "display/view_state.h"
#include "measurement/audio_form.h"
#include "measurement_fixture.h"
#include "tools/room_parameters.h"

namespace zentor::test {
namespace {

// A shoebox room (metres) of walls reflecting `beta` of the pressure at every
// frequency: each image source adds its arrival, 1/r, at the nearest sample.
std::vector<double> ImageSourceRoom(int32_t rate, double seconds) {
  const double room[3] = {9.0, 7.0, 3.5}, source[3] = {2.1, 3.3, 1.4}, mic[3] = {6.2, 4.1, 1.2};
  const double beta = 0.85, c = 343.0, reach = c * seconds;
  std::vector<double> h(static_cast<size_t>(seconds * rate), 0.0);
  int orders[3];
  for (int a = 0; a < 3; ++a) orders[a] = static_cast<int>(reach / (2 * room[a])) + 1;
  for (int nx = -orders[0]; nx <= orders[0]; ++nx)
    for (int ny = -orders[1]; ny <= orders[1]; ++ny)
      for (int nz = -orders[2]; nz <= orders[2]; ++nz)
        for (int parity = 0; parity < 8; ++parity) {
          const int n[3] = {nx, ny, nz};
          double d2 = 0;
          int reflections = 0;
          for (int a = 0; a < 3; ++a) {
            const bool mirrored = (parity >> a) & 1;
            const double image = 2 * n[a] * room[a] + (mirrored ? -source[a] : source[a]);
            d2 += (image - mic[a]) * (image - mic[a]);
            reflections += std::abs(2 * n[a] - (mirrored ? 1 : 0));
          }
          const double r = std::sqrt(d2);
          const auto at = static_cast<size_t>(std::lround(r / c * rate));
          if (at < h.size()) h[at] += 0.2 / r * std::pow(beta, reflections);
        }
  return h;
}

class RoomParametersMeasured : public MeasurementWindowTest {};

TEST_F(RoomParametersMeasured, DecayTimesOfAMeasuredRoomMatchTheRoomsOwn) {
  const std::vector<double> room = ImageSourceRoom(48000, 0.8);
  SimulatedCardSettings s = Quiet();
  s.blockSize = 8192;
  s.micNoise = 30.0;  // the noise some 45 to 55 dB down in the bands
  s.room = room;
  UseCard(s);
  AudioForm* f = Form();
  DisplayConfig.Graphshown = 3;
  f->RunMainTest();
  for (int i = 0; i < 200 && SoundCardBusy; ++i) Run(8192);
  ASSERT_FALSE(SoundCardBusy);
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);

  RoomParameters measured;
  std::string error;
  ASSERT_TRUE(RoomParametersOfResult(1, measured, error)) << error;
  const std::vector<float> own(room.begin(), room.end());
  const RoomParameters truth = ComputeRoomParameters(own, 48000);
  ASSERT_EQ(measured.bands.size(), truth.bands.size());
  for (size_t b = 0; b < truth.bands.size(); ++b) {
    const RoomParameterValues &m = measured.bands[b], &t = truth.bands[b];
    SCOPED_TRACE(t.centreHz);
    ASSERT_TRUE(m.t20_s && m.t30_s && t.t20_s && t.t30_s);
    EXPECT_FALSE(m.IsMarked("t20_s")) << m.Reason("t20_s");
    EXPECT_NEAR(*m.t20_s / *t.t20_s, 1.0, 0.05) << *m.t20_s << " " << *t.t20_s;
    EXPECT_NEAR(*m.t30_s / *t.t30_s, 1.0, 0.05) << *m.t30_s << " " << *t.t30_s;
  }
}

}  // namespace
}  // namespace zentor::test
