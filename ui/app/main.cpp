// cxc-manager [FILE]: a standalone manager of spectral CxC collections. It
// opens FILE, or the demo collection when started without one, and shows the
// manager window beside the host window with its pictures. --screenshot PNG
// saves one picture of both windows side by side once they are on screen and
// quits (used by tools/screenshot.sh).
#include <algorithm>

#include <QApplication>
#include <QCommandLineParser>
#include <QImage>
#include <QPainter>
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
  QCommandLineOption screenshot("screenshot", "Save a PNG of the host and manager windows to PATH and quit.", "PATH");
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
    // The manager to the right of the host window.
    if (QWidget* manager = host.managerWindow()) {
      manager->resize(880, 640);
      manager->move(host.frameGeometry().right() + 8, host.frameGeometry().top());
    }

    if (parser.isSet(screenshot)) {
      const QString path = parser.value(screenshot);
      QTimer::singleShot(700, &host, [&host, path] {
        QWidget* manager = host.managerWindow();
        if (manager == nullptr) return QApplication::exit(1);
        const QPixmap left = host.grab();
        const QPixmap right = manager->grab();
        QImage shot(left.width() + 12 + right.width(), std::max(left.height(), right.height()), QImage::Format_RGB32);
        shot.fill(QColor(90, 90, 90));
        QPainter painter(&shot);
        painter.drawPixmap(0, 0, left);
        painter.drawPixmap(left.width() + 12, 0, right);
        painter.end();
        QApplication::exit(shot.save(path, "PNG") ? 0 : 1);
      });
    }
    status = QApplication::exec();
  }
  return status;
}
