#include "shell/ErrorTrap.h"

#include "shell/UiHost.h"

namespace lentaro {

const char* const kSupportEmail = "support@orvessa.org";

namespace {
// The project name and build date that every trace text carries; support
// reads them off screenshots to know which build a user runs.
constexpr const char* kTracePrefix = "in Lentaro2017/04/05.";
}  // namespace

QString applicationErrorText(const QString& description, const QString& location, int line) {
  return description + QStringLiteral("\r\n") + QString::fromLatin1(kTracePrefix) + location +
         QStringLiteral(" at line ") + QString::number(line) + QStringLiteral("\r\r") +
         QStringLiteral("Please email screenshot of this message to ") +
         QString::fromLatin1(kSupportEmail);
}

void ErrorTrap::report(std::exception_ptr failure) {
  ui_.messageBox(nullptr, applicationErrorText(describeFailure(failure), location_, line_),
                 QStringLiteral("Application Error"), MsgButtons::Ok, MsgIcon::Exclamation);
}

}  // namespace lentaro
