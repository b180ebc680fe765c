// The two string-table texts the link message takes, as the wizard's string
// table holds them, for code that runs without the Windows resources.
#pragma once
#include <cstddef>
#include <cstdio>

#include "wizard/resources/resource.h"

inline int LoadTestText(int id, char* text, std::size_t size) {
  const char* found = id == IDS_LINK_PREFIX    ? "\r\nhttp://"
                      : id == IDS_ADDRESS_NOTE ? "(=> http://"
                                               : nullptr;
  std::snprintf(text, size, "%s", found != nullptr ? found : "");
  return found != nullptr ? 0 : -1;
}
