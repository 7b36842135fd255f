#include "platform/background_work.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/window_messages.h"

namespace vello {

namespace {
const wchar_t kClassName[] = L"VelloBackgroundWork";
// A thread out of work waits this long for more before it ends: starting a
// thread costs more than many a look-up (under Wine, every library's thread
// start-up runs), and work tends to come in runs (a burst of messages).
constexpr auto kIdleWait = std::chrono::seconds(10);
}  // namespace

// What the threads and the window share; it lives as long as either needs it.
struct BackgroundWork::Shared {
  struct Item {
    std::function<void()> work, done;
  };
  std::mutex mutex;
  std::condition_variable wake;  // work has come, or the owner has gone
  HWND window = nullptr;       // null once the window is gone
  bool closed = false;         // the owner has gone
  int maxThreads = 4;
  int threads = 0;             // running now, busy or idle
  int idle = 0;                // of them, waiting for work
  int pending = 0;             // posted, not yet handed back
  std::deque<Item> waiting;    // not started yet
  std::deque<std::function<void()>> finished;  // results to hand back

  // Runs items as they come; a thread that has waited kIdleWait for one in
  // vain ends, as do all once the owner has gone.
  static void Drain(const std::shared_ptr<Shared>& self) {
    for (;;) {
      Item item;
      {
        std::unique_lock lock(self->mutex);
        ++self->idle;
        self->wake.wait_for(lock, kIdleWait, [&] { return self->closed || !self->waiting.empty(); });
        --self->idle;
        if (self->closed || self->waiting.empty()) {
          --self->threads;
          return;
        }
        item = std::move(self->waiting.front());
        self->waiting.pop_front();
      }
      item.work();
      std::lock_guard lock(self->mutex);
      if (!self->window) continue;  // nobody to hand it to any more
      self->finished.push_back(std::move(item.done));
      PostMessageW(self->window, kBackgroundDoneMessage, 0, 0);
    }
  }
};

BackgroundWork::BackgroundWork(int maxThreads) : MessageOnlyWindow(kClassName), shared_(std::make_shared<Shared>()) {
  shared_->maxThreads = maxThreads;
}

BackgroundWork::~BackgroundWork() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->window = nullptr;
    shared_->closed = true;
    shared_->waiting.clear();
    shared_->finished.clear();
  }
  shared_->wake.notify_all();
  Destroy();
}

int BackgroundWork::pending() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->pending;
}

void BackgroundWork::Post(std::function<void()> work, std::function<void()> done) {
  bool start = false;
  HWND results = window();
  {
    std::lock_guard lock(shared_->mutex);
    shared_->window = results;
    shared_->waiting.push_back({std::move(work), std::move(done)});
    ++shared_->pending;
    // A new thread only when none is idle (each idle one takes one item).
    if (static_cast<int>(shared_->waiting.size()) > shared_->idle && shared_->threads < shared_->maxThreads) {
      ++shared_->threads;
      start = true;
    }
  }
  shared_->wake.notify_one();
  // Detached: a thread blocked in a look-up must not hold up the program's end.
  if (start) std::thread(&Shared::Drain, shared_).detach();
}

void BackgroundWork::DeliverFinished() {
  for (;;) {
    std::function<void()> done;
    {
      std::lock_guard lock(shared_->mutex);
      if (shared_->finished.empty()) return;
      done = std::move(shared_->finished.front());
      shared_->finished.pop_front();
      --shared_->pending;
    }
    Guard(done);
  }
}

LRESULT BackgroundWork::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kBackgroundDoneMessage) {
    DeliverFinished();
    return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace vello
