// What the mapper was asked to do by its command line.
#pragma once
#include <string>

enum class MapperCommand { kServe, kStop, kBadPort, kUsage };

struct CommandLine {
  MapperCommand command = MapperCommand::kServe;
  int port = 0;
  std::string consoleText;  // shown before serving or on an error
};

constexpr int kLowestPort = 5000;
constexpr int kHighestPort = 65535;

// argv[0] is the program; the arguments follow.
CommandLine ParseCommandLine(int argc, const char* const* argv);
