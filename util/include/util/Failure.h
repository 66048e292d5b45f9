// The failure every layer throws for a run-time fault that the user should
// be told about. The window's error trap catches it (or any other
// exception) and shows describeFailure()'s text.
#pragma once

#include <QString>
#include <exception>
#include <stdexcept>

namespace lentaro {

// A failure with a description for the report.
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Description text of a caught failure, as the report prints it:
// the exception's what(), "Out of memory" for bad_alloc, "Unknown error"
// for anything that is not a std::exception.
QString describeFailure(std::exception_ptr failure);

}  // namespace lentaro
