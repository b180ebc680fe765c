// The text the wizard hands out: the user's message, then one access link
// per host name under which this PC can be reached.
#pragma once
#include <cstddef>

// A string-table text into size bytes (terminated, empty when missing);
// 0 or -1. The wizard passes its own string-table reader.
using TextLoader = int (*)(int id, char* text, std::size_t size);

// The message, then a link for typedHostName when it is not empty, then a
// link per host candidate in table order, each candidate named by a host
// name followed by a line with its address. CR LF line ends, Shift_JIS as
// typed. Allocated with malloc and freed by the caller; null when memory
// runs out.
char* ComposeLinkMessage(const char* message, const char* typedHostName, TextLoader loadText);
