// Listing the sound cards and opening a mixer, with no JACK server to find and
// no ALSA card behind the configured devices, writes nothing on stderr.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/mixer/alsa_mixer.h"
#include "support/audio_fixture.h"

namespace zentor::test {
namespace {

class QuietStartTest : public AudioTest {};

TEST_F(QuietStartTest, FindingNoServerAndNoCardPrintsNothing) {
  const char* before = std::getenv("JACK_DEFAULT_SERVER");
  const std::string server = before ? before : "";
  setenv("JACK_DEFAULT_SERVER", "zentor-test-no-such-server", 1);
  ::testing::internal::CaptureStderr();
  UsePortAudioApi(nullptr);
  ForgetSoundDevices();
  const int32_t count = RecordDeviceCount();
  AlsaMixerApi mixer;
  mixer.OpenCard(-1);
  mixer.Close();
  ForgetSoundDevices();
  const std::string text = ::testing::internal::GetCapturedStderr();
  if (before) setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
  else unsetenv("JACK_DEFAULT_SERVER");
  EXPECT_GE(count, 1);  // the simulated card at least
  EXPECT_EQ(text, "");
}

}  // namespace
}  // namespace zentor::test
