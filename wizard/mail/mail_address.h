// Finding the address in a sender or recipient text.
#pragma once

// Works in place on text (a writable copy the caller owns): "Name <a@b>",
// "a@b (Name)" or a bare "a@b". Sets *address and *displayName to texts
// inside it, spaces trimmed, or to null when the text is null or empty.
void ParseMailAddress(char* text, char** displayName, char** address);
