// Win32 tests run in-process under Wine: one process for the whole suite.
// Started with "--file-writer", the same program is a second writer for the
// tests of files shared by two copies of the program.
#include <gtest/gtest.h>

#include <cstring>

#include "app/vello_app.h"
#include "platform/network_interfaces.h"
#include "file_writer_helper.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], vello::testing::kFileWriterSwitch) == 0)
    return vello::testing::RunFileWriter(std::vector<std::string>(argv + 2, argv + argc));
  vello::InitialisePlatform();
  // Every copy a test starts announces itself on the loopback only.
  in_addr loopback{};
  loopback.s_addr = htonl(INADDR_LOOPBACK);
  vello::SetMulticastInterfacesForTests(std::vector<vello::Ipv4Interface>{{loopback, 8}});
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
