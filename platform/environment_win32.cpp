#include "platform/environment.h"

#include <cstdlib>

void SetProcessEnvironment(const char* name, const char* value) {
  _putenv_s(name, value);
}
