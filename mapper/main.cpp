#include <cstdlib>

#include "mapper/entry.h"

int main(int argc, char** argv) {
  std::exit(MapperMain(argc, argv));
}
