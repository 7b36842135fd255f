// The copies found, appended to the network browse list: each host once.
#include <gtest/gtest.h>

#include "discovery/found_destinations.h"

using namespace vello;
using Names = std::vector<std::string>;

TEST(WithFoundCopies, AfterTheBrowseListEachHostOnce) {
  struct Case {
    const char* what;
    Names network;
    std::vector<FoundDestination> found;
    Names expected;
  } cases[] = {
      {"nothing browsed", {}, {{"PC-A", "192.0.2.1"}, {"192.0.2.2", "192.0.2.2"}}, {"PC-A", "192.0.2.2"}},
      {"a name the browse list has, in another case", {"PC-A", "PC-B"}, {{"pc-a", "192.0.2.1"}, {"PC-C", "192.0.2.3"}},
       {"PC-A", "PC-B", "PC-C"}},
      {"two copies at one address: the first", {}, {{"PC-D", "192.0.2.4"}, {"PC-D (2)", "192.0.2.4"}}, {"PC-D"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(WithFoundCopies(c.network, c.found), c.expected);
  }
}
