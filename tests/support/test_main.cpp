#include <gtest/gtest.h>

#include "platform/process.h"

int main(int argc, char** argv) {
  carvex::platform::ExitOnCrash();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
