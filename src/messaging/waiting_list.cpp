#include "messaging/waiting_list.h"

#include <algorithm>
#include <cstdio>

#include "common/sjis.h"
#include "messaging/waiting_file.h"

namespace vello {

std::string NewWaitingId(int64_t now, uint64_t random) {
  char id[40];
  std::snprintf(id, sizeof id, "%llx-%016llx", static_cast<unsigned long long>(now),
                static_cast<unsigned long long>(random));
  return id;
}

namespace {
WaitingMessage* FindIn(std::vector<WaitingMessage>& messages, const std::string& id) {
  auto it = std::find_if(messages.begin(), messages.end(), [&](const WaitingMessage& m) { return m.id == id; });
  return it == messages.end() ? nullptr : &*it;
}
}  // namespace

void WaitingList::Update(const std::function<bool(std::vector<WaitingMessage>&)>& change) {
  std::vector<WaitingMessage> now;
  UpdateWaitingFile(file_, [&](std::vector<WaitingMessage>& messages) {
    bool write = change(messages);
    now = messages;
    return write;
  });
  messages_ = std::move(now);
}

void WaitingList::Load() {
  trying_.clear();
  // Attempts the end of the program cut short: their outcome is unknown.
  Update([](std::vector<WaitingMessage>& messages) { return SettleInterruptedAttempts(messages); });
}

const WaitingMessage* WaitingList::Find(const std::string& id) const {
  auto it = std::find_if(messages_.begin(), messages_.end(), [&](const WaitingMessage& m) { return m.id == id; });
  return it == messages_.end() ? nullptr : &*it;
}

std::size_t WaitingList::waitingCount() const {
  return static_cast<std::size_t>(std::count_if(messages_.begin(), messages_.end(), [](const WaitingMessage& m) {
    return m.state == WaitState::kWaiting;
  }));
}

void WaitingList::Add(WaitingMessage message, FailureKind kind, int64_t now, const RetryPolicy& policy,
                      double random) {
  Update([&](std::vector<WaitingMessage>& messages) {
    if (FindIn(messages, message.id)) return false;
    // A scheduled entry is kept once, also when two copies sharing the
    // folder both tried it at its minute.
    if (!message.scheduleKey.empty() &&
        std::any_of(messages.begin(), messages.end(),
                    [&](const WaitingMessage& m) { return m.scheduleKey == message.scheduleKey; }))
      return false;
    std::string reason = message.lastReason;
    message.state = WaitState::kWaiting;
    messages.push_back(message);
    RecordFailedAttempt(messages, messages.size() - 1, kind, reason, now, random, policy);
    return true;
  });
}

bool WaitingList::Claim(const std::string& id) {
  bool claimed = false;
  try {
    Update([&](std::vector<WaitingMessage>& messages) {
      WaitingMessage* m = FindIn(messages, id);
      if (!m || m->state != WaitState::kWaiting) return false;
      BeginAttempt(*m);
      claimed = true;
      return true;
    });
  } catch (...) {
    // Not stored as claimed: not sent either.
    trying_.erase(id);
    throw;
  }
  if (!claimed) trying_.erase(id);
  return claimed;
}

void WaitingList::Delivered(const std::string& id) {
  trying_.erase(id);
  Update([&](std::vector<WaitingMessage>& messages) {
    return std::erase_if(messages, [&](const WaitingMessage& m) { return m.id == id; }) != 0;
  });
}

void WaitingList::Failed(const std::string& id, FailureKind kind, const std::string& reason, int64_t now,
                         const RetryPolicy& policy, double random) {
  trying_.erase(id);
  Update([&](std::vector<WaitingMessage>& messages) {
    auto it = std::find_if(messages.begin(), messages.end(), [&](const WaitingMessage& m) { return m.id == id; });
    if (it == messages.end()) return false;
    // An attempt that never connected was not claimed, so not counted yet.
    if (it->state != WaitState::kSending) ++it->attempts;
    RecordFailedAttempt(messages, static_cast<std::size_t>(it - messages.begin()), kind, reason, now, random, policy);
    return true;
  });
}

void WaitingList::Unanswered(const std::string& id, const std::string& reason) {
  trying_.erase(id);
  Update([&](std::vector<WaitingMessage>& messages) {
    WaitingMessage* m = FindIn(messages, id);
    if (!m) return false;
    m->state = WaitState::kUnknown;
    m->lastReason = reason;
    return true;
  });
}

void WaitingList::Release(const std::string& id) {
  trying_.erase(id);
  // What another copy did with it shows from the file.
  Update([](std::vector<WaitingMessage>&) { return false; });
}

void WaitingList::Drop(const std::string& id) {
  Update([&](std::vector<WaitingMessage>& messages) {
    // One being written now is left to its attempt's end.
    return std::erase_if(messages, [&](const WaitingMessage& m) {
             return m.id == id && m.state != WaitState::kSending;
           }) != 0;
  });
}

void WaitingList::DropScheduled(const std::string& scheduleKey) {
  Update([&](std::vector<WaitingMessage>& messages) {
    return std::erase_if(messages, [&](const WaitingMessage& m) {
             return m.scheduleKey == scheduleKey && m.state != WaitState::kSending;
           }) != 0;
  });
}

void WaitingList::SendNow(const std::string& id, int64_t now) {
  Update([&](std::vector<WaitingMessage>& messages) {
    WaitingMessage* m = FindIn(messages, id);
    if (!m || m->state == WaitState::kSending) return false;
    m->state = WaitState::kWaiting;
    m->nextAttemptAt = now;
    return true;
  });
}

void WaitingList::SeenAgain(const std::vector<std::string>& hosts, int64_t now, const RetryPolicy& policy,
                            double random) {
  auto seen = [&](const WaitingMessage& m) {
    if (hosts.empty()) return true;
    return std::any_of(hosts.begin(), hosts.end(), [&](const std::string& h) { return SameTextIgnoreCase(h, m.host); });
  };
  // Looked at in memory first: discovery's list changes often, and most
  // changes concern no kept message.
  std::vector<std::string> receivers;
  for (const WaitingMessage& m : messages_)
    if (m.state == WaitState::kWaiting && seen(m) && m.nextAttemptAt > now &&
        std::none_of(receivers.begin(), receivers.end(), [&](const std::string& r) { return SameTextIgnoreCase(r, m.host); }))
      receivers.push_back(m.host);
  if (receivers.empty()) return;
  Update([&](std::vector<WaitingMessage>& messages) {
    for (const std::string& host : receivers) ReceiverSeenAgain(messages, host, now, random, policy);
    return true;
  });
}

std::vector<WaitingMessage> WaitingList::RemoveExpired(int64_t now) {
  std::vector<WaitingMessage> gone;
  if (std::none_of(messages_.begin(), messages_.end(), [&](const WaitingMessage& m) { return Expired(m, now); }))
    return gone;
  Update([&](std::vector<WaitingMessage>& messages) {
    std::erase_if(messages, [&](const WaitingMessage& m) {
      if (m.state == WaitState::kSending || !Expired(m, now)) return false;
      gone.push_back(m);
      return true;
    });
    return !gone.empty();
  });
  return gone;
}

std::optional<int64_t> WaitingList::NextAttemptAt() const {
  std::optional<int64_t> next;
  for (const WaitingMessage& m : messages_)
    if (m.state == WaitState::kWaiting && !trying(m.id) && (!next || m.nextAttemptAt < *next)) next = m.nextAttemptAt;
  return next;
}

std::vector<std::string> WaitingList::Due(int64_t now, const RetryPolicy& policy) const {
  std::vector<std::string> due;
  std::vector<std::string> hosts;  // those with a message taken, or being tried
  for (const WaitingMessage& m : messages_)
    if (trying(m.id) || m.state == WaitState::kSending) hosts.push_back(m.host);
  for (std::size_t i : DueMessages(messages_, now, policy)) {
    const WaitingMessage& m = messages_[i];
    if (std::any_of(hosts.begin(), hosts.end(), [&](const std::string& h) { return SameTextIgnoreCase(h, m.host); }))
      continue;
    hosts.push_back(m.host);
    due.push_back(m.id);
  }
  return due;
}

}  // namespace vello
