// Prints the application folder as the program finds it from where this copy lies.
#include <cstdio>

#include "platform/files.h"

int main() {
  std::printf("%s", carvex::platform::AppPath().c_str());
  return 0;
}
