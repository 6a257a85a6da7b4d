#include <gtest/gtest.h>

#include "harness.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // GoogleTest takes ownership of the environment.
  ::testing::AddGlobalTestEnvironment(new encoder_test::MediaEnvironment);
  return RUN_ALL_TESTS();
}
