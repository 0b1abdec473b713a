#include <QApplication>

#include "mainwindow/data_plotter.h"
#include "platform/forms.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Zentor");
  auto* window = new zentor::DataPlotter();
  zentor::Forms::Adopt(window);
  window->Form_Load();
  const int rc = app.exec();
  zentor::Forms::DeleteAll();
  return rc;
}
