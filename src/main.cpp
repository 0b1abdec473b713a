// The program's entry: the main window, or a subcommand run without a window.
#include <QApplication>
#include <cstdio>
#include <string>

#include "app/window_links.h"
#include "cli/command_line.h"
#include "mainwindow/data_plotter.h"
#include "platform/desktop.h"
#include "platform/forms.h"
#include "platform/picture.h"
#include "platform/window_placement.h"

int main(int argc, char** argv) {
  if (zentor::cli::IsCommandLineRun(argc, argv)) return zentor::cli::RunCommandLine(argc, argv);
  if (const std::string missing = zentor::MissingDesktopMessage(argc, argv); !missing.empty()) {
    std::fprintf(stderr, "%s\n", missing.c_str());
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("Zentor");
  zentor::ReleaseVectorUpperState();
  const zentor::WindowsOnScreen onScreen;
  auto* window = new zentor::DataPlotter();
  zentor::Forms::Adopt(window);
  // The windows above the main window reach it through its link table; the
  // controls that need a link are enabled once the links are set.
  zentor::InstallWindowLinks();
  window->RefreshLinkedControls();
  // One path, perhaps with blanks in it: the arguments as one line.
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  window->CommandLine = commandLine;
  window->Form_Load();
  const int rc = app.exec();
  zentor::Forms::DeleteAll();
  return rc;
}
