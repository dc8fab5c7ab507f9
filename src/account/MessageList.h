// An account's messages in server listing order, with a hash index over the
// UIDLs of received messages so that a listing finds each one in constant
// time. Queued replies (Outgoing) are never indexed: a listing cannot match
// them. UIDLs compare exactly (case-sensitive, whole string), and the list
// never holds two received messages with one UIDL. Not locked: the account
// guards it with its message lock.
#pragma once

#include <cstddef>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "account/MailMessage.h"

namespace pw {

class MessageList {
 public:
  size_t Size() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }
  MailMessage* At(size_t i) const { return items_[i].Get(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  // The received message with exactly this UIDL, or null.
  MailMessage* Find(std::wstring_view uidl) const;
  // Appends, taking the reference. A received message whose UIDL is already
  // listed is refused (false) and released.
  bool Append(RefPtr<MailMessage> message);
  // Removes every message for which `remove` is true, keeping the order of
  // the others; `removed` sees each one before the list lets go of it.
  template <typename Pred, typename Fn>
  size_t RemoveIf(Pred remove, Fn removed);
  void Swap(MessageList& other) noexcept;
  void Clear();

 private:
  void Unindex(MailMessage* m);

  std::vector<RefPtr<MailMessage>> items_;
  // Keys view the messages' own UIDLs, which never change.
  std::unordered_map<std::wstring_view, MailMessage*> index_;
};

template <typename Pred, typename Fn>
size_t MessageList::RemoveIf(Pred remove, Fn removed) {
  size_t kept = 0, gone = 0;
  for (size_t i = 0; i < items_.size(); ++i) {
    MailMessage* m = items_[i].Get();
    if (remove(*m)) {
      removed(*m);
      Unindex(m);
      items_[i] = RefPtr<MailMessage>();
      ++gone;
    } else {
      if (kept != i) items_[kept] = std::move(items_[i]);
      ++kept;
    }
  }
  items_.resize(kept);
  return gone;
}

}  // namespace pw
