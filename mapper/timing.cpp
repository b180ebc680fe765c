#include "mapper/timing.h"

namespace {
MapperTiming timing;
}

const MapperTiming& Timing() {
  return timing;
}

void SetTimingForTests(const MapperTiming& shortened) {
  timing = shortened;
}
