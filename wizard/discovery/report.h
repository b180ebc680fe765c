// The detection report: English lines ending in CR LF, appended to the
// detection page's report (edit control 1000 on Windows). The page is an
// opaque handle here so that the discovery code builds and is tested on
// every platform; the wizard installs the sink that writes into the window.
#pragma once
#include <cstddef>

#include "platform/printf_format.h"

// Every line is formatted into one buffer of this size: a longer line is cut
// and still ends with its CR LF.
constexpr std::size_t kReportLineRoom = 256;

using ReportPage = void*;
using ReportSink = void (*)(ReportPage page, const char* line);

// Installs the function that receives each formatted line (nullptr: lines go
// nowhere). The wizard installs its sink before the first detection starts.
void SetReportSink(ReportSink sink);

// Formats one line into the shared 256-byte line buffer (cut to fit, never
// overrun) and hands it to the sink for the page.
void AppendReportLine(ReportPage page, const char* format, ...)
    PRINTF_FORMAT(2, 3);
