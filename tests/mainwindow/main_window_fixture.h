// Main-window tests run in their own temporary working folder, where the older
// settings and mixer files are looked up.
#pragma once

#include <QDir>
#include <string>

#include "mainwindow/data_plotter.h"
#include "platform/forms.h"
#include "support/fixture.h"

namespace zentor::test {

class MainWindowTest : public ZentorTest {
 protected:
  void SetUp() override {
    ZentorTest::SetUp();
    oldDir_ = QDir::currentPath();
    QDir::setCurrent(tempDir.path());
  }
  void TearDown() override {
    ZentorTest::TearDown();
    QDir::setCurrent(oldDir_);
  }
  DataPlotter* Start() {
    DataPlotter* w = Forms::Get<DataPlotter>();
    w->Form_Load();
    return w;
  }

 private:
  QString oldDir_;
};

}  // namespace zentor::test
