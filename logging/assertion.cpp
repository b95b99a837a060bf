#include "logging/assertion.h"

#include <cstdlib>

#include "logging/format_message.h"
#include "logging/log_message.h"
#include "logging/log_record.h"

namespace tev {
namespace {

bool hasText(const char* text) { return text != nullptr && text[0] != '\0'; }

}  // namespace

void composeAssertion(String& out, const char* expression, const char* description,
                      const char* file, std::int32_t line, const char* function) {
  out.assign("Assertion failed!\n\n");
  if (hasText(file)) {
    out.append("File: ").append(file).append("\n");
  }
  if (line != 0) {
    out.append(formatMessage("Line: %1\n\n", line));
  }
  if (hasText(function)) {
    out.append("Function: ").append(function).append("\n\n");
  }
  if (hasText(expression)) {
    out.append("Expression: ").append(expression);
  }
  if (hasText(description)) {
    out.append("\n\nDescription: ").append(description);
  }
}

void reportAssertion(const char* expression, const char* description, const char* file,
                     std::int32_t line, const char* function) {
  String report;
  try {
    composeAssertion(report, expression, description, file, line, function);
  } catch (...) {
    // Out of memory while composing: the fixed text still says what happened.
    logMessage(kLogLevelError, static_cast<std::uint32_t>(kLogGroupDbg), 0, "%s",
               "Assertion failed!");
    return;
  }
  logMessage(kLogLevelError, static_cast<std::uint32_t>(kLogGroupDbg), 0, "%s", report.c_str());
}

void reportFatalError(const char* code) {
  reportAssertion(code, nullptr, nullptr, 0, nullptr);
  std::abort();
}

}  // namespace tev
