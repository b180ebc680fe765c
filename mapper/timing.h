// The mapper's pacing. The programs always run with these values; tests may
// shorten them so that a watchdog kill takes seconds, not ten minutes.
#pragma once

struct MapperTiming {
  int waitMs = 1000;            // listener wait, session waits, watchdog pass
  int shutdownStepMs = 100;     // one step of the shutdown waits
  int errorPauseMs = 5000;      // keeps a command-line error readable on the console
  int passwordDelayMs = 100;    // between the password prompt and typing the password
  int lineGapMs = 10;           // after each line forwarded to the front end
  int loginLimitMs = 60000;     // a server that never lets the login finish gets "ng"
};

// A session whose counter already exceeds this many passes is dead: with one
// pass a second, a session lives about 602 s after its last reset.
constexpr int kIdleLimitPasses = 600;

const MapperTiming& Timing();
void SetTimingForTests(const MapperTiming& timing);
