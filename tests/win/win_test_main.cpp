// Win32 tests run in-process under Wine: one process for the whole suite.
#include <gtest/gtest.h>

#include "app/vello_app.h"

int main(int argc, char** argv) {
  vello::InitialisePlatform();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
