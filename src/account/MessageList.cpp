#include "account/MessageList.h"

namespace pw {

MailMessage* MessageList::Find(std::wstring_view uidl) const {
  auto it = index_.find(uidl);
  return it == index_.end() ? nullptr : it->second;
}

bool MessageList::Append(RefPtr<MailMessage> message) {
  if (!message) return false;
  MailMessage* m = message.Get();
  if (m->Uidl() && !m->IsOutgoing()) {
    if (!index_.emplace(std::wstring_view(m->Uidl()), m).second) return false;
  }
  items_.push_back(std::move(message));
  return true;
}

void MessageList::Unindex(MailMessage* m) {
  if (!m->Uidl()) return;
  auto it = index_.find(std::wstring_view(m->Uidl()));
  if (it != index_.end() && it->second == m) index_.erase(it);
}

void MessageList::Swap(MessageList& other) noexcept {
  items_.swap(other.items_);
  index_.swap(other.index_);
}

void MessageList::Clear() {
  index_.clear();
  items_.clear();
}

}  // namespace pw
