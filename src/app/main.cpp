#include <QApplication>

#include "mainwindow/data_plotter.h"
#include "platform/forms.h"
#include "platform/picture.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Zentor");
  zentor::ReleaseVectorUpperState();
  auto* window = new zentor::DataPlotter();
  zentor::Forms::Adopt(window);
  window->Form_Load();
  const int rc = app.exec();
  zentor::Forms::DeleteAll();
  return rc;
}
