// The account's side of a POP3 session: the listing with its two sentinels,
// arriving headers and messages, confirmed deletions, errors, and the
// pending-action runner that tells the session what to do next.
#include <cstring>
#include <string>

#include "account/AccountOwner.h"
#include "account/MailAccount.h"
#include "account/MessageBody.h"
#include "account/MessageFile.h"
#include "account/MessageHeader.h"
#include "base/StrConv.h"
#include "mail/SessionFactory.h"

namespace pw {
namespace {

// UIDLs are printable ASCII on the wire, the same in every ANSI code page;
// anything else goes through the code page.
std::wstring UidlToWide(const char* uidl) {
  std::wstring out;
  out.reserve(strlen(uidl));
  for (const char* p = uidl; *p; ++p) {
    if (static_cast<unsigned char>(*p) >= 0x80) return AnsiToWide(uidl);
    out.push_back(static_cast<wchar_t>(*p));
  }
  return out;
}

}  // namespace

void MailAccount::BeginListing() {
  SharedGuard g(messageLock_);
  for (const auto& m : messages_) m->notSeen = m->IsOutgoing() ? 0 : 1;
}

void MailAccount::EndListing() {
  std::vector<RefPtr<MailMessage>> removed;
  {
    ExclusiveGuard g(messageLock_);
    messages_.RemoveIf([](const MailMessage& m) { return m.notSeen && !m.IsOutgoing(); },
                       [&](MailMessage& m) { removed.emplace_back(&m); });
  }
  if (removed.empty()) return;
  dirty = 1;
  ReportRemoved(removed);
}

int MailAccount::OnListEntry(const char* uidl, uint32_t size) {
  if (!uidl) {
    // A message the server listed without a UIDL also comes as null. Only
    // (null, 0) outside a listing begins one and only (null, all ones)
    // ends it; any other null entry cannot be tracked and is passed over,
    // so it never ends a listing early and drops the messages after it.
    if (size == 0 && !listing_) {
      listing_ = true;
      BeginListing();
    } else if (size == kListingEnd && listing_) {
      listing_ = false;
      EndListing();
    }
    return kActionNone;
  }
  std::wstring id = UidlToWide(uidl);
  RefPtr<MailMessage> m;
  {
    SharedGuard g(messageLock_);
    if (MailMessage* known = messages_.Find(id)) {
      known->notSeen = 0;
      return RunPendingActions(*known);
    }
  }
  bool wantHeader = owner_ && (owner_->FilteringEnabled() || owner_->ListWindowOpen());
  {
    ExclusiveGuard g(messageLock_);
    MailMessage* known = messages_.Find(id);  // another thread may have added it meanwhile
    if (known) {
      known->notSeen = 0;
      m = RefPtr<MailMessage>(known);
    } else {
      m = MailMessage::Create(id.c_str());
      m->size = size;
      m->ReplaceState(MessageState::New);
      if (wantHeader) m->SetFlags(MessageFlags::NeedHeader);
      messages_.Append(m);
      dirty = 1;
    }
  }
  SharedGuard g(messageLock_);
  return RunPendingActions(*m);
}

// Finds the listed message, marks it seen and clears the flags of the
// action that has just been done. The caller holds the lock exclusively.
RefPtr<MailMessage> MailAccount::Take(const char* uidl, uint32_t clearFlags) {
  if (!uidl) return RefPtr<MailMessage>();
  MailMessage* m = messages_.Find(UidlToWide(uidl));
  if (!m) return RefPtr<MailMessage>();
  m->notSeen = 0;
  m->ClearFlags(clearFlags);
  return RefPtr<MailMessage>(m);
}

int MailAccount::OnHeader(const char* uidl, const char* text) {
  RefPtr<MailMessage> m;
  {
    // Exclusive: the header replaces what readers of the message may be
    // looking at.
    ExclusiveGuard g(messageLock_);
    m = Take(uidl, MessageFlags::NeedHeader);
    if (!m) return kActionNone;
    m->rawHeader.Set(text ? text : "");
    m->headerFields.clear();
    parseHeaderFields(*m);
  }
  dirty = 1;
  if (owner_) owner_->TakeHeader(*this, *m);
  SharedGuard g(messageLock_);
  return RunPendingActions(*m);
}

int MailAccount::OnMessage(const char* uidl, const char* text) {
  RefPtr<MailMessage> m;
  {
    ExclusiveGuard g(messageLock_);
    m = Take(uidl, MessageFlags::NeedBody);
    if (!m) return kActionNone;
    m->rawMessage.Set(text ? text : "");
    m->parts.clear();
    splitMessage(*m);
  }
  if (owner_) owner_->TakeBody(*this, *m);
  SharedGuard g(messageLock_);
  return RunPendingActions(*m);
}

void MailAccount::OnDeleted(const char* uidl) {
  RefPtr<MailMessage> m;
  {
    SharedGuard g(messageLock_);
    if (!uidl) return;
    m = RefPtr<MailMessage>(messages_.Find(UidlToWide(uidl)));
    if (!m) return;
    m->notSeen = 0;
  }
  if (owner_) owner_->LogDeletedMessage(*this, *m);
  m->ClearFlags(MessageFlags::Delete);
  m->SetFlags(MessageFlags::Deleted);
}

void MailAccount::OnError(uint32_t code, uint32_t param, const char* text) {
  const std::wstring line = text ? AnsiToWide(text) : SessionErrorText(code, param);
  LogEvent(EventKind::Error, line.c_str());
  // A dropped connection (or a send that fails on it) after an earlier
  // failure of this check, such as a server that said "-ERR [SYS/TEMP]
  // Server shutting down" and hung up, keeps that failure: it says why.
  const bool drop = code == kErrorReceive || code == kErrorClosed || code == kErrorSend;
  if (drop && lastError != 0) return;
  std::wstring shown = SessionErrorText(code, param);
  if (text && *text) shown += (shown.empty() ? L"" : L": ") + AnsiToWide(text);
  {
    ExclusiveGuard g(eventLock_);
    errorText_ = shown;
  }
  statusCode = kStatusError;
  statusArg = code;
  lastError = code;
  if (owner_) owner_->StatusChanged(*this, kStatusError, code);
}

std::wstring MailAccount::ErrorText() const {
  if (lastError == 0) return std::wstring();
  SharedGuard g(eventLock_);
  return errorText_.empty() ? SessionErrorText(lastError, 0) : errorText_;
}

int MailAccount::RunPendingActions(MailMessage& m) {
  uint32_t f = m.Flags();
  if ((f & MessageFlags::NeedHeader) && !m.rawHeader.IsSet()) return kActionHeader;
  if ((f & MessageFlags::NeedBody) && !m.rawMessage.IsSet()) return kActionBody;
  // Each step clears its own flag (and keeps it while there is no text to save).
  if (m.HasFlag(MessageFlags::SaveToFile)) saveByRule(m);
  if (m.HasFlag(MessageFlags::RunCommand)) runCommand(m);
  if (m.HasFlag(MessageFlags::Delete)) return kActionDelete;
  if ((m.ClearFlags(MessageFlags::PlaySound) & MessageFlags::PlaySound) && owner_ && m.ruleSound.IsSet())
    owner_->PlayNotifySound(m.ruleSound.Get());
  return kActionNone;
}

}  // namespace pw
