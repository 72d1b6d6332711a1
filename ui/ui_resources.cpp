#include "ui/ui_resources.h"

#include <QString>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initMegcxcUiResources() { Q_INIT_RESOURCE(ui_icons); }

namespace megcxc::ui {

void ensureUiResources() {
  static const bool done = (initMegcxcUiResources(), true);
  (void)done;
}

QPixmap listImage(int index, int size) {
  ensureUiResources();
  if (index != 0 && index != 1) return QPixmap();
  const char* stem = index == 0 ? "pair" : "marked";
  return QPixmap(QString(":/megcxc/icons/%1%2.png").arg(stem).arg(size));
}

QIcon managerIcon() {
  QIcon icon;
  for (int size : {16, 32, 64}) icon.addPixmap(listImage(1, size));
  return icon;
}

QCursor splitterCursor() {
  ensureUiResources();
  return QCursor(QPixmap(":/megcxc/icons/splitter.png"), 16, 16);
}

}  // namespace megcxc::ui
