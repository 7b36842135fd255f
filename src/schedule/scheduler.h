#pragma once
// The scheduler: the one owner of the scheduled messages. It holds the
// entries (each with an identity of its own that no reload or deletion
// changes), loads and saves the schedule file, runs its own timer (the check timer:
// every 10 s while switched on), hands due entries to the sender and marks
// an entry sent, in memory and in the file, before its line is written;
// when that mark cannot be saved it is taken back and nothing is sent.
//
// Other copies of the program may keep their schedule in the same file (two
// users of one folder). So a save never writes this copy's list over the
// file: under the file's lock it reads what the file holds now and stores
// this copy's own changes into it (entries added, deleted, marked sent or
// unmarked since this copy last read or wrote the file), keeping what the
// others changed. An entry is marked sent in the file only if no other copy
// marked it first, in the same locked step, so one entry is sent once.
// Changes that could not be stored stay pending and go with the next save,
// at the latest at exit.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
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
  // The record as the file held it when this copy last read or wrote it;
  // nothing for an entry added here and not yet stored.
  std::optional<TScheduleEntry> stored;

  bool Marked() const { return record.Sent() != 0 || handedOver; }
};

class TScheduler : public MessageOnlyWindow {
 public:
  static constexpr UINT kCheckInterval = 10000;
  static constexpr UINT_PTR kTimerId = 1;  // the check timer, on the scheduler's own window

  explicit TScheduler(MessageSender& sender);
  ~TScheduler() override;

  const std::vector<ScheduledEntry>& entries() const { return FScheduleEntries; }
  const ScheduledEntry* Find(EntryId id) const;

  // Reads the schedule file (creating an empty one when there is none): the
  // entries become the file's, with this copy's changes not yet stored
  // kept. A file that cannot be read leaves the entries as they were.
  void LoadSchedule();
  // Stores this copy's changes into the schedule file, as above.
  void SaveSchedule();
  // The program ends: stores the changes that could not be stored before.
  // Without any, the file is left alone.
  void SaveAtExit();
  // Adds an entry at the end and saves.
  EntryId Add(const TScheduleEntry& record, std::string dateTimeText, std::string destinationText,
              std::string messageText);
  // Removes the entry; a send of it still under way is dropped. Then saves.
  void Delete(EntryId id);

  // The check timer: running every 10 s, or stopped (interval 0).
  void SetRunning(bool running);
  UINT checkInterval() const { return FCheckInterval; }
  // One tick: hands every due entry to the sender, each once.
  void OnCheckTick();

  bool InFlight(EntryId id) const { return FInFlight.count(id) != 0; }
  std::size_t inFlightCount() const { return FInFlight.size(); }

  // A message kept for the entry `scheduleKey` (its receiver was away at
  // its minute) was delivered: the entry is marked sent, and saved.
  void MarkDelivered(const std::string& scheduleKey);
  // The entries whose messages wait for their receivers now.
  void ShowWaiting(std::set<std::string> scheduleKeys);
  bool Waiting(const ScheduledEntry& entry) const;

  // Called after every change the timer page shows.
  void SetOnChanged(std::function<void()> onChanged) { FOnChanged = std::move(onChanged); }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  ScheduledEntry* FindEntry(EntryId id);
  // The entries again from the file's records, with this copy's changes not
  // yet stored applied to them: the records to write, and the entries that
  // go with them. `claim` (when given) is an entry about to be sent, marked
  // sent in memory: `claimed` says whether the file still had it unsent.
  struct Merged {
    std::vector<ScheduledEntry> entries;
    std::vector<TScheduleEntry> records;
    bool claimed = false;
  };
  Merged Merge(const std::vector<TScheduleEntry>& file, bool textsFromFile, std::optional<EntryId> claim) const;
  // Takes the merged entries as this copy's; `written`: the records are
  // the file's now, nothing of this copy's is left to store.
  void Adopt(Merged merged, bool written);
  // SaveSchedule, and with `claim` the one step that marks it sent: false
  // when another copy sent or deleted it first.
  bool Store(std::optional<EntryId> claim);
  bool HasUnstoredChanges() const;
  // The file's entries before a tick, so that one another copy has sent is
  // not handed over again here. Errors are left to the send.
  void RefreshBeforeTick();
  void HandOver(EntryId id);
  std::optional<OutgoingMessage> MarkSentAndCompose(EntryId id);
  void SendEnded(EntryId id, SendOutcome outcome);
  void Changed();

  MessageSender& FSender;
  std::vector<ScheduledEntry> FScheduleEntries;
  std::map<EntryId, SendTicket> FInFlight;
  // Marked sent (and saved) when their connection stood, not yet written.
  std::set<EntryId> FMarkedBeforeWrite;
  // Entries deleted here whose deletion is not stored yet, as the file held them.
  std::vector<TScheduleEntry> FDeleted;
  EntryId FComposing = 0;  // the entry MarkSentAndCompose is storing the mark of
  EntryId FNextId = 1;
  UINT FCheckInterval = 0;
  std::function<void()> FOnChanged;
  std::set<std::string> FWaitingKeys;
};

}  // namespace vello
