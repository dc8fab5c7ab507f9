#include "account/MailAccount.h"


#include "account/AccountOwner.h"
#include "base/SettingsTree.h"
#include "mail/SessionFactory.h"

namespace pw {
namespace {

// "message#%d" without the formatting machinery: written and read once per
// stored message.
void MessageNodeName(wchar_t (&out)[32], size_t index) {
  static const wchar_t kPrefix[] = L"message#";
  wchar_t digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<wchar_t>(L'0' + index % 10);
    index /= 10;
  } while (index);
  size_t at = 0;
  for (; kPrefix[at]; ++at) out[at] = kPrefix[at];
  while (n) out[at++] = digits[--n];
  out[at] = 0;
}

}  // namespace

MailAccount::MailAccount(AccountOwner* owner) : owner_(owner) {}

MailAccount::~MailAccount() {
  {
    ExclusiveGuard g(eventLock_);
    events_.clear();
  }
  session_.reset();
  retired_.clear();
  ExclusiveGuard g(messageLock_);
  messages_.Clear();
}

ULONG MailAccount::Release() {
  LONG left = InterlockedDecrement(&refCount_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

void MailAccount::Save(SettingsTree& t) {
  SharedGuard g(messageLock_);
  // Cleared before writing: a change made while the record is written
  // marks it again instead of being lost.
  dirty = 0;
  settings.Save(t);
  t.CreateNode(L"messages");
  t.SetInt(L"count", static_cast<int32_t>(messages_.Size()));
  wchar_t name[32];
  for (size_t i = 0; i < messages_.Size(); ++i) {
    MessageNodeName(name, i);
    t.CreateNode(name);
    messages_.At(i)->Save(t);
    t.CloseNode();
  }
  t.CloseNode();
}

void MailAccount::Load(SettingsTree& t) {
  ExclusiveGuard g(messageLock_);
  settings.Load(t);
  MessageList list;
  if (t.EnterNode(L"messages")) {
    int32_t count = t.GetInt(L"count", 0);
    // Each message takes real entries; a damaged count asks for no more.
    if (count < 0) count = 0;
    if (static_cast<size_t>(count) > t.Entries().size()) count = static_cast<int32_t>(t.Entries().size());
    wchar_t name[32];
    for (int32_t i = 0; i < count; ++i) {
      MessageNodeName(name, static_cast<size_t>(i));
      // A missing node is skipped: read from the enclosing node, it would
      // copy the keys of the first message.
      if (!t.EnterNode(name)) continue;
      list.Append(MailMessage::Load(t));  // a repeated UIDL keeps its first entry
      t.LeaveNode();
    }
    t.LeaveNode();
  }
  messages_.Swap(list);
}

AccountStatus MailAccount::GetStatus() const {
  if (settings.suspend || (owner_ && owner_->Paused())) return AccountStatus::Suspended;
  uint32_t mode = settings.Mode();
  if ((mode == 1 || mode == 2) && !((owner_ ? owner_->ConnectionFlags() : 0) & mode))
    return AccountStatus::WaitingForConnection;
  if (lastError) return AccountStatus::Error;
  SharedGuard g(messageLock_);
  for (const auto& m : messages_)
    if (m->HasState(MessageState::New)) return AccountStatus::NewMail;
  return AccountStatus::Idle;
}

uint32_t MailAccount::CountNew(uint32_t* count, uint32_t* bytes) const {
  uint32_t n = 0, total = 0;
  {
    SharedGuard g(messageLock_);
    for (const auto& m : messages_) {
      if (!m->HasState(MessageState::New)) continue;
      ++n;
      total += m->size;
    }
  }
  if (count) *count = n;
  if (bytes) *bytes = total;
  return lastError;
}

void MailAccount::MarkAllRead() {
  std::vector<RefPtr<MailMessage>> changed;
  {
    SharedGuard g(messageLock_);
    for (const auto& m : messages_)
      if (m->ClearState(MessageState::New) & MessageState::New) changed.emplace_back(m.Get());
    dirty = 1;
  }
  if (!owner_) return;
  for (auto& m : changed) owner_->MessageRead(*this, *m);
  owner_->MessagesReset(*this);
}

void MailAccount::ReportRemoved(std::vector<RefPtr<MailMessage>>& removed) {
  if (owner_)
    for (auto& m : removed) owner_->MessageRemoved(*this, *m);
  removed.clear();
}

void MailAccount::ClearMessages(bool notify) {
  MessageList old;
  {
    ExclusiveGuard g(messageLock_);
    messages_.Swap(old);
  }
  if (!notify) return;
  dirty = 1;
  if (owner_)
    for (const auto& m : old) owner_->MessageRemoved(*this, *m);
}

void MailAccount::RequestMissingHeaders(bool all) {
  if (!all) {
    lastCheckTime = 0;
    firstCheck = 0;
    return;
  }
  bool marked = false;
  {
    SharedGuard g(messageLock_);
    // A queued reply has no copy on the server to fetch.
    for (const auto& m : messages_) {
      if (m->rawHeader.IsSet() || m->IsOutgoing()) continue;
      m->SetFlags(MessageFlags::NeedHeader);
      marked = true;
    }
  }
  if (marked) lastCheckTime = 0;
}

void MailAccount::RequestAllHeaders() {
  SharedGuard g(messageLock_);
  for (const auto& m : messages_)
    if (!m->IsOutgoing()) m->SetFlags(MessageFlags::NeedHeader);
}

void MailAccount::AddMessage(MailMessage* message) {
  if (!message) return;
  bool added;
  {
    ExclusiveGuard g(messageLock_);
    added = messages_.Append(RefPtr<MailMessage>(message));
  }
  if (!added) return;
  dirty = 1;  // a queued reply is kept across a restart
  if (owner_) owner_->MessageAdded(*this, *message);
}

void MailAccount::PurgeDeleted() {
  std::vector<RefPtr<MailMessage>> removed;
  {
    ExclusiveGuard g(messageLock_);
    messages_.RemoveIf([](const MailMessage& m) { return m.HasFlag(MessageFlags::Deleted); },
                       [&](MailMessage& m) { removed.emplace_back(&m); });
  }
  if (removed.empty()) return;
  dirty = 1;
  ReportRemoved(removed);
}

void MailAccount::LogEvent(uint32_t kind, const wchar_t* text) {
  {
    ExclusiveGuard g(eventLock_);
    AccountEvent& e = events_.emplace_back();
    e.kind = kind;
    GetLocalTime(&e.time);
    e.text.Set(text);
  }
  if (owner_) owner_->EventLogged(*this);
}

void MailAccount::ClearEvents() {
  {
    ExclusiveGuard g(eventLock_);
    events_.clear();
  }
  if (owner_) owner_->EventsCleared(*this);
}

std::vector<AccountEvent> MailAccount::Events(size_t first) const {
  SharedGuard g(eventLock_);
  std::vector<AccountEvent> out;
  for (size_t i = first; i < events_.size(); ++i) out.push_back(events_[i]);
  return out;
}

size_t MailAccount::MessageCount() const {
  SharedGuard g(messageLock_);
  return messages_.Size();
}

RefPtr<MailMessage> MailAccount::FindMessage(const wchar_t* uidl) const {
  if (!uidl) return RefPtr<MailMessage>();
  SharedGuard g(messageLock_);
  return RefPtr<MailMessage>(messages_.Find(uidl));
}

}  // namespace pw
