#include "mapper/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CommandLine Parse(std::vector<std::string> arguments) {
  std::vector<const char*> argv{"vntrmap"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

const std::string kBadPort =
    "error: invalid port number [choose a number between 5000 and 65535] \n";
const std::string kUsage = "error: vntrmap [ [port] |  -stop ]\n";

TEST(CommandLine, NoArgumentServesTheDefaultPortWithoutLineEnd) {
  CommandLine line = Parse({});
  EXPECT_EQ(line.command, MapperCommand::kServe);
  EXPECT_EQ(line.port, 23000);
  EXPECT_EQ(line.consoleText, "vntrmap port: 23000");
}

TEST(CommandLine, PortsAtTheEdgesOfTheRangeAreAccepted) {
  for (const char* port : {"5000", "65535", " 6001", "+7000"}) {
    CommandLine line = Parse({port});
    EXPECT_EQ(line.command, MapperCommand::kServe) << port;
    EXPECT_EQ(line.consoleText, std::string("vntrmap port:") + port);
  }
  EXPECT_EQ(Parse({"65535"}).port, 65535);
}

TEST(CommandLine, TrailingLettersAreEchoedAsTypedAndIgnoredForThePort) {
  CommandLine line = Parse({"6000x"});
  EXPECT_EQ(line.command, MapperCommand::kServe);
  EXPECT_EQ(line.port, 6000);
  EXPECT_EQ(line.consoleText, "vntrmap port:6000x");
}

TEST(CommandLine, PortsOutsideTheRangeAndNonNumbersAreRejected) {
  for (const char* argument :
       {"4999", "65536", "-1", "abc", "", "-STOP", "--stop", "99999999999999999999", "0"}) {
    CommandLine line = Parse({argument});
    EXPECT_EQ(line.command, MapperCommand::kBadPort) << argument;
    EXPECT_EQ(line.consoleText, kBadPort) << argument;
  }
}

TEST(CommandLine, OnlyTheExactStopWordStops) {
  CommandLine line = Parse({"-stop"});
  EXPECT_EQ(line.command, MapperCommand::kStop);
  EXPECT_EQ(line.consoleText, "");
}

TEST(CommandLine, TwoOrMoreArgumentsGiveTheUsageError) {
  for (auto arguments : std::vector<std::vector<std::string>>{
           {"-stop", "6000"}, {"6000", "6001"}, {"a", "b", "c"}}) {
    CommandLine line = Parse(arguments);
    EXPECT_EQ(line.command, MapperCommand::kUsage);
    EXPECT_EQ(line.consoleText, kUsage);
  }
}

TEST(CommandLine, AnOverlongEchoIsCutToTheConsoleBuffer) {
  std::string argument = "6000" + std::string(400, '7');
  argument[4] = 'x';
  CommandLine line = Parse({argument});
  EXPECT_EQ(line.command, MapperCommand::kServe);
  EXPECT_EQ(line.port, 6000);
  EXPECT_EQ(line.consoleText.size(), 255u);
  EXPECT_EQ(line.consoleText, ("vntrmap port:" + argument).substr(0, 255));
}

}  // namespace
