#include "support/fixture.h"

#include "base/shared_state.h"
#include "platform/audio/wave_streaming.h"
#include "platform/forms.h"
#include "platform/settings.h"

namespace zentor::test {

namespace {
int64_t g_waveNow = 0;
}  // namespace

void ZentorTest::AdvanceWaveClock(int64_t ms) { g_waveNow += ms; }

void ZentorTest::SetUp() {
  g_waveNow = 0;
  SetWaveClock([] { return g_waveNow; });
  ASSERT_TRUE(tempDir.isValid());
  SetSettingsFolder(tempDir.path().toStdString() + "/config");
  ResetSharedState();
}

void ZentorTest::TearDown() {
  EXPECT_EQ(dialogs.Unused(), 0u) << "answers queued for dialogs that never appeared";
  EXPECT_EQ(WaitCursor::Depth(), 0) << "a wait cursor was not restored";
  Forms::DeleteAll();
  SetSettingsFolder("");
}

std::string ZentorTest::TempPath(const std::string& name) const {
  return tempDir.path().toStdString() + "/" + name;
}

}  // namespace zentor::test
