#pragma once
// Work that may block (a name look-up waiting for a resolver that does not
// answer) runs on a few threads of its own, which wait a while for more
// work before they end; its result comes back on the
// user-interface thread, as a window message to this object's window. Once
// the object is gone, results that arrive later are dropped: a thread never
// writes into memory its requester has freed.
#include <windows.h>

#include <functional>
#include <memory>

#include "platform/window.h"

namespace vello {

class BackgroundWork : public MessageOnlyWindow {
 public:
  // At most `maxThreads` run at once; more work waits its turn.
  explicit BackgroundWork(int maxThreads = 4);
  ~BackgroundWork() override;

  // `work` runs on a background thread and returns what `done` gets on the
  // user-interface thread. Neither may throw.
  template <typename Result>
  void Run(std::function<Result()> work, std::function<void(Result)> done) {
    auto result = std::make_shared<Result>();
    Post([work = std::move(work), result] { *result = work(); },
         [done = std::move(done), result] { done(std::move(*result)); });
  }

  // Work not yet handed back.
  int pending() const;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  struct Shared;
  void Post(std::function<void()> work, std::function<void()> done);
  void DeliverFinished();

  std::shared_ptr<Shared> shared_;
};

}  // namespace vello
