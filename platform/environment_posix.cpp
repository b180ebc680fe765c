#include "platform/environment.h"

#include <cstdlib>

void SetProcessEnvironment(const char* name, const char* value) {
  setenv(name, value, 1);
}
