#pragma once
// The scheduler: the one owner of the scheduled messages. It holds the
// entries (each with an identity of its own that no reload or deletion
// changes), loads and saves the schedule file, runs its own timer (Timer1:
// every 10 s while switched on), hands due entries to the sender and marks
// an entry sent, in memory and in the file, before its line is written;
// when that mark cannot be saved it is taken back and nothing is sent.
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "messaging/message_sender.h"
#include "platform/window.h"
#include "schedule/schedule_entry.h"

namespace vello {

using EntryId = uint64_t;

struct ScheduledEntry {
  EntryId id = 0;
  TScheduleEntry record;
  // What the timer page shows for it: as typed when it was added, as the
  // file holds it after a load.
  std::string dateTimeText, destinationText, messageText;
  // Handed to the sender in this run and not known to be sent ("済").
  bool handedOver = false;

  bool Marked() const { return record.Sent() != 0 || handedOver; }
};

class TScheduler : public MessageOnlyWindow {
 public:
  static constexpr UINT kTimer1Interval = 10000;
  static constexpr UINT_PTR kTimerId = 1;  // Timer1 on the scheduler's own window

  explicit TScheduler(MessageSender& sender);
  ~TScheduler() override;

  const std::vector<ScheduledEntry>& entries() const { return FScheduleEntries; }
  const ScheduledEntry* Find(EntryId id) const;

  // Reads the schedule file (creating an empty one when there is none).
  void LoadSchedule();
  // Rewrites the schedule file from the entries.
  void SaveSchedule();
  // The program ends: rewrites the file when this run has read or written
  // it. A run that never did holds no entries of its own, and an empty list
  // must not replace the user's schedule.
  void SaveAtExit();
  // Adds an entry at the end and saves.
  EntryId Add(const TScheduleEntry& record, std::string dateTimeText, std::string destinationText,
              std::string messageText);
  // Removes the entry; a send of it still under way is dropped. Then saves.
  void Delete(EntryId id);

  // Timer1: running every 10 s, or stopped (interval 0).
  void SetRunning(bool running);
  UINT Timer1Interval() const { return FTimer1Interval; }
  // One tick: hands every due entry to the sender, each once.
  void Timer1Timer();

  bool InFlight(EntryId id) const { return FInFlight.count(id) != 0; }
  std::size_t inFlightCount() const { return FInFlight.size(); }

  // Called after every change the timer page shows.
  void SetOnChanged(std::function<void()> onChanged) { FOnChanged = std::move(onChanged); }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  ScheduledEntry* FindEntry(EntryId id);
  void HandOver(EntryId id);
  std::optional<OutgoingMessage> MarkSentAndCompose(EntryId id);
  void SendEnded(EntryId id, SendOutcome outcome);
  void Changed();

  MessageSender& FSender;
  std::vector<ScheduledEntry> FScheduleEntries;
  std::map<EntryId, SendTicket> FInFlight;
  // Marked sent (and saved) when their connection stood, not yet written.
  std::set<EntryId> FMarkedBeforeWrite;
  EntryId FNextId = 1;
  UINT FTimer1Interval = 0;
  bool FHoldsFile = false;  // the entries are the file's: read or written in this run
  std::function<void()> FOnChanged;
};

}  // namespace vello
