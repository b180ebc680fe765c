#include "mapper/command_line.h"

#include <cstdlib>
#include <cstring>

#include "mapper/server.h"

namespace {

constexpr const char* kUsageText = "error: vntrmap [ [port] |  -stop ]\n";
constexpr const char* kBadPortText =
    "error: invalid port number [choose a number between 5000 and 65535] \n";
constexpr const char* kPortPrefix = "vntrmap port:";
// The console text buffer: an echoed argument is cut to fit.
constexpr std::size_t kConsoleTextSize = 256;

// Leading blanks, a sign, then digits up to the first other character; no
// digits gives 0. Values beyond the int range stay out of the port range.
long ParsePortNumber(const char* text) {
  return std::strtol(text, nullptr, 10);
}

CommandLine ServeOn(int port, const std::string& shownPort) {
  CommandLine line;
  line.command = MapperCommand::kServe;
  line.port = port;
  line.consoleText = (kPortPrefix + shownPort).substr(0, kConsoleTextSize - 1);
  return line;
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  if (argc <= 1) return ServeOn(kDefaultListenPort, " " + std::to_string(kDefaultListenPort));
  if (argc > 2) return CommandLine{MapperCommand::kUsage, 0, kUsageText};
  const char* argument = argv[1];
  if (std::strcmp(argument, "-stop") == 0) return CommandLine{MapperCommand::kStop, 0, ""};
  long port = ParsePortNumber(argument);
  if (port < kLowestPort || port > kHighestPort) {
    return CommandLine{MapperCommand::kBadPort, 0, kBadPortText};
  }
  return ServeOn(static_cast<int>(port), argument);
}
