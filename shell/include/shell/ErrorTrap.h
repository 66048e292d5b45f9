// The application error report: every trapped handler (the start-up events
// and the button commands) runs its numbered statements under one of these.
//
// A statement that fails (throws) is left at once; the report shows the
// failure's description, the handler's trace text and the statement's
// number, then the handler goes on with its next statement. A failing test
// counts as passed, so the statements it guards run next. Each handler
// invocation makes its own trap, so a handler running nested inside another
// (through an event loop) reports and resumes on its own.
//
// Thread: user-interface thread only.
#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <stdexcept>
#include <utility>

#include "util/Failure.h"

namespace lentaro {

class UiHost;

// The support address that the report's last line names.
extern const char* const kSupportEmail;

// The full text of the report for a failure at `line` of `location`
// ("Form1.PushButton7_Click").
QString applicationErrorText(const QString& description, const QString& location, int line);

class ErrorTrap {
 public:
  // location is the handler's location name, e.g. "Form1.PushButton7_Click".
  ErrorTrap(UiHost& ui, QString location) : ui_(ui), location_(std::move(location)) {}

  // Runs statement `line`. Returns false when it failed (after the report).
  template <class F>
  bool run(int line, F&& statement) {
    line_ = line;
    try {
      std::forward<F>(statement)();
      return true;
    } catch (...) {
      report(std::current_exception());
      return false;
    }
  }

  // Evaluates the test of statement `line`. A failure is reported and
  // counts as true: the guarded statements run next.
  template <class F>
  bool test(int line, F&& condition) {
    line_ = line;
    try {
      return static_cast<bool>(std::forward<F>(condition)());
    } catch (...) {
      report(std::current_exception());
      return true;
    }
  }

  // The number of the statement being executed (0 before the first).
  int line() const { return line_; }
  const QString& location() const { return location_; }

  // Shows the report for the current statement. Also for callers that catch
  // a failure themselves and want the uniform report.
  void report(std::exception_ptr failure);

 private:
  UiHost& ui_;
  QString location_;
  int line_ = 0;
};

}  // namespace lentaro
