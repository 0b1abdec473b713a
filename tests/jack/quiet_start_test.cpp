// Listing the sound cards and opening a mixer, with no JACK server to find and
// no ALSA card behind the configured devices, writes nothing on stderr.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/mixer/alsa_mixer.h"
#include "support/audio_fixture.h"

namespace zentor::test {
namespace {

class QuietStartTest : public AudioTest {};

TEST_F(QuietStartTest, FindingNoServerAndNoCardPrintsNothing) {
  const char* before = std::getenv("JACK_DEFAULT_SERVER");
  const std::string server = before ? before : "";
  setenv("JACK_DEFAULT_SERVER", "zentor-test-no-such-server", 1);
  const std::string path = TempPath("stderr.txt");
  std::fflush(stderr);
  const int saved = dup(STDERR_FILENO);
  std::FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  dup2(fileno(f), STDERR_FILENO);

  UsePortAudioApi(nullptr);
  ForgetSoundDevices();
  const int32_t count = RecordDeviceCount();
  AlsaMixerApi mixer;
  mixer.OpenCard(-1);
  mixer.Close();
  ForgetSoundDevices();

  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  std::fclose(f);
  if (before) setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
  else unsetenv("JACK_DEFAULT_SERVER");
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_GE(count, 1);  // the simulated card at least
  EXPECT_EQ(text.str(), "");
}

}  // namespace
}  // namespace zentor::test
