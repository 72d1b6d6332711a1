// cxc-manager [FILE]: a standalone manager of spectral CxC collections. It
// opens FILE, or the demo collection when started without one, and shows the
// manager window. --screenshot PNG saves a picture of the manager window once
// it is on screen and quits (used by tools/screenshot.sh).
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <QWidget>

#include "ui/app/host_window.h"
#include "ui/qt_message_box.h"
#include "ui/ui_resources.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("cxc-manager");
  QApplication::setApplicationDisplayName("CxC Manager");
  QApplication::setWindowIcon(megcxc::ui::managerIcon());

  QCommandLineParser parser;
  parser.setApplicationDescription("Manager of spectral CxC collections (active, control, active-control).");
  parser.addHelpOption();
  parser.addPositionalArgument("FILE", "Collection file to open (default: the demo collection).", "[FILE]");
  QCommandLineOption screenshot("screenshot", "Save a PNG of the manager window to PATH and quit.", "PATH");
  parser.addOption(screenshot);
  parser.process(app);

  megcxc::ui::CQtMessageBoxScope messages;
  int status = 0;
  {
    CManagerHostWindow host;
    host.show();
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
      host.newDemoCollection();
    } else if (host.openFile(files.first())) {
      host.showManager();
    }
    if (host.managerWindow() == nullptr) host.showManager();

    if (parser.isSet(screenshot)) {
      const QString path = parser.value(screenshot);
      QTimer::singleShot(700, &host, [&host, path] {
        QWidget* manager = host.managerWindow();
        const bool saved = manager != nullptr && manager->grab().save(path, "PNG");
        QApplication::exit(saved ? 0 : 1);
      });
    }
    status = QApplication::exec();
  }
  return status;
}
