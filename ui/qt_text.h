// Conversions between the library's CString (UTF-16 code units) and QString
// (also UTF-16), unit for unit, so no text changes on its way to a widget.
#pragma once

#include <QString>

#include "platform/cstring.h"

namespace megcxc::ui {

inline QString toQString(const CString& text) { return QString::fromStdU16String(text.units()); }

inline CString toCString(const QString& text) { return CString(text.toStdU16String()); }

}  // namespace megcxc::ui
