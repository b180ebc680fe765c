// The front end's request words.
#pragma once

enum class Request { kNone, kLogin, kData, kLogout };

// Classifies a request line by its leading bytes, ignoring ASCII case:
// "DLOGIN" (6 bytes), then "DDATA" (5), then "DLOGOUT" (7).
Request ClassifyRequest(const char* line);

// Number of field lines that follow each request.
constexpr int kLoginFieldCount = 5;
