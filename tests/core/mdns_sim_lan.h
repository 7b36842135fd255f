#pragma once
// A simulated link for discovery engines: every multicast datagram reaches
// every engine (its sender too, as a real socket loops it back) after a
// fixed delay, unicast reaches the engine with that address. Time is
// simulated; each copy draws its own random delays from its own seed.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "discovery/discovery_engine.h"

namespace vello::mdns::testing {

class SimLan {
 public:
  // Every copy's subnet: the link is 198.18.0.0/24.
  static constexpr int kPrefix = 24;
  struct Copy {
    std::string name;
    std::uint32_t address = 0;
    std::unique_ptr<DiscoveryEngine> engine;
    bool up = false;
    bool connected = true;  // false: running, but nothing it sends leaves and nothing reaches it
    std::vector<Datagram> sent;
    std::vector<Millis> sentAt;
  };

  explicit SimLan(Millis latency = 1) : latency_(latency) {}

  // A copy that starts at `at` (now if earlier).
  Copy& Add(const std::string& name, std::uint32_t address, std::uint16_t port, Millis at, std::uint64_t seed) {
    auto c = std::make_unique<Copy>();
    c->name = name;
    c->address = address;
    c->engine = std::make_unique<DiscoveryEngine>(SeededRandom(seed));
    Copy& ref = *c;
    copies_.push_back(std::move(c));
    At(at, [this, &ref, port] {
      ref.engine->Start({ref.name, port, {{ref.address, kPrefix}}, "1.5"}, now_);
      ref.up = true;
    });
    return ref;
  }

  // Orderly exit: the goodbye goes out. Crash: silence.
  void Stop(Copy& c, Millis at) {
    At(at, [this, &c] {
      Transmit(c, c.engine->Stop(now_));
      c.up = false;
    });
  }
  void Crash(Copy& c, Millis at) {
    At(at, [this, &c] {
      c.up = false;
      c.engine = std::make_unique<DiscoveryEngine>(SeededRandom(1));
    });
  }
  void At(Millis at, std::function<void()> action) { actions_.emplace(std::max(at, now_), std::move(action)); }

  // Bytes from any address and port (a host that is no copy, or one that
  // forges), reaching every copy that is up at `at`, as multicast does.
  void Inject(Millis at, std::uint32_t from, std::string bytes, std::uint16_t port = kPort) {
    At(at, [this, from, port, bytes = std::move(bytes)] {
      for (auto& c : copies_)
        if (c->up && c->connected) c->engine->Receive(bytes, {from, port}, now_);
    });
  }
  // The same, sent to one copy's address alone.
  void InjectTo(Millis at, std::uint32_t to, std::uint32_t from, std::string bytes) {
    At(at, [this, to, from, bytes = std::move(bytes)] {
      for (auto& c : copies_)
        if (c->up && c->connected && c->address == to) c->engine->Receive(bytes, {from, kPort}, now_);
    });
  }
  // Sees every multicast datagram a copy sends, when it is sent.
  std::function<void(const Copy& from, const Datagram& d, Millis now)> onMulticast;

  // Runs every event up to and including `until`.
  void RunUntil(Millis until) {
    for (;;) {
      Millis next = until + 1;
      if (!actions_.empty()) next = std::min(next, actions_.begin()->first);
      if (!inFlight_.empty()) next = std::min(next, inFlight_.begin()->first);
      for (auto& c : copies_)
        if (c->up)
          if (auto wake = c->engine->NextWake()) next = std::min(next, std::max(*wake, now_));
      if (next > until) {
        now_ = until;
        return;
      }
      now_ = next;
      while (!actions_.empty() && actions_.begin()->first <= now_) {
        auto action = std::move(actions_.begin()->second);
        actions_.erase(actions_.begin());
        action();
      }
      while (!inFlight_.empty() && inFlight_.begin()->first <= now_) {
        Flight f = std::move(inFlight_.begin()->second);
        inFlight_.erase(inFlight_.begin());
        for (auto& c : copies_)
          if (c->up && c->connected && (f.datagram.multicast || c->address == f.datagram.to.address))
            c->engine->Receive(f.datagram.bytes, {f.from, kPort}, now_);
      }
      for (auto& c : copies_)
        if (c->up)
          if (auto wake = c->engine->NextWake(); wake && *wake <= now_) Transmit(*c, c->engine->Poll(now_));
    }
  }

  // Names each copy lists now.
  std::vector<std::string> Listed(const Copy& c) const {
    std::vector<std::string> names;
    for (const FoundInstance& f : c.engine->Found(now_)) names.push_back(f.name);
    return names;
  }
  Millis now() const { return now_; }
  std::vector<std::unique_ptr<Copy>>& copies() { return copies_; }
  // Datagrams sent by a copy within [from, to).
  static std::size_t SentBetween(const Copy& c, Millis from, Millis to) {
    std::size_t n = 0;
    for (Millis t : c.sentAt) n += (t >= from && t < to);
    return n;
  }

 private:
  struct Flight {
    Datagram datagram;
    std::uint32_t from;
  };
  void Transmit(Copy& c, std::vector<Datagram> out) {
    for (Datagram& d : out) {
      c.sent.push_back(d);
      c.sentAt.push_back(now_);
      if (d.multicast && onMulticast) onMulticast(c, d, now_);
      if (!c.connected) continue;
      inFlight_.emplace(now_ + latency_, Flight{std::move(d), c.address});
    }
  }

  Millis latency_;
  Millis now_ = 0;
  std::vector<std::unique_ptr<Copy>> copies_;
  std::multimap<Millis, std::function<void()>> actions_;
  std::multimap<Millis, Flight> inFlight_;
};

}  // namespace vello::mdns::testing
