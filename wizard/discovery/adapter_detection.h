// The two ways the wizard finds this PC's IPv4 addresses and their names:
// the adapter walk, which asks each adapter's own DNS servers, and the
// interface list with the system resolver where the IP helper and DNS
// libraries are missing. Both fill the host candidate table and write the
// detection report of page. Windows only.
#pragma once
#include "wizard/discovery/report.h"

// 1 when the walk ran to its end or was stopped, 0 when it could not run.
int DetectByAdapters(ReportPage page);
// 1 when the interface list was read, 0 otherwise.
int DetectByInterfaces(ReportPage page);
