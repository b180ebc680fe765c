// The process environment.
#pragma once

// Sets (or with an empty value, on Windows, removes) an environment variable
// of this process.
void SetProcessEnvironment(const char* name, const char* value);
