// The mapper program: command line, log switch, the shared segment's running
// mark, and the server. Returns the process's exit code.
#pragma once

int MapperMain(int argc, const char* const* argv);
