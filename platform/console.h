// The program's own console: title and text output.
#pragma once
#include <cstddef>

// Gives the process a console of its own, titled as given. On Windows the
// inherited console is left and a new one made; elsewhere the console is
// standard output, and the title is set only when that is a terminal.
void ConsoleOpen(const char* title);

// Writes the bytes as they are, with no line end added.
void ConsoleWrite(const char* text, std::size_t length);
