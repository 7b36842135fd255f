// The depth-first walk over the network's containers, against a scripted
// network.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "settings/network_computers.h"

using namespace vello;
using Names = std::vector<std::string>;

namespace {

constexpr uint32_t kConnectable = 1;

NetResourceRecord Computer(const std::string& name, uint32_t usage = kNetUsageContainer) {
  return {usage, "\\\\" + name, 0};
}
NetResourceRecord Group(const std::string& name, std::size_t id) { return {kNetUsageContainer, name, id}; }

// Containers by id (0 is the top level), each a list of batches.
class ScriptedNetwork : public NetworkSource {
 public:
  std::map<std::size_t, std::vector<std::vector<NetResourceRecord>>> containers;
  std::set<std::size_t> refused;
  std::vector<std::size_t> opened;  // container ids, in order
  int openNow = 0, deepest = 0;

  bool Open(const NetResourceRecord* container, std::size_t& handle) override {
    std::size_t id = container ? container->containerId : 0;
    opened.push_back(id);
    if (refused.count(id) || !containers.count(id)) return false;
    handle = nextHandle_++;
    cursors_[handle] = {id, 0};
    deepest = std::max(deepest, ++openNow);
    return true;
  }
  bool Next(std::size_t handle, std::vector<NetResourceRecord>& batch) override {
    auto& [id, index] = cursors_.at(handle);
    const auto& batches = containers.at(id);
    if (index >= batches.size()) return false;
    batch = batches[index++];
    return true;
  }
  void Close(std::size_t handle) override {
    EXPECT_EQ(cursors_.erase(handle), 1u) << "closed twice or never opened";
    --openNow;
  }
  bool AllClosed() const { return cursors_.empty() && openNow == 0; }

 private:
  std::size_t nextHandle_ = 100;
  std::map<std::size_t, std::pair<std::size_t, std::size_t>> cursors_;
};

TEST(EnumerateNetworkComputers, WorkgroupByWorkgroupDepthFirst) {
  ScriptedNetwork net;
  net.containers[0] = {{Group("Microsoft Windows Network", 1)}, {Group("Other Provider", 5)}};
  net.containers[1] = {{Group("WORKGROUP", 2), Computer("LONE"), Group("SALES", 3)}, {Group("DEV", 4)}};
  net.containers[2] = {{Computer("PC01"), Computer("PC02")}};
  net.containers[3] = {{Computer("PC03")}, {Computer("PC01")}};
  net.containers[4] = {{Computer("ソフト")}};
  net.containers[5] = {{Computer("NAS")}};

  // A workgroup's computers come before the records after it; a computer in
  // two workgroups shows twice.
  EXPECT_EQ(EnumerateNetworkComputers(net), (Names{"PC01", "PC02", "LONE", "PC03", "PC01", "ソフト", "NAS"}));
  EXPECT_EQ(net.opened, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_TRUE(net.AllClosed());
}

TEST(EnumerateNetworkComputers, ALevelThatCannotBeListedAddsNothing) {
  ScriptedNetwork net;
  net.containers[0] = {{Group("WG1", 1), Group("WG2", 2), Group("GONE", 9)}};
  net.containers[1] = {{Computer("PC01")}};
  net.containers[2] = {{Computer("PC02")}};
  net.refused = {1};
  EXPECT_EQ(EnumerateNetworkComputers(net), Names{"PC02"});
  EXPECT_TRUE(net.AllClosed());

  net.refused = {0};
  net.opened.clear();
  EXPECT_TRUE(EnumerateNetworkComputers(net).empty());
  EXPECT_EQ(net.opened, std::vector<std::size_t>{0});
  EXPECT_TRUE(net.AllClosed());
}

TEST(EnumerateNetworkComputers, OnlyContainerRecordsCountAndComputersAreNotEntered) {
  ScriptedNetwork net;
  net.containers[0] = {{
      Computer("SHARE\\docs", kConnectable),         // a share: skipped
      Computer("PC09", 0),                           // no container bit: skipped
      {kConnectable, "WG", 2},                       // a group without the bit: not entered
      Computer("PC05", kNetUsageContainer | kConnectable),
      {kNetUsageContainer, "\\\\PC06", 3},          // a computer is never opened
  }};
  net.containers[2] = {{Computer("HIDDEN")}};
  net.containers[3] = {{Computer("INSIDE")}};
  EXPECT_EQ(EnumerateNetworkComputers(net), (Names{"PC05", "PC06"}));
  EXPECT_EQ(net.opened, std::vector<std::size_t>{0});
}

TEST(EnumerateNetworkComputers, BackslashesAreFoundOnCharacterBoundaries) {
  ScriptedNetwork net;
  // "ソ" is 83 5C: a byte scan would see "\\" in "ソ\X" and take "X" for a
  // computer; it is a workgroup name.
  net.containers[0] = {{Group("ソ\\X", 1), {kNetUsageContainer, "ソ\\\\PC", 0}}};
  net.containers[1] = {{Computer("PC01\\share")}};
  EXPECT_EQ(EnumerateNetworkComputers(net), (Names{"PC01\\share", "PC"}));

  // The same with lead bytes E0-FC: 饅 E9 5C and 纊 FA 5C end in a backslash.
  ScriptedNetwork wide;
  wide.containers[0] = {{Group("饅頭", 1), Group("\xFA\x5C\\X", 2), {kNetUsageContainer, "纊\\\\PC纊", 0}}};
  wide.containers[1] = {{Computer("饅頭PC")}};
  wide.containers[2] = {{Computer("纊")}};
  EXPECT_EQ(EnumerateNetworkComputers(wide), (Names{"饅頭PC", "纊", "PC纊"}));
}

TEST(EnumerateNetworkComputers, AContainerListedInsideItselfIsNotEnteredAgain) {
  ScriptedNetwork net;
  net.containers[0] = {{Group("WG", 1), Group("A", 2)}};
  net.containers[1] = {{Group("WG", 1), Group("WG", 1), Computer("PC01")}};
  // A cycle through another container: A -> B -> A.
  net.containers[2] = {{Group("B", 3)}};
  net.containers[3] = {{Group("A", 2), Computer("PC02")}};
  EXPECT_EQ(EnumerateNetworkComputers(net), (Names{"PC01", "PC02"}));
  EXPECT_EQ(net.opened, (std::vector<std::size_t>{0, 1, 2, 3}));
  EXPECT_TRUE(net.AllClosed());
}

TEST(EnumerateNetworkComputers, UnnamedSelfReferenceStopsAtTheDepthBound) {
  ScriptedNetwork net;
  net.containers[0] = {{Group("", 1)}};
  net.containers[1] = {{Computer("PC01"), Group("", 1)}};
  Names names = EnumerateNetworkComputers(net);
  EXPECT_EQ(net.deepest, kMaxNetworkDepth);
  EXPECT_EQ(names, Names(kMaxNetworkDepth - 1, "PC01"));
  EXPECT_TRUE(net.AllClosed());
}

// A network that invents a new child container at every level.
class BottomlessNetwork : public NetworkSource {
 public:
  int opens = 0;
  bool Open(const NetResourceRecord* container, std::size_t& handle) override {
    ++opens;
    handle = container ? container->containerId + 1 : 1;
    served_[handle] = false;
    return true;
  }
  bool Next(std::size_t handle, std::vector<NetResourceRecord>& batch) override {
    if (served_[handle]) return false;
    served_[handle] = true;
    batch = {Computer("PC" + std::to_string(handle)), Group("LEVEL" + std::to_string(handle), handle)};
    return true;
  }
  void Close(std::size_t) override {}

 private:
  std::map<std::size_t, bool> served_;
};

TEST(EnumerateNetworkComputers, EndlessNestingIsCutAtTheDepthBound) {
  BottomlessNetwork net;
  Names names = EnumerateNetworkComputers(net);
  EXPECT_EQ(net.opens, kMaxNetworkDepth);
  ASSERT_EQ(names.size(), static_cast<std::size_t>(kMaxNetworkDepth));
  EXPECT_EQ(names.front(), "PC1");
  EXPECT_EQ(names.back(), "PC" + std::to_string(kMaxNetworkDepth));
}

// A source that keeps answering with empty batches.
class StutteringNetwork : public NetworkSource {
 public:
  int calls = 0;
  bool Open(const NetResourceRecord*, std::size_t& handle) override { handle = 1; return true; }
  bool Next(std::size_t, std::vector<NetResourceRecord>& batch) override {
    batch.clear();
    return ++calls < 1000000;
  }
  void Close(std::size_t) override {}
};

TEST(EnumerateNetworkComputers, AnEmptyBatchEndsTheLevel) {
  StutteringNetwork net;
  EXPECT_TRUE(EnumerateNetworkComputers(net).empty());
  EXPECT_EQ(net.calls, 1);
}

}  // namespace
