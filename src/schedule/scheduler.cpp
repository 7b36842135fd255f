#include "schedule/scheduler.h"

#include <algorithm>

#include "common/file_paths.h"
#include "platform/clock.h"
#include "platform/error_display.h"
#include "platform/executable_path.h"
#include "schedule/schedule_clock.h"
#include "schedule/schedule_file.h"
#include "common/vello_error.h"

namespace vello {

namespace {
const wchar_t kClassName[] = L"VelloScheduler";
const char kSentMark[] = "済";

std::filesystem::path SchedulePath() { return FileBesideExecutable(kScheduleEnding); }
}  // namespace

TScheduler::TScheduler(MessageSender& sender) : MessageOnlyWindow(kClassName), FSender(sender) {}

TScheduler::~TScheduler() {
  for (auto& [id, ticket] : FInFlight) FSender.Cancel(ticket);
  Destroy();
}

ScheduledEntry* TScheduler::FindEntry(EntryId id) {
  auto it = std::find_if(FScheduleEntries.begin(), FScheduleEntries.end(),
                         [id](const ScheduledEntry& e) { return e.id == id; });
  return it == FScheduleEntries.end() ? nullptr : &*it;
}

const ScheduledEntry* TScheduler::Find(EntryId id) const {
  return const_cast<TScheduler*>(this)->FindEntry(id);
}

void TScheduler::Changed() {
  if (FOnChanged) FOnChanged();
}

namespace {

// What the timer page shows for an entry read from the file.
OutgoingMessage MessageOf(const TScheduleEntry& record) {
  return OutgoingMessage{.look = record.Look(), .text = record.Text(), .importance = record.Importance()};
}

void TextsFromRecord(ScheduledEntry& e) {
  e.dateTimeText = e.record.DateTime();
  e.destinationText = e.record.Destination();
  e.messageText = RowTextFromStored(e.record.Text());
}

}  // namespace

TScheduler::Merged TScheduler::Merge(const std::vector<TScheduleEntry>& file, bool textsFromFile,
                                     std::optional<EntryId> claim) const {
  // Each entry this copy has stored is found again by its record, whether
  // or not another copy has marked it sent since; entries deleted here take
  // theirs out of the file.
  enum class Use { kOthers, kOurs, kDeleted };
  std::vector<Use> use(file.size(), Use::kOthers);
  std::vector<std::size_t> ours(file.size(), 0);
  auto find = [&](const TScheduleEntry& stored) -> std::optional<std::size_t> {
    for (std::size_t j = 0; j < file.size(); ++j)
      if (use[j] == Use::kOthers && SameEntry(file[j], stored)) return j;
    return std::nullopt;
  };
  for (std::size_t i = 0; i < FScheduleEntries.size(); ++i) {
    if (!FScheduleEntries[i].stored) continue;
    if (std::optional<std::size_t> j = find(*FScheduleEntries[i].stored)) {
      use[*j] = Use::kOurs;
      ours[*j] = i;
    }
  }
  for (const TScheduleEntry& gone : FDeleted)
    if (std::optional<std::size_t> j = find(gone)) use[*j] = Use::kDeleted;

  Merged out;
  out.claimed = claim && std::any_of(FScheduleEntries.begin(), FScheduleEntries.end(),
                                     [&](const ScheduledEntry& e) { return e.id == *claim && !e.stored; });
  for (std::size_t j = 0; j < file.size(); ++j) {
    if (use[j] == Use::kDeleted) continue;
    ScheduledEntry e;
    if (use[j] == Use::kOthers) {
      // Added by another copy.
      e.record = file[j];
      TextsFromRecord(e);
    } else {
      const ScheduledEntry& mine = FScheduleEntries[ours[j]];
      e = mine;
      e.record = file[j];
      // This copy's own mark, set or taken back since it last stored the
      // entry, wins; but an entry to be sent that another copy has marked
      // sent already is theirs.
      if (mine.record.Sent() != mine.stored->Sent()) {
        bool sending = claim && *claim == mine.id;
        if (!sending || file[j].Sent() == 0) e.record.SetSent(mine.record.Sent());
        if (sending) out.claimed = file[j].Sent() == 0;
      }
      if (textsFromFile) {
        TextsFromRecord(e);
        // The file says not sent until the line has gone.
        e.handedOver = InFlight(e.id);
      }
    }
    e.stored = file[j];
    out.records.push_back(e.record);
    out.entries.push_back(std::move(e));
  }
  // Added here and not stored yet: at the end, in the order they were added.
  for (const ScheduledEntry& mine : FScheduleEntries) {
    if (mine.stored) continue;
    out.records.push_back(mine.record);
    out.entries.push_back(mine);
  }
  return out;
}

void TScheduler::Adopt(Merged merged, bool written) {
  for (ScheduledEntry& e : merged.entries) {
    if (e.id == 0) e.id = FNextId++;
    if (written) e.stored = e.record;
  }
  // A send whose entry another copy deleted is dropped (the one being
  // composed ends by itself: it sends nothing).
  for (const ScheduledEntry& old : FScheduleEntries) {
    bool kept = std::any_of(merged.entries.begin(), merged.entries.end(),
                            [&](const ScheduledEntry& e) { return e.id == old.id; });
    if (kept || old.id == FComposing) continue;
    if (auto it = FInFlight.find(old.id); it != FInFlight.end()) {
      FSender.Cancel(it->second);
      FInFlight.erase(it);
    }
    FMarkedBeforeWrite.erase(old.id);
  }
  FScheduleEntries = std::move(merged.entries);
  if (written) FDeleted.clear();
  Changed();
}

void TScheduler::LoadSchedule() {
  // Read into a list of its own: a file that cannot be read leaves the
  // entries as they were.
  std::vector<TScheduleEntry> records;
  LoadScheduleFile(SchedulePath(), records);
  Adopt(Merge(records, true, std::nullopt), false);
}

bool TScheduler::Store(std::optional<EntryId> claim) {
  Merged merged;
  UpdateScheduleFile(SchedulePath(), [&](std::vector<TScheduleEntry>& records) {
    merged = Merge(records, false, claim);
    records = merged.records;
    return true;
  });
  bool claimed = merged.claimed;
  Adopt(std::move(merged), true);
  return claimed;
}

void TScheduler::SaveSchedule() { Store(std::nullopt); }

bool TScheduler::HasUnstoredChanges() const {
  return !FDeleted.empty() || std::any_of(FScheduleEntries.begin(), FScheduleEntries.end(), [](const ScheduledEntry& e) {
           return !e.stored || e.stored->Sent() != e.record.Sent();
         });
}

void TScheduler::SaveAtExit() {
  if (HasUnstoredChanges()) SaveSchedule();
}

EntryId TScheduler::Add(const TScheduleEntry& record, std::string dateTimeText, std::string destinationText,
                        std::string messageText) {
  ScheduledEntry e;
  e.id = FNextId++;
  e.record = record;
  e.dateTimeText = std::move(dateTimeText);
  e.destinationText = std::move(destinationText);
  e.messageText = std::move(messageText);
  const EntryId id = e.id;
  FScheduleEntries.push_back(std::move(e));
  Changed();
  SaveSchedule();
  return id;
}

void TScheduler::Delete(EntryId id) {
  if (auto it = FInFlight.find(id); it != FInFlight.end()) {
    FSender.Cancel(it->second);
    FInFlight.erase(it);
  }
  const ScheduledEntry* e = FindEntry(id);
  if (e && e->stored) FDeleted.push_back(*e->stored);
  // A message kept for it is not wanted any more either.
  if (e && Waiting(*e)) FSender.Withdraw(ScheduleKey(e->record));
  std::erase_if(FScheduleEntries, [id](const ScheduledEntry& e) { return e.id == id; });
  Changed();
  SaveSchedule();
}

void TScheduler::RefreshBeforeTick() {
  try {
    std::vector<TScheduleEntry> records;
    LoadScheduleFile(SchedulePath(), records);
    Adopt(Merge(records, false, std::nullopt), false);
  } catch (const VelloError&) {
    // Unreadable now: the mark at send time reads it again and says why.
  }
}

void TScheduler::SetRunning(bool running) {
  if (running) {
    SetTimer(window(), kTimerId, kCheckInterval, nullptr);
    FCheckInterval = kCheckInterval;
  } else {
    KillTimer(hwnd(), kTimerId);
    FCheckInterval = 0;
  }
}

void TScheduler::OnCheckTick() {
  LocalDateTime t = Now();
  std::string now = CurrentTimeText(t.year, t.month, t.day, t.hour, t.minute);
  auto dueEntries = [&] {
    std::vector<EntryId> due;
    for (const ScheduledEntry& e : FScheduleEntries)
      if (IsDue(e.dateTimeText, e.Marked() ? kSentMark : "", now)) due.push_back(e.id);
    return due;
  };
  if (dueEntries().empty()) return;
  RefreshBeforeTick();
  for (EntryId id : dueEntries()) {
    // A box opened by an earlier hand-over runs a nested message loop in
    // which entries can be deleted or marked.
    ScheduledEntry* e = FindEntry(id);
    // One kept for its receiver already (the program started again within
    // the entry's minute) goes from the waiting list, not again from here.
    if (!e || e->Marked() || Waiting(*e)) continue;
    // Marked before the hand-over, so that a tick inside a box the hand-over
    // opens cannot hand the same entry over again.
    e->handedOver = true;
    Changed();
    HandOver(id);
  }
}

void TScheduler::HandOver(EntryId id) {
  const ScheduledEntry* e = FindEntry(id);
  if (!e) return;
  std::string host = e->record.Destination();
  if (host.empty()) {
    // A nickname that was not in the address book when the entry was added.
    ShowMessageBox(GetActiveWindow(),
                   "予約メッセージのあて先がありません (" + e->record.DateTime() +
                       ")。追加したときに通称名がアドレス帳に見つかりませんでした",
                   "Vello", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  // In flight before the send starts: a failure can be reported at once.
  FInFlight[id] = 0;
  const TScheduleEntry record = e->record;
  SendRequest request;
  request.host = host;
  request.destination = host;
  request.compose = [this, id] { return MarkSentAndCompose(id); };
  request.ended = [this, id](SendOutcome outcome) { SendEnded(id, outcome); };
  // A receiver away at the entry's minute gets it when it is back.
  request.keep = [record] { return std::optional<OutgoingMessage>(MessageOf(record)); };
  request.scheduleKey = ScheduleKey(record);
  SendTicket ticket = FSender.Send(std::move(request));
  if (auto it = FInFlight.find(id); it != FInFlight.end()) it->second = ticket;
}

std::optional<OutgoingMessage> TScheduler::MarkSentAndCompose(EntryId id) {
  ScheduledEntry* e = FindEntry(id);
  if (!e) return std::nullopt;  // deleted or reloaded away meanwhile
  uint8_t wasSent = e->record.Sent();
  e->record.SetSent(1);
  bool claimed = false;
  FComposing = id;
  try {
    claimed = Store(id);
  } catch (...) {
    FComposing = 0;
    // Not written: the entry must not stay marked sent.
    if (ScheduledEntry* again = FindEntry(id)) again->record.SetSent(wasSent);
    throw;
  }
  FComposing = 0;
  e = FindEntry(id);
  // Another copy sent it first, or deleted it: nothing goes out from here.
  if (!claimed || !e) return std::nullopt;
  FMarkedBeforeWrite.insert(id);
  return MessageOf(e->record);
}

void TScheduler::MarkDelivered(const std::string& scheduleKey) {
  // Read again first: another copy may have changed the file meanwhile.
  RefreshBeforeTick();
  ScheduledEntry* e = nullptr;
  for (ScheduledEntry& candidate : FScheduleEntries)
    if (candidate.record.Sent() == 0 && ScheduleKey(candidate.record) == scheduleKey) {
      e = &candidate;
      break;
    }
  if (!e) return;  // deleted, or marked by another copy
  e->record.SetSent(1);
  Changed();
  // Not stored now: the mark stays pending and goes with the next save.
  Guard([this] { SaveSchedule(); });
}

void TScheduler::ShowWaiting(std::set<std::string> scheduleKeys) {
  if (scheduleKeys == FWaitingKeys) return;
  FWaitingKeys = std::move(scheduleKeys);
  Changed();
}

bool TScheduler::Waiting(const ScheduledEntry& entry) const {
  return entry.record.Sent() == 0 && !FWaitingKeys.empty() && FWaitingKeys.count(ScheduleKey(entry.record)) != 0;
}

void TScheduler::SendEnded(EntryId id, SendOutcome outcome) {
  FInFlight.erase(id);
  bool marked = FMarkedBeforeWrite.erase(id) != 0;
  ScheduledEntry* e = FindEntry(id);
  if (marked && outcome != SendOutcome::Sent && e) {
    // Marked sent, but the line did not go out whole: it was not sent.
    e->record.SetSent(0);
    Guard([this] { SaveSchedule(); });
  }
  Changed();
}

LRESULT TScheduler::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER && wp == kTimerId) {
    OnCheckTick();
    return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
