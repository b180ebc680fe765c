#include "wizard/discovery/report.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

std::atomic<ReportSink> reportSink{nullptr};
// Shared by every report line; only the detection thread formats lines.
char reportLine[kReportLineRoom];

bool EndsWithLineEnd(const char* text) {
  std::size_t length = std::strlen(text);
  return length >= 2 && text[length - 2] == '\r' && text[length - 1] == '\n';
}

}  // namespace

void SetReportSink(ReportSink sink) {
  reportSink.store(sink);
}

void AppendReportLine(ReportPage page, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int length = std::vsnprintf(reportLine, sizeof reportLine, format, arguments);
  va_end(arguments);
  if (length < 0) return;
  // A cut line keeps its line end, so the next line starts on a line of its own.
  if (static_cast<std::size_t>(length) >= sizeof reportLine && EndsWithLineEnd(format)) {
    std::memcpy(reportLine + sizeof reportLine - 3, "\r\n", 3);
  }
  ReportSink sink = reportSink.load();
  if (sink != nullptr) sink(page, reportLine);
}
