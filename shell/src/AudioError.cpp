#include "shell/AudioError.h"

#include <lentaro/bass.h>

#include "shell/UiHost.h"

namespace lentaro {

QString audioErrorText(const QString& text, int code) {
  return text + QStringLiteral("\r\n\r\n(error code: ") + QString::number(code) +
         QStringLiteral(")");
}

void Error_(UiHost& ui, const QString& text, ErrorCodeSource readCode, QWidget* owner) {
  const int code = readCode ? readCode() : BASS_ErrorGetCode();
  ui.messageBox(owner, audioErrorText(text, code), QStringLiteral("Error"), MsgButtons::Ok,
                MsgIcon::Exclamation);
}

}  // namespace lentaro
