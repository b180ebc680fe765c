// What the mail core asks of every text it is handed.
#pragma once

// An absent text and an empty one both leave their line or command out.
inline bool IsEmptyText(const char* text) {
  return text == nullptr || *text == '\0';
}
