// The message as it goes out after DATA: header lines in a fixed order, the
// empty line and the body.
#pragma once
#include <cstddef>

// Texts already converted to ISO-2022-JP; null or empty ones are left out.
struct MessageTexts {
  const char* from;
  const char* to;
  const char* cc;
  const char* subject;
  const char* body;
};

// Receives one piece of the message (a whole header line with its CR LF, or
// the body); 0 to go on, -1 to stop.
using MessagePieceSink = int (*)(void* context, const char* text);

// Hands the pieces to the sink in order. -1 when the sink stops it or memory
// runs out (for the Date line, an over-long header line or the stuffed body).
int ComposeMessage(const MessageTexts& texts, MessagePieceSink sink, void* context);
