#include "common/diagnostics.h"

#include <cstring>
#include <utility>

namespace common {

std::string systemReason(int error) { return std::strerror(error); }

Diagnostics::Diagnostics(std::string_view program, std::ostream& errors,
                         std::function<void()> flushConsole)
    : program_(program), errors_(errors), flushConsole_(std::move(flushConsole)) {}

void Diagnostics::report(std::string_view what, std::string_view reason) {
  if (flushConsole_) flushConsole_();
  errors_ << program_ << ": " << what << ": " << reason << '\n';
  errors_.flush();
}

void Diagnostics::warn(std::string_view what, std::string_view reason) {
  report(what, "warning: " + std::string(reason));
}

int Diagnostics::fail(std::string_view what, std::string_view reason) {
  report(what, reason);
  return statusFailed;
}

}  // namespace common
