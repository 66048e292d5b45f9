// The application title: the title of every message box that names none of
// its own. It is the product name until the start-up runs SetAppTitle.
//
// Thread: user-interface thread only.
#pragma once

#include <QString>

namespace lentaro {

// The product name, also the main window's caption.
extern const char* const kProductName;

// The title made from a product name: the text before its last space is
// kept (the cut is made at least once), and cut again while longer than 40
// characters. A name without a space stays as it is.
QString appTitleFor(const QString& productName);

// Sets the application title from the product name.
void SetAppTitle(const QString& productName = QString::fromLatin1(kProductName));

// The current application title.
QString AppTitle();

}  // namespace lentaro
