#include "schedule/scheduler.h"

#include <algorithm>

#include "common/file_paths.h"
#include "platform/clock.h"
#include "platform/error_display.h"
#include "platform/executable_path.h"
#include "schedule/schedule_clock.h"
#include "schedule/schedule_file.h"

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

void TScheduler::LoadSchedule() {
  // Read into a list of its own: a file that cannot be read leaves the
  // entries as they were.
  std::vector<TScheduleEntry> records;
  LoadScheduleFile(SchedulePath(), records);

  std::vector<ScheduledEntry> loaded;
  std::vector<bool> matched(FScheduleEntries.size(), false);
  for (const TScheduleEntry& record : records) {
    ScheduledEntry e;
    e.record = record;
    e.dateTimeText = record.DateTime();
    e.destinationText = record.Destination();
    e.messageText = RowTextFromStored(record.Text());
    // An entry that is the same as one already held keeps its identity, and
    // keeps its mark while it is on its way (the file says not sent until
    // it has gone).
    for (std::size_t i = 0; i < FScheduleEntries.size(); ++i) {
      if (matched[i] || !(FScheduleEntries[i].record == record)) continue;
      matched[i] = true;
      e.id = FScheduleEntries[i].id;
      e.handedOver = InFlight(e.id);
      break;
    }
    if (e.id == 0) e.id = FNextId++;
    loaded.push_back(std::move(e));
  }
  // A send whose entry is no longer in the file is dropped.
  for (std::size_t i = 0; i < FScheduleEntries.size(); ++i) {
    if (matched[i]) continue;
    if (auto it = FInFlight.find(FScheduleEntries[i].id); it != FInFlight.end()) {
      FSender.Cancel(it->second);
      FInFlight.erase(it);
    }
  }
  FScheduleEntries = std::move(loaded);
  FHoldsFile = true;
  Changed();
}

void TScheduler::SaveSchedule() {
  std::vector<TScheduleEntry> records;
  records.reserve(FScheduleEntries.size());
  for (const ScheduledEntry& e : FScheduleEntries) records.push_back(e.record);
  SaveScheduleFile(SchedulePath(), records);
  FHoldsFile = true;
}

void TScheduler::SaveAtExit() {
  if (FHoldsFile) SaveSchedule();
}

EntryId TScheduler::Add(const TScheduleEntry& record, std::string dateTimeText, std::string destinationText,
                        std::string messageText) {
  ScheduledEntry e;
  e.id = FNextId++;
  e.record = record;
  e.dateTimeText = std::move(dateTimeText);
  e.destinationText = std::move(destinationText);
  e.messageText = std::move(messageText);
  FScheduleEntries.push_back(std::move(e));
  Changed();
  SaveSchedule();
  return FScheduleEntries.back().id;
}

void TScheduler::Delete(EntryId id) {
  if (auto it = FInFlight.find(id); it != FInFlight.end()) {
    FSender.Cancel(it->second);
    FInFlight.erase(it);
  }
  std::erase_if(FScheduleEntries, [id](const ScheduledEntry& e) { return e.id == id; });
  Changed();
  SaveSchedule();
}

void TScheduler::SetRunning(bool running) {
  if (running) {
    SetTimer(window(), kTimerId, kTimer1Interval, nullptr);
    FTimer1Interval = kTimer1Interval;
  } else {
    KillTimer(hwnd(), kTimerId);
    FTimer1Interval = 0;
  }
}

void TScheduler::Timer1Timer() {
  LocalDateTime t = Now();
  std::string now = CurrentTimeText(t.year, t.month, t.day, t.hour, t.minute);
  std::vector<EntryId> due;
  for (const ScheduledEntry& e : FScheduleEntries)
    if (IsDue(e.dateTimeText, e.Marked() ? kSentMark : "", now)) due.push_back(e.id);
  for (EntryId id : due) {
    // A box opened by an earlier hand-over runs a nested message loop in
    // which entries can be deleted or marked.
    ScheduledEntry* e = FindEntry(id);
    if (!e || e->Marked()) continue;
    // Marked before the hand-over, so that a tick inside a box the hand-over
    // opens cannot hand the same entry over again.
    e->handedOver = true;
    Changed();
    HandOver(id);
    SaveSchedule();
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
  SendTicket ticket = FSender.Send({.host = host,
                                    .destination = host,
                                    .compose = [this, id] { return MarkSentAndCompose(id); },
                                    .ended = [this, id](SendOutcome outcome) { SendEnded(id, outcome); }});
  if (auto it = FInFlight.find(id); it != FInFlight.end()) it->second = ticket;
}

std::optional<OutgoingMessage> TScheduler::MarkSentAndCompose(EntryId id) {
  ScheduledEntry* e = FindEntry(id);
  if (!e) return std::nullopt;  // deleted or reloaded away meanwhile
  uint8_t wasSent = e->record.Sent();
  e->record.SetSent(1);
  try {
    SaveSchedule();
  } catch (...) {
    // Not written: the entry must not stay marked sent.
    e->record.SetSent(wasSent);
    throw;
  }
  FMarkedBeforeWrite.insert(id);
  Changed();
  return OutgoingMessage{.look = e->record.Look(), .text = e->record.Text(), .importance = e->record.Importance()};
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
    Timer1Timer();
    return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
