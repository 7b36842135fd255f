#include "messaging/outbox.h"

#include <algorithm>
#include <random>

#include "common/file_paths.h"
#include "common/vello_error.h"
#include "messaging/log_date_time.h"
#include "messaging/log_entry.h"
#include "messaging/message_line.h"
#include "platform/error_display.h"
#include "platform/executable_path.h"
#include "platform/network_interfaces.h"
#include "platform/socket_error.h"

namespace vello {

namespace {
const wchar_t kClassName[] = L"VelloOutbox";
constexpr UINT_PTR kRetryTimer = 1;
constexpr UINT kRetryTickMs = 1000;
constexpr int64_t kSoonestTickMs = 20;
constexpr UINT kTryDueMessage = WM_APP + 1;
constexpr UINT kTellExpiredMessage = WM_APP + 2;

std::mt19937_64& Generator() {
  static std::mt19937_64 generator{std::random_device{}()};
  return generator;
}
uint64_t RandomBits() { return Generator()(); }
// In [0, 1), for the back-off's jitter and spread.
double RandomFraction() { return std::uniform_real_distribution<double>(0.0, 1.0)(Generator()); }

// Destinations joined for a box: "pc-a、pc-b".
std::string Joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : "、") + n;
  return out;
}

const char kKeepHint[] = "（送らないときは［キャンセル］）";

}  // namespace

// A send to several destinations: each attempt's ending is tallied, and the
// last one tells them all.
struct Outbox::Batch {
  std::size_t open = 0;
  std::vector<std::string> delivered;
  struct Failure {
    SendRequest request;
    Ending ending;
  };
  std::vector<Failure> failed;
};

Outbox::Outbox(OutboxHost& host, std::filesystem::path waitingFile)
    : MessageOnlyWindow(kClassName),
      host_(host),
      attempts_(SendAttempts::Handlers{
          .onConnect = [this](SendAttempt& a) { OnConnected(a); },
          .onDelivered = [this](SendAttempt& a) { OnDelivered(a); },
          .onError = [this](SendAttempt& a, SocketErrorKind kind, int& code) { OnError(a, kind, code); }}),
      waiting_(std::move(waitingFile)) {}

Outbox::~Outbox() { Destroy(); }

int64_t Outbox::Now() const {
  if (now_) return now_();
  // The system's clock in 100 ns steps since 1601, as ms since 1970.
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER ticks{{ft.dwLowDateTime, ft.dwHighDateTime}};
  return static_cast<int64_t>((ticks.QuadPart - 116444736000000000ull) / 10000ull);
}

SendTicket Outbox::Send(SendRequest request) { return Start(std::move(request), nullptr); }

void Outbox::Cancel(SendTicket ticket) { attempts_.Cancel(ticket); }

void Outbox::SendToEach(std::vector<SendRequest> requests) {
  if (requests.size() == 1) {
    Send(std::move(requests.front()));
    return;
  }
  auto batch = std::make_shared<Batch>();
  batch->open = requests.size();
  for (SendRequest& r : requests) Start(std::move(r), batch);
}

SendTicket Outbox::Start(SendRequest request, std::shared_ptr<Batch> batch) {
  SendTicket ticket = attempts_.Start(std::move(request));
  if (batch) batches_[ticket] = std::move(batch);
  return ticket;
}

void Outbox::Tell(const std::string& text) {
  ShowMessageBox(host_.BoxOwner(), text, "Vello", MB_OK | MB_ICONEXCLAMATION);
}

void Outbox::LogSent(const SendRequest& request, const std::string& text) {
  if (logOn_)
    AppendLogEntry(FileBesideExecutable(kLogEnding), SentLogEntry(LogDateTimeNow(), request.destination, text));
}

void Outbox::OnConnected(SendAttempt& attempt) {
  TcpClient& socket = *attempt.client;
  // The message as it is now; a scheduled entry is marked sent (and that
  // saved), and a kept message claimed in the waiting file, before anything
  // is written.
  std::optional<OutgoingMessage> message = attempt.request.compose();
  if (!message) {
    socket.Close();
    Ended(attempt, Ending{SendOutcome::Dropped, Cause::None, ""});
    return;
  }
  std::string line = MakeMessageLine(message->look, message->text, message->importance);
  if (line.size() > kMaxMessageLineBytes) {
    socket.Close();
    Ended(attempt, Failure(Cause::TooLong, "メッセージが長すぎて送れません (" + std::to_string(line.size()) +
                                               " バイト、送れるのは " + std::to_string(kMaxMessageLineBytes) +
                                               " バイトまで)"));
    return;
  }
  // A line that did not go out whole is not sent: no log, no
  // confirmation. One that did is sent once the receiver has taken it.
  if (!socket.Send(std::move(line))) {
    socket.Close();
    Ended(attempt, Failure(Cause::BrokenOff));
    return;
  }
  attempt.written = message->text;
}

void Outbox::OnDelivered(SendAttempt& attempt) { Ended(attempt, Ending{SendOutcome::Sent, Cause::None, ""}); }

void Outbox::OnError(SendAttempt& attempt, SocketErrorKind kind, int& code) {
  int error = code;
  code = 0;  // everything is told here
  if (kind == SocketErrorKind::Lookup) {
    Ended(attempt, Failure(Cause::NoName, SocketApiErrorText(error, "ASync Lookup")));
    return;
  }
  if (attempt.written) {
    // The receiver reset the connection, stopped reading the line, or never
    // said it took it: only the last leaves room for doubt.
    bool unanswered = error == WSAETIMEDOUT && attempt.client->wholeLineWritten();
    Ended(attempt, Failure(unanswered ? Cause::Unanswered : Cause::BrokenOff));
    return;
  }
  if (kind == SocketErrorKind::Connect && error == WSAECONNREFUSED) {
    Ended(attempt, Failure(Cause::Refused));
    return;
  }
  // Nothing came back from a copy that announces itself: something on the
  // way drops the port.
  bool timedOut = kind == SocketErrorKind::Connect && error == WSAETIMEDOUT;
  Ended(attempt, Failure(timedOut && host_.ListedRunning(attempt.request.host) ? Cause::Blocked : Cause::NoAnswer));
}

std::string Outbox::ReasonText(const Ending& ending) {
  switch (ending.cause) {
    case Cause::None: return "";
    case Cause::NoName: return "名前が見つかりません";
    case Cause::Refused: return "Vello が起動していません";
    case Cause::NoAnswer: return "接続できません";
    case Cause::Blocked: return "ファイアウォールで止められているようです";
    case Cause::BrokenOff: return "受け取られませんでした";
    case Cause::TooLong: return "長すぎます";
    case Cause::Unanswered: return "受け取ったか確かめられません";
  }
  return "";
}

std::string Outbox::ToldText(const Ending& ending, const std::string& d) const {
  switch (ending.cause) {
    case Cause::Blocked:
      return d + "さんの Vello は起動していますが、接続できませんでした。" + d +
             "さんのパソコンか途中のファイアウォールが TCP " + std::to_string(port()) +
             " 番ポートを止めているようです";
    case Cause::NoName: return ending.detail;
    case Cause::Refused: return d + "さんに起動するようにお願いしてね";
    case Cause::NoAnswer: return d + "さんに接続できませんでした";
    case Cause::BrokenOff: return d + "さんへの送信が途中で切れました。メッセージは届いていません";
    case Cause::TooLong: return ending.detail;
    case Cause::Unanswered:
      return d + "さんが受け取ったか確かめられませんでした。メッセージは届いていないかもしれません";
    case Cause::None: return "";
  }
  return "";
}

void Outbox::Ended(SendAttempt& attempt, const Ending& ending) {
  // A sent one's end is reported before its confirmation; any other's once
  // the box that tells it has been closed.
  struct EndLast {
    SendAttempt& attempt;
    SendOutcome outcome;
    ~EndLast() { attempt.End(outcome); }
  } endLast{attempt, ending.outcome};
  if (ending.outcome == SendOutcome::Sent) attempt.End(ending.outcome);
  SendRequest& request = attempt.request;
  if (!request.waitingId.empty()) {
    // A kept message: quietly, to the list.
    std::function<void()> record;
    const std::string id = request.waitingId;
    if (ending.outcome == SendOutcome::Sent) {
      record = [this, id] { waiting_.Delivered(id); };
    } else if (ending.cause == Cause::Unanswered) {
      record = [this, id, reason = ReasonText(ending)] { waiting_.Unanswered(id, reason); };
    } else if (ending.outcome == SendOutcome::Failed) {
      FailureKind kind = ending.cause == Cause::BrokenOff ? FailureKind::kRefused : FailureKind::kUnreachable;
      record = [this, id, kind, reason = ReasonText(ending), at = Now(), random = RandomFraction()] {
        waiting_.Failed(id, kind, reason, at, policy_, random);
      };
    } else {
      record = [this, id] { waiting_.Release(id); };  // claimed by another copy, or gone
    }
    Record(std::move(record));
    if (ending.outcome == SendOutcome::Sent) {
      // Delivered, whatever the waiting file says: logged, and a scheduled
      // entry marked sent.
      try {
        LogSent(request, attempt.written.value_or(""));
      } catch (const VelloError& e) {
        ShowErrorMessage(e.text());
      }
      if (!request.scheduleKey.empty()) host_.ScheduledDelivered(request.scheduleKey);
    }
    host_.WaitingChanged();
    // The receiver's next message goes now, one after the other; otherwise
    // the timer comes when the next one is due.
    if (ending.outcome == SendOutcome::Sent)
      PostMessageW(window(), kTryDueMessage, 0, 0);
    else
      ScheduleTick();
    return;
  }
  if (auto found = batches_.find(attempt.ticket); found != batches_.end()) {
    std::shared_ptr<Batch> batch = std::move(found->second);
    batches_.erase(found);
    if (ending.outcome == SendOutcome::Sent) {
      batch->delivered.push_back(request.destination);
      LogSent(request, attempt.written.value_or(""));
    } else if (ending.outcome == SendOutcome::Failed) {
      batch->failed.push_back({request, ending});
    }
    if (--batch->open == 0) TellBatch(*batch);
    return;
  }
  TellAlone(attempt, ending);
}

void Outbox::TellAlone(SendAttempt& attempt, const Ending& ending) {
  const SendRequest& request = attempt.request;
  const std::string& d = request.destination;
  if (ending.outcome == SendOutcome::Sent) {
    // Logged, confirmed, and then the program's own follow-up (the composer
    // cleared if the user asked for that).
    LogSent(request, attempt.written.value_or(""));
    ShowMessageBox(host_.BoxOwner(), "送信しました！", ApplicationTitle(), MB_OK);
    host_.Delivered();
    return;
  }
  if (ending.outcome == SendOutcome::Dropped) return;
  if (!request.scheduleKey.empty() && Keepable(request, ending)) {
    // A scheduled entry whose receiver is away at its minute: nobody may be
    // at the screen to answer a box, and the user asked for it to be sent.
    // It waits quietly; the timer page and the waiting window show it.
    if (Keep(request, ending)) return;
  }
  std::string told = ToldText(ending, d);
  if (!ending.keepable() || !request.keep) {
    // Not kept: a message that may have arrived, one too long, or a send
    // that has no message of its own to keep (a scheduled entry).
    if (ending.cause == Cause::NoName)
      ShowErrorMessage(told);
    else
      Tell(told);
    return;
  }
  if (ending.cause == Cause::NoName && !host_.KnowsDestination(request.host)) {
    // A name nobody here has heard of: most likely mistyped. Kept only when
    // the user asks.
    int answer = ShowMessageBox(host_.BoxOwner(), told + "\r\n\r\n" + d + " が見つかったときに送りますか？", "Vello",
                                MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
    if (answer == IDYES) Keep(request, ending);
    return;
  }
  // A receiver that ran but did not take the line is tried again later; one
  // that did not answer, once it is running.
  std::string when = ending.cause == Cause::BrokenOff || ending.cause == Cause::Blocked ? "さんには後でもう一度送ります"
                                                                                        : "さんには起動したら送ります";
  int answer = ShowMessageBox(host_.BoxOwner(), told + "\r\n" + d + when + kKeepHint, "Vello",
                              MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON1);
  if (answer == IDOK) Keep(request, ending);
}

bool Outbox::Keepable(const SendRequest& request, const Ending& ending) const {
  // A name nobody here has heard of is most likely mistyped: among several
  // destinations it is told, not kept.
  return ending.keepable() && request.keep &&
         !(ending.cause == Cause::NoName && !host_.KnowsDestination(request.host));
}

void Outbox::TellBatch(Batch& batch) {
  std::string text;
  if (!batch.delivered.empty()) text = std::to_string(batch.delivered.size()) + " 人に送りました。";
  std::vector<std::string> keepable, unknown, failed;
  for (const Batch::Failure& f : batch.failed) {
    const std::string& d = f.request.destination;
    if (f.ending.cause == Cause::Unanswered)
      unknown.push_back(d);
    else if (Keepable(f.request, f.ending))
      keepable.push_back(d);
    else
      failed.push_back(d + "（" + ReasonText(f.ending) + "）");
  }
  if (!unknown.empty()) text += Joined(unknown) + " が受け取ったか確かめられませんでした。";
  if (!failed.empty()) text += Joined(failed) + " には送れませんでした。";
  if (keepable.empty()) {
    if (text.empty()) return;  // nothing went anywhere, nothing to tell
    ShowMessageBox(host_.BoxOwner(), text, "Vello",
                   MB_OK | (unknown.empty() && failed.empty() ? 0u : UINT(MB_ICONEXCLAMATION)));
  } else {
    text += Joined(keepable) + " には起動したら送ります。";
    int answer = ShowMessageBox(host_.BoxOwner(), text + "\r\n" + kKeepHint, "Vello",
                                MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON1);
    if (answer == IDOK)
      for (const Batch::Failure& f : batch.failed)
        if (Keepable(f.request, f.ending)) Keep(f.request, f.ending);
  }
  if (!batch.delivered.empty()) host_.Delivered();
}

bool Outbox::Keep(const SendRequest& request, const Ending& ending) {
  std::optional<OutgoingMessage> message;
  try {
    message = request.keep();
  } catch (const VelloError& e) {
    ShowErrorMessage(e.text());
    return false;
  }
  if (!message) return false;
  int64_t now = Now();
  WaitingMessage kept;
  kept.id = NewWaitingId(now, RandomBits());
  kept.destination = request.destination;
  kept.host = request.host;
  kept.look = message->look;
  kept.text = message->text;
  kept.importance = message->importance;
  kept.writtenAt = now;
  kept.expiresAt = ExpiryFor(now, policy_);
  kept.attempts = 1;  // the one that just failed
  kept.lastReason = ReasonText(ending);
  kept.scheduleKey = request.scheduleKey;
  try {
    waiting_.Add(std::move(kept), ending.cause == Cause::BrokenOff ? FailureKind::kRefused : FailureKind::kUnreachable,
                 now, policy_, RandomFraction());
  } catch (const VelloError& e) {
    // Not kept, and said: the user still has the message in the composer.
    ShowErrorMessage(e.text());
    return false;
  }
  host_.WaitingChanged();
  ScheduleTick();
  return true;
}

void Outbox::Record(std::function<void()> outcome) {
  // An outcome the file refused is recorded again once it takes changes: a
  // delivered message must not stay claimed, nor be tried again.
  try {
    outcome();
    fileTroubleTold_ = false;  // the file takes changes again
  } catch (const VelloError& e) {
    unrecorded_.push_back(std::move(outcome));
    PauseWaiting(e);
  }
}

void Outbox::RecordAgain() {
  std::vector<std::function<void()>> pending = std::move(unrecorded_);
  unrecorded_.clear();
  for (std::function<void()>& outcome : pending) Record(std::move(outcome));
}

void Outbox::PauseWaiting(const VelloError& e) {
  // Every try needs the file: while it refuses, tries would only fail
  // again at once. Said once, until the file takes changes again.
  pausedUntil_ = Now() + policy_.firstDelayMs;
  if (fileTroubleTold_) return;
  fileTroubleTold_ = true;
  ShowErrorMessage(e.text());
}

void Outbox::StartWaiting() {
  started_ = true;
  try {
    waiting_.Load();
  } catch (const VelloError& e) {
    ShowErrorMessage(e.text());
  }
  host_.WaitingChanged();
  ScheduleTick();
}

void Outbox::ScheduleTick() {
  if (!started_) return;
  // The timer comes when the soonest message is due, and at least every
  // second while any waits (the clock may be set, a message expire).
  std::optional<int64_t> next = waiting_.NextAttemptAt();
  if (!unrecorded_.empty()) next = std::min(next.value_or(INT64_MAX), Now());
  if (!next) {
    KillTimer(window(), kRetryTimer);
    return;
  }
  int64_t wait = std::clamp<int64_t>(std::max(*next, pausedUntil_) - Now(), kSoonestTickMs, kRetryTickMs);
  SetTimer(window(), kRetryTimer, static_cast<UINT>(wait), nullptr);
}

void Outbox::TryDue() {
  int64_t now = Now();
  bool changed = false;
  if (now < pausedUntil_) {
    ScheduleTick();
    return;
  }
  RecordAgain();
  if (Now() < pausedUntil_) {
    ScheduleTick();
    return;
  }
  std::vector<WaitingMessage> expired;
  try {
    expired = waiting_.RemoveExpired(now);
  } catch (const VelloError& e) {
    PauseWaiting(e);
    ScheduleTick();
    return;
  }
  if (!expired.empty()) {
    changed = true;
    for (WaitingMessage& m : expired) expiredToTell_.push_back(std::move(m));
    PostMessageW(window(), kTellExpiredMessage, 0, 0);
  }
  if (now >= nextNetworkCheck_) {
    // A new network may reach receivers the old one could not: everything
    // kept is tried soon, as after a wake-up.
    nextNetworkCheck_ = now + networkCheckMs_;
    std::string network = networkProbe_ ? networkProbe_() : NetworkFingerprint();
    if (network != lastNetwork_) {
      if (networkKnown_) {
        try {
          waiting_.SeenAgain({}, now, policy_, RandomFraction());
        } catch (const VelloError&) {
          // The file is busy: the back-off's own time still comes.
        }
      }
      lastNetwork_ = std::move(network);
      networkKnown_ = true;
    }
  }
  for (const std::string& id : waiting_.Due(now, policy_)) {
    const WaitingMessage* m = waiting_.Find(id);
    if (!m) continue;
    WaitingMessage copy = *m;
    waiting_.MarkTrying(id);
    SendRequest request;
    request.host = copy.host;
    request.destination = copy.destination;
    request.waitingId = id;
    request.scheduleKey = copy.scheduleKey;
    request.compose = [this, copy]() -> std::optional<OutgoingMessage> {
      // Claimed in the file before the line goes out: never sent twice, by
      // this copy or another that shares the folder.
      try {
        if (!waiting_.Claim(copy.id)) return std::nullopt;
      } catch (const VelloError& e) {
        PauseWaiting(e);
        return std::nullopt;
      }
      return OutgoingMessage{.look = copy.look, .text = copy.text, .importance = copy.importance};
    };
    Send(std::move(request));
    changed = true;
  }
  if (changed) host_.WaitingChanged();
  ScheduleTick();
}

void Outbox::ReceiversSeen(const std::vector<std::string>& namesAndAddresses) {
  if (!started_ || namesAndAddresses.empty()) return;
  try {
    waiting_.SeenAgain(namesAndAddresses, Now(), policy_, RandomFraction());
  } catch (const VelloError&) {
    // The file is busy: the back-off's own time still comes.
  }
  ScheduleTick();
}

void Outbox::RetryAllSoon() {
  if (!started_) return;
  try {
    waiting_.SeenAgain({}, Now(), policy_, RandomFraction());
  } catch (const VelloError&) {
  }
  ScheduleTick();
}

void Outbox::ChangeForUser(const std::function<void()>& change) {
  try {
    change();
  } catch (const VelloError& e) {
    ShowErrorMessage(e.text());
  }
  host_.WaitingChanged();
  ScheduleTick();
}

void Outbox::SendNow(const std::string& id) {
  ChangeForUser([&] { waiting_.SendNow(id, Now()); });
  TryDue();
}

void Outbox::Withdraw(const std::string& scheduleKey) {
  ChangeForUser([&] { waiting_.DropScheduled(scheduleKey); });
}

void Outbox::Drop(const std::string& id) {
  ChangeForUser([&] { waiting_.Drop(id); });
}

void Outbox::TellExpired() {
  // One box at a time; messages that expire while it is open are told in
  // the next.
  if (tellingExpired_ || expiredToTell_.empty()) return;
  tellingExpired_ = true;
  std::vector<WaitingMessage> expired = std::move(expiredToTell_);
  expiredToTell_.clear();
  std::string text = "次のメッセージは受け取られないまま期限が過ぎたので、送るのをやめました。";
  for (const WaitingMessage& m : expired) text += "\r\n" + m.destination + "「" + m.FirstLine() + "」";
  ShowMessageBox(host_.BoxOwner(), text, "Vello", MB_OK | MB_ICONEXCLAMATION);
  tellingExpired_ = false;
  if (!expiredToTell_.empty()) PostMessageW(window(), kTellExpiredMessage, 0, 0);
}

LRESULT Outbox::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if ((msg == WM_TIMER && wp == kRetryTimer) || msg == kTryDueMessage) {
    Guard([this] { TryDue(); });
    return 0;
  }
  if (msg == kTellExpiredMessage) {
    Guard([this] { TellExpired(); });
    return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
