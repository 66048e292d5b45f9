// The program's settings store: organisation "Orvessa", application
// "Lentaro" (~/.config/Orvessa/Lentaro.conf), shared with the "Path" of the
// output folder.
//
// Thread: user-interface thread.
#pragma once

#include <QSettings>

namespace lentaro {

inline QSettings lentaroSettings() {
  return QSettings(QStringLiteral("Orvessa"), QStringLiteral("Lentaro"));
}

}  // namespace lentaro
