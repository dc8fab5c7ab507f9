// The rule editor's live count: how many of the messages in memory the
// selected rule matches, worked out on a thread of its own so that typing
// and the dialog never wait for it. A new request cancels the one under
// way; only the answer to the latest request is ever taken.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "account/MailAccount.h"
#include "base/RefPtr.h"
#include "filter/RuleModel.h"

namespace pw::ui {

class LiveCount {
 public:
  // `accounts` hold the messages counted over; without any there is no count.
  explicit LiveCount(std::vector<RefPtr<MailAccount>> accounts);
  ~LiveCount();
  LiveCount(const LiveCount&) = delete;
  LiveCount& operator=(const LiveCount&) = delete;

  bool Enabled() const { return !accounts_.empty(); }
  // Counts for a copy of `rule`; when done, posts `message` to `window`
  // with the request's ticket as wParam.
  void Start(const FilterRule& rule, HWND window, UINT message);
  // Forgets the request under way (no rule selected).
  void Cancel();
  // On the posted message: the label text, or false when a newer request
  // has been made since (the answer is stale).
  bool Take(WPARAM ticket, std::wstring& text);
  // Ends the thread; no message is posted after this returns.
  void Stop();

 private:
  void Run();

  std::vector<RefPtr<MailAccount>> accounts_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::unique_ptr<FilterRule> pending_;
  HWND window_ = nullptr;
  UINT message_ = 0;
  // Changed under lock_, read without it between messages.
  std::atomic<unsigned> ticket_{0};  // of the latest request
  std::atomic<bool> quit_{false};
  unsigned doneTicket_ = 0;
  size_t matched_ = 0, total_ = 0;
  std::thread worker_;
};

// "matches 12 of 3,410", the numbers grouped as the user's locale does.
std::wstring MatchCountText(size_t matched, size_t total);

}  // namespace pw::ui
