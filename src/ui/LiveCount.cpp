#include "ui/LiveCount.h"

#include <optional>

#include "base/Scoped.h"
#include "filter/RuleMatchCount.h"

namespace pw::ui {
namespace {

std::wstring Grouped(size_t n) {
  const std::wstring digits = std::to_wstring(n);
  wchar_t thousand[8] = L",", decimal[8] = L".";
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousand, 8);
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8);
  NUMBERFMTW format = {};
  format.NumDigits = 0;
  format.Grouping = 3;
  format.lpDecimalSep = decimal;
  format.lpThousandSep = thousand;
  wchar_t out[64];
  if (!GetNumberFormatW(LOCALE_USER_DEFAULT, 0, digits.c_str(), &format, out, 64)) return digits;
  return out;
}

}  // namespace

std::wstring MatchCountText(size_t matched, size_t total) {
  return L"matches " + Grouped(matched) + L" of " + Grouped(total);
}

LiveCount::LiveCount(std::vector<RefPtr<MailAccount>> accounts) : accounts_(std::move(accounts)) {}

LiveCount::~LiveCount() { Stop(); }

void LiveCount::Start(const FilterRule& rule, HWND window, UINT message) {
  if (!Enabled()) return;
  auto copy = std::make_unique<FilterRule>(rule);
  {
    std::lock_guard<std::mutex> g(lock_);
    if (quit_) return;
    pending_ = std::move(copy);
    window_ = window;
    message_ = message;
    ++ticket_;
  }
  wake_.notify_one();
  if (!worker_.joinable()) worker_ = std::thread([this] { Run(); });
}

void LiveCount::Cancel() {
  std::lock_guard<std::mutex> g(lock_);
  pending_.reset();
  ++ticket_;
}

bool LiveCount::Take(WPARAM ticket, std::wstring& text) {
  std::lock_guard<std::mutex> g(lock_);
  if (ticket != ticket_ || doneTicket_ != ticket_) return false;
  text = MatchCountText(matched_, total_);
  return true;
}

void LiveCount::Stop() {
  {
    std::lock_guard<std::mutex> g(lock_);
    quit_ = true;
    pending_.reset();
    ++ticket_;
  }
  wake_.notify_one();
  if (worker_.joinable()) worker_.join();
}

void LiveCount::Run() {
  for (;;) {
    std::unique_ptr<FilterRule> rule;
    unsigned ticket;
    {
      std::unique_lock<std::mutex> g(lock_);
      wake_.wait(g, [this] { return quit_ || pending_; });
      if (quit_) return;
      rule = std::move(pending_);
      ticket = ticket_;
    }
    // Gathered afresh for every request: mail may have come meanwhile.
    const std::vector<HeldMessage> messages = GatherMessages(accounts_);
    const std::optional<size_t> matched =
        CountRuleMatches(*rule, messages, [this, ticket] { return quit_ || ticket != ticket_; });
    std::lock_guard<std::mutex> g(lock_);
    if (!matched || quit_ || ticket != ticket_) continue;
    doneTicket_ = ticket;
    matched_ = *matched;
    total_ = messages.size();
    PostMessageW(window_, message_, ticket, 0);
  }
}

}  // namespace pw::ui
