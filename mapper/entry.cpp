#include "mapper/entry.h"

#include "mapper/command_line.h"
#include "mapper/log.h"
#include "mapper/server.h"
#include "mapper/shared_segment.h"
#include "mapper/timing.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/threads.h"

namespace {

constexpr const char* kConsoleTitle = "Vantor Mapper for TELNET";
constexpr int kFailureExitCode = -1;

int Stop() {
  return SendStopRequest() ? 0 : kFailureExitCode;
}

int Serve(int port) {
  if (DebugLogRequested()) OpenLog();
  if (!AttachSharedSegment()) {
    WriteLog("failed to get shared memory.\n");
    return kFailureExitCode;
  }
  AnnounceRunning();
  WriteLog("mapper started....\n");
  ClockUseEnvironmentTimeZone();
  listenPort = port;
  int result = RunServer();
  WithdrawRunning();
  DetachSharedSegment();
  WriteLog("mapper ended....\n");
  CloseLog();
  return result;
}

}  // namespace

int MapperMain(int argc, const char* const* argv) {
  ConsoleOpen(kConsoleTitle);
  CommandLine line = ParseCommandLine(argc, argv);
  ConsoleWrite(line.consoleText.data(), line.consoleText.size());
  switch (line.command) {
    case MapperCommand::kStop:
      return Stop();
    case MapperCommand::kServe:
      return Serve(line.port);
    case MapperCommand::kBadPort:
    case MapperCommand::kUsage:
      break;
  }
  SleepMilliseconds(Timing().errorPauseMs);
  return kFailureExitCode;
}
