#include "platform/background_work.h"

#include <deque>
#include <mutex>
#include <thread>

#include "platform/window_messages.h"

namespace vello {

namespace {
const wchar_t kClassName[] = L"VelloBackgroundWork";
}  // namespace

// What the threads and the window share; it lives as long as either needs it.
struct BackgroundWork::Shared {
  struct Item {
    std::function<void()> work, done;
  };
  std::mutex mutex;
  HWND window = nullptr;       // null once the window is gone
  int maxThreads = 4;
  int threads = 0;             // running now
  int pending = 0;             // posted, not yet handed back
  std::deque<Item> waiting;    // not started yet
  std::deque<std::function<void()>> finished;  // results to hand back

  // Runs items until none waits; the last thread to run out ends.
  static void Drain(const std::shared_ptr<Shared>& self) {
    for (;;) {
      Item item;
      {
        std::lock_guard lock(self->mutex);
        if (self->waiting.empty()) {
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
    shared_->waiting.clear();
    shared_->finished.clear();
  }
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
    if (shared_->threads < shared_->maxThreads) {
      ++shared_->threads;
      start = true;
    }
  }
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
