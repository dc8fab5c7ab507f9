// The send pass at the end of a check: every queued reply goes out through
// the account's SMTP session, one SendMail each, then EndMail. A reply the
// server took is flagged Deleted (purged when the check ends); a temporary
// refusal (4xx) keeps it queued for the next check; a permanent one (5xx)
// marks it failed with the server's line, and it is never sent again.
// Checker thread only, inside the session's callbacks.
#include <string>

#include "account/MailAccount.h"
#include "account/MessageHeader.h"
#include "base/StrConv.h"
#include "mime/Address.h"

namespace pw {

namespace {

std::wstring FieldAddress(const MailMessage& m, const wchar_t* name) {
  const wchar_t* value = nextFieldValue(m, name);
  return value ? FindAddress(value) : std::wstring();
}

}  // namespace

void MailAccount::SendNextReply() {
  if (!session_ || !sending) return;
  while (sendNext_ < sendQueue_.size()) {
    RefPtr<MailMessage> m = sendQueue_[sendNext_++];
    std::wstring from, to;
    std::string text;
    {
      SharedGuard g(messageLock_);
      if (m->HasFlag(MessageFlags::Deleted) || m->SendFailed() || !m->rawMessage.IsSet()) continue;
      from = FieldAddress(*m, L"From");
      to = FieldAddress(*m, L"To");
      text.assign(m->rawMessage.Get(), m->rawMessage.Size());
    }
    sendCurrent_ = m;
    if (!session_) return;  // the session ended meanwhile
    if (!from.empty() && !to.empty() &&
        session_->SendMail(WideToAnsi(from.c_str()).c_str(), WideToAnsi(to.c_str()).c_str(), text.c_str()))
      return;
    // Never "<>" or an address that is not one: the reply waits for the
    // user instead.
    ReplyRefused("554 no valid sender or recipient address in the reply");
  }
  sendCurrent_ = RefPtr<MailMessage>();
  if (session_) session_->EndMail();
}

void MailAccount::ReplySent() {
  if (!sendCurrent_) return;
  sendCurrent_->SetFlags(MessageFlags::Deleted);
  const std::wstring to = FieldAddress(*sendCurrent_, L"To");
  LogEvent(EventKind::Info, (L"Reply sent to " + to).c_str());
  sendCurrent_ = RefPtr<MailMessage>();
  dirty = 1;
}

void MailAccount::ReplyRefused(const char* line) {
  if (!sendCurrent_) return;
  const std::wstring text = AnsiToWide(line ? line : "");
  const std::wstring to = FieldAddress(*sendCurrent_, L"To");
  if (line && line[0] == '4') {
    LogEvent(EventKind::Error, (L"Reply to " + to + L" kept for the next check: " + text).c_str());
  } else {
    {
      ExclusiveGuard g(messageLock_);
      sendCurrent_->sendError.Set(text.c_str());
    }
    LogEvent(EventKind::Error, (L"Reply to " + to + L" failed: " + text).c_str());
    dirty = 1;
  }
  sendCurrent_ = RefPtr<MailMessage>();
}

}  // namespace pw
