#include "support/fixture.h"

#include "base/shared_state.h"
#include "platform/forms.h"
#include "platform/settings.h"

namespace zentor::test {

void ZentorTest::SetUp() {
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
