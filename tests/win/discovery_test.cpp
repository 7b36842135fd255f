// Finding copies on the network, in-process under Wine over the loopback
// interface: two owners find each other, follow a port change, a goodbye
// and the setting; the name check; sharing port 5353 with another program;
// and both directions against python3-zeroconf on the Linux side.
#include <winsock2.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "discovery/discovery.h"
#include "discovery/mdns_types.h"
#include "platform/socket_error.h"
#include "message_pump.h"

namespace vello::testing {
namespace {

DiscoveryOptions Loopback() {
  DiscoveryOptions o;
  in_addr lo{};
  lo.s_addr = htonl(INADDR_LOOPBACK);
  o.interfaces = {{lo, 8}};
  return o;
}

// Names of our own for this run: other test runs on the machine may be
// announcing on the loopback interface at the same time.
std::string Unique(const std::string& base) { return base + "-" + std::to_string(GetCurrentProcessId()); }

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) { return PumpMessagesUntil(done, timeoutMs); }
void Pump(int ms) {
  PumpUntil([] { return false; }, ms);
}

const FoundCopy* Find(const TDiscovery& d, const std::string& name) {
  for (const FoundCopy& c : d.Copies())
    if (c.computerName == name) return &c;
  return nullptr;
}

class Owner {
 public:
  explicit Owner(DiscoveryOptions options = Loopback())
      : discovery_([this] { ++changes_; }, std::move(options)) {}
  TDiscovery* operator->() { return &discovery_; }
  TDiscovery& operator*() { return discovery_; }
  int changes() const { return changes_; }

 private:
  TDiscovery discovery_;
  int changes_ = 0;
};

TEST(Discovery, TwoOwnersFindEachOtherFollowAPortChangeAGoodbyeAndTheSetting) {
  const std::string alpha = Unique("alpha"), beta = Unique("beta");
  const int portA = FreePort(), portB = FreePort(), portC = FreePort();
  Owner a, b;
  a->Start(alpha, portA);
  b->Start(beta, portB);
  ASSERT_TRUE(a->running()) << a->lastError();
  ASSERT_TRUE(b->running()) << b->lastError();
  ASSERT_TRUE(PumpUntil([&] { return Find(*a, beta) && Find(*b, alpha); }, 5000));
  EXPECT_EQ(Find(*a, beta)->port, portB);
  EXPECT_EQ(Find(*a, beta)->address, "127.0.0.1");
  EXPECT_EQ(Find(*b, alpha)->port, portA);
  EXPECT_EQ(Find(*a, alpha), nullptr) << "lists itself";
  EXPECT_GT(a.changes(), 0);

  b->ChangePort(portC);
  EXPECT_TRUE(PumpUntil([&] { return Find(*a, beta) && Find(*a, beta)->port == portC; }, 3000));

  b->Stop();
  EXPECT_FALSE(b->running());
  EXPECT_TRUE(b->Copies().empty());
  EXPECT_TRUE(PumpUntil([&] { return !Find(*a, beta); }, 3000)) << "the goodbye was not heard";

  // Switched off: a says goodbye and lists nothing; b, started again, does
  // not find it. Switched on again, they find each other.
  a->SetEnabled(false);
  EXPECT_FALSE(a->running());
  b->Start(beta, portB);
  Pump(2500);
  EXPECT_EQ(Find(*b, alpha), nullptr);
  EXPECT_TRUE(a->Copies().empty());
  a->SetEnabled(true);
  EXPECT_TRUE(PumpUntil([&] { return Find(*a, beta) && Find(*b, alpha); }, 5000));
}

TEST(Discovery, ACopyIsListedByNameOnlyWhereTheNameLeadsToIt) {
  const std::string unknown = Unique("no-such-host");
  Owner watcher, named, nameless;
  named->Start("localhost", FreePort());  // looked up here: 127.0.0.1, where it is
  nameless->Start(unknown, FreePort());
  watcher->Start(Unique("watcher"), FreePort());
  ASSERT_TRUE(PumpUntil(
      [&] {
        return Find(*watcher, unknown) && Find(*watcher, "localhost") && Find(*watcher, "localhost")->reachableByName;
      },
      8000));
  EXPECT_EQ(Find(*watcher, "localhost")->Destination(), "localhost");
  ASSERT_NE(Find(*watcher, unknown), nullptr);
  EXPECT_FALSE(Find(*watcher, unknown)->reachableByName);
  EXPECT_EQ(Find(*watcher, unknown)->Destination(), "127.0.0.1");
}

// A plain UDP socket on 5353 (or, with port 0, on a port of its own),
// joined on loopback, as a system's own responder holds it.
struct OtherListener {
  explicit OtherListener(bool shared, std::uint16_t wanted = mdns::kPort) {
    EnsureWinsock();
    s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    BOOL on = TRUE;
    setsockopt(s, SOL_SOCKET, shared ? SO_REUSEADDR : SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
               sizeof on);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(wanted);
    bound = bind(s, reinterpret_cast<sockaddr*>(&any), sizeof any) == 0;
    int length = sizeof any;
    getsockname(s, reinterpret_cast<sockaddr*>(&any), &length);
    port = ntohs(any.sin_port);
    ip_mreq m{};
    m.imr_multiaddr.s_addr = htonl(mdns::kGroup);
    m.imr_interface.s_addr = htonl(INADDR_LOOPBACK);
    setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&m), sizeof m);
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
  }
  ~OtherListener() { closesocket(s); }
  // Datagrams that arrived, while pumping our messages.
  std::vector<std::string> Received(int ms) {
    std::vector<std::string> got;
    PumpUntil(
        [&] {
          char buffer[9000];
          int n;
          while ((n = recv(s, buffer, sizeof buffer, 0)) > 0) got.emplace_back(buffer, static_cast<std::size_t>(n));
          return false;
        },
        ms);
    return got;
  }
  SOCKET s;
  bool bound = false;
  std::uint16_t port = 0;
};

TEST(Discovery, SharesPort5353WithAnotherProgram) {
  OtherListener system(true);
  ASSERT_TRUE(system.bound);
  Owner a;
  const std::string name = Unique("sharing");
  a->Start(name, FreePort());
  ASSERT_TRUE(a->running()) << a->lastError();
  // The other program hears our probes and announcements too.
  std::vector<std::string> heard = system.Received(2000);
  EXPECT_TRUE(std::any_of(heard.begin(), heard.end(),
                          [&](const std::string& d) { return d.find(name) != std::string::npos; }));
}

TEST(Discovery, WithoutThePortItStaysQuietAndSaysWhy) {
  // A port of the test's own, held exclusively: another program on the
  // machine may hold 5353 itself.
  OtherListener exclusive(false, 0);
  ASSERT_TRUE(exclusive.bound) << "could not hold a port for the test";
  DiscoveryOptions options = Loopback();
  options.port = exclusive.port;
  Owner a(options);
  EXPECT_NO_THROW(a->Start(Unique("refused"), FreePort()));
  EXPECT_FALSE(a->running());
  EXPECT_NE(a->lastError().find("bind"), std::string::npos) << a->lastError();
  EXPECT_TRUE(a->Copies().empty());
}

// The Linux side: a python3-zeroconf peer started through Wine's way of
// running a Unix program.
class ZeroconfPeer {
 public:
  ZeroconfPeer(const std::string& name, int port) {
    const std::string base = "/tmp/vello-zeroconf-" + std::to_string(GetCurrentProcessId());
    log_ = base + ".log";
    stop_ = base + ".stop";
    DeleteFileA(("Z:" + stop_).c_str());
    DeleteFileA(("Z:" + log_).c_str());
    std::string command = "start.exe /unix /usr/bin/python3 " VELLO_WIN_TESTS_DIR "/zeroconf_peer.py " + log_ +
                          " " + stop_ + " 127.0.0.1 " + name + " " + std::to_string(port) + " 127.0.0.1";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                              &si, &pi);
    if (started_) {
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
    }
  }
  ~ZeroconfPeer() {
    Stop();
    if (started_) PumpUntil([&] { return Logged("stopped\n") || Logged("error"); }, 10000);
    DeleteFileA(("Z:" + stop_).c_str());
    DeleteFileA(("Z:" + log_).c_str());
  }
  bool started() const { return started_; }
  void Stop() { std::ofstream("Z:" + stop_) << "stop\n"; }
  std::string Log() const {
    std::ifstream in("Z:" + log_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool Logged(const std::string& line) const { return Log().find(line) != std::string::npos; }

 private:
  std::string log_, stop_;
  bool started_ = false;
};

TEST(Discovery, Python3ZeroconfAndWeSeeEachOther) {
  const std::string ours = Unique("vello"), theirs = Unique("zc-peer");
  const int ourPort = FreePort(), theirPort = FreePort();
  ZeroconfPeer peer(theirs, theirPort);
  ASSERT_TRUE(peer.started());
  ASSERT_TRUE(PumpUntil([&] { return peer.Logged("ready\n") || peer.Logged("error"); }, 20000)) << peer.Log();
  ASSERT_FALSE(peer.Logged("error")) << peer.Log();

  Owner a;
  a->Start(ours, ourPort);
  // Theirs in our list, with its port and address.
  ASSERT_TRUE(PumpUntil([&] { return Find(*a, theirs) != nullptr; }, 8000));
  EXPECT_EQ(Find(*a, theirs)->port, theirPort);
  EXPECT_EQ(Find(*a, theirs)->address, "127.0.0.1");
  // Ours in theirs: the name, port and address zeroconf resolved.
  const std::string added = "add " + ours + "._vello._tcp.local. " + std::to_string(ourPort) + " 127.0.0.1\n";
  EXPECT_TRUE(PumpUntil([&] { return peer.Logged(added); }, 8000)) << peer.Log();

  // Our goodbye reaches zeroconf; zeroconf's reaches us.
  Owner b;
  b->Start(Unique("vello-b"), FreePort());
  ASSERT_TRUE(PumpUntil([&] { return Find(*b, theirs) != nullptr; }, 8000));
  a->Stop();
  EXPECT_TRUE(PumpUntil([&] { return peer.Logged("remove " + ours + "._vello._tcp.local.\n"); }, 5000))
      << peer.Log();
  peer.Stop();
  EXPECT_TRUE(PumpUntil([&] { return peer.Logged("stopped\n"); }, 10000)) << peer.Log();
  EXPECT_TRUE(PumpUntil([&] { return Find(*b, theirs) == nullptr; }, 3000));
}

}  // namespace
}  // namespace vello::testing
