// Base fixture: start-up shared state, scripted dialogs, settings in a temp folder.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <string>

#include "support/scripted_dialogs.h"

namespace zentor::test {

class ZentorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A path inside this test's own temporary folder.
  std::string TempPath(const std::string& name) const;

  ScriptedDialogs dialogs;
  QTemporaryDir tempDir;
};

}  // namespace zentor::test
