// The manager's drawn resources: the two list images, the window icon and the
// splitter cursor, compiled into the UI library from ui/icons.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

namespace megcxc::ui {

// Registers the compiled resources once. The UI library is static, so the
// linker would otherwise be free to drop them; every accessor below calls it.
void ensureUiResources();

// List image 0 (a plain pair) or 1 (a marked pair) at size x size pixels
// (16, 32 or 64); a null pixmap for any other index.
QPixmap listImage(int index, int size);
// The window icon of the manager and the application (all drawn sizes).
QIcon managerIcon();
// The cursor shown over the bar between the two lists.
QCursor splitterCursor();

}  // namespace megcxc::ui
