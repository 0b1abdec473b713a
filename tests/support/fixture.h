// Base fixture: start-up shared state, scripted dialogs, settings in a temp folder.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdint>
#include <string>

#include "support/scripted_dialogs.h"

namespace zentor {
class DataPlotter;
}

namespace zentor::test {

class ZentorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A path inside this test's own temporary folder.
  std::string TempPath(const std::string& name) const;
  // Moves the clock that record deadlines run on; it stands still otherwise, so no
  // test depends on how fast the machine runs.
  static void AdvanceWaveClock(int64_t ms);
  // The main window's Bode/FFT view with a gate, set through the display-options
  // window's Apply as a user sets it.
  void ShowBodeWithGate(DataPlotter& main, const char* gateMs);
  // Every listed mode applied one at a time through the new-filter dialog's Apply.
  void ApplyEachModeByDialog();

  ScriptedDialogs dialogs;
  QTemporaryDir tempDir;
};

}  // namespace zentor::test
