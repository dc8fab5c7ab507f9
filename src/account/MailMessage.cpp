#include "account/MailMessage.h"

#include "account/MessageBody.h"
#include "account/MessageHeader.h"
#include "base/SettingsTree.h"

namespace pw {
namespace {

// A binary value written with its terminating NUL: the text is the bytes
// before that NUL.
void ReadTerminated(SettingsTree& tree, const wchar_t* key, OwnedBytes& out) {
  uint32_t size = 0;
  const uint8_t* p = tree.GetBinary(key, &size);
  if (!p) return;
  if (size && p[size - 1] == 0) --size;
  out.Set(p, size);
}

}  // namespace

RefPtr<MailMessage> MailMessage::Create(const wchar_t* uidl) {
  MailMessage* m = new MailMessage();
  m->uidl_.Set(uidl);
  return RefPtr<MailMessage>::Adopt(m);
}

MailMessage::~MailMessage() = default;

ULONG MailMessage::Release() {
  LONG left = InterlockedDecrement(&refCount_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

void MailMessage::Save(SettingsTree& t) const {
  t.SetInt(L"size", static_cast<int32_t>(size));
  t.SetInt(L"state", static_cast<int32_t>(State()));
  t.SetInt(L"type", static_cast<int32_t>(Type()));
  t.SetString(L"uidl", uidl_.Get());
  t.SetInt(L"bkColor", bkColor);
  t.SetInt(L"color", color);
  t.SetString(L"icon", icon.Get());
  t.SetString(L"filter", filterText.Get());
  if (rawHeader.IsSet()) t.SetBinary(L"header", rawHeader.Get(), rawHeader.Size() + 1);
  if (IsOutgoing() && rawMessage.IsSet()) t.SetBinary(L"body", rawMessage.Get(), rawMessage.Size() + 1);
  if (IsOutgoing() && sendError.IsSet()) t.SetString(L"sendError", sendError.Get());
}

RefPtr<MailMessage> MailMessage::Load(SettingsTree& t) {
  RefPtr<MailMessage> m = Create(t.GetString(L"uidl", nullptr));
  m->size = static_cast<uint32_t>(t.GetInt(L"size", 0));
  m->state_ = static_cast<uint32_t>(t.GetInt(L"state", 0));
  m->type_ = static_cast<uint32_t>(t.GetInt(L"type", 0));
  m->bkColor = t.GetInt(L"bkColor", kDefaultColor);
  m->color = t.GetInt(L"color", kDefaultColor);
  m->icon.Set(t.GetString(L"icon", nullptr));
  m->filterText.Set(t.GetString(L"filter", nullptr));
  ReadTerminated(t, L"header", m->rawHeader);
  // Only a queued reply is stored with its text.
  if (m->IsOutgoing()) {
    ReadTerminated(t, L"body", m->rawMessage);
    m->sendError.Set(t.GetString(L"sendError", nullptr));
  }
  if (m->rawHeader.IsSet()) parseHeaderFields(*m);
  if (m->rawMessage.IsSet()) splitMessage(*m);
  return m;
}

}  // namespace pw
