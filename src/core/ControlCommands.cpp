// A text command interface for the stand-in host and for scripts, so that a
// mailbox can be set up, checked and inspected without the dialogs:
//   account NAME key=value ...   add the account NAME or change it; keys:
//       server port user password security=none|tls|stls apop=0|1 pin=FP
//       interval=SECONDS timeout=SECONDS delay=SECONDS suspend=0|1
//       connection=0|1|2 sound=FILE command=CMDLINE
//       out-server out-port out-user out-password out-from out-name
//       out-security=none|tls|stls out-pin=FP   (the SMTP server of replies)
//   proxy TYPE HOST PORT [USER PASSWORD]   TYPE: none socks4 socks4a socks5 http
//   reply ACCOUNT N TEXT [SUBJECT]   queue a quick reply to message N (from 1,
//       as the report counts) of ACCOUNT; "\n" in TEXT is a line break
//   busy      "<check now pending> <accounts busy> <accounts never checked>"
//   report    every account: status, last error, messages (type, colours,
//             icon, pending actions, subject, sender) and connection log
//   filters on|off, import-conditions RULE FILE, export-conditions RULE FILE,
//   filter-editor, filter-condition HEADERFILE   (ControlFilters.cpp)
// Exported as PostwardenControl(plugin, command, &output); the output is
// allocated with CoTaskMemAlloc and freed by the caller.
#include <windows.h>
#include <objbase.h>

#include <cwchar>
#include <string>
#include <vector>

#include "account/MessageHeader.h"
#include "account/QuickReply.h"
#include "core/PluginObject.h"
#include "mime/CharsetList.h"
#include "base/Module.h"
#include "mail/SessionFactory.h"
#include "resource.h"

namespace pw {
namespace {

std::vector<std::wstring> Words(const wchar_t* text) {
  std::vector<std::wstring> out;
  std::wstring word;
  bool quoted = false, any = false;
  for (const wchar_t* p = text; *p; ++p) {
    if (*p == L'"') {
      quoted = !quoted;
      any = true;
    } else if (!quoted && (*p == L' ' || *p == L'\t')) {
      if (any) out.push_back(word);
      word.clear();
      any = false;
    } else {
      word.push_back(*p);
      any = true;
    }
  }
  if (any) out.push_back(word);
  return out;
}

template <size_t N>
void Copy(wchar_t (&field)[N], const std::wstring& value) {
  lstrcpynW(field, value.c_str(), static_cast<int>(N));
}

uint32_t Number(const std::wstring& v) { return static_cast<uint32_t>(wcstoul(v.c_str(), nullptr, 10)); }

bool SecurityBits(const std::wstring& v, uint32_t& bits, std::wstring& error) {
  if (v == L"none") bits = 0;
  else if (v == L"tls") bits = ServerOptions::Tls;
  else if (v == L"stls") bits = ServerOptions::StartTls;
  else {
    error = L"security must be none, tls or stls";
    return false;
  }
  return true;
}

bool SetOutgoingKey(AccountSettings& s, const std::wstring& key, const std::wstring& v, std::wstring& error) {
  if (key == L"out-server") Copy(s.outServer, v);
  else if (key == L"out-port") s.outPort = Number(v);
  else if (key == L"out-user") Copy(s.outUser, v);
  else if (key == L"out-password") Copy(s.outPassword, v);
  else if (key == L"out-from") Copy(s.outFrom, v);
  else if (key == L"out-name") Copy(s.outName, v);
  else if (key == L"out-pin") Copy(s.outFingerprint, v);
  else if (key == L"out-security") {
    uint32_t bits;
    if (!SecurityBits(v, bits, error)) return false;
    s.outOptions = (s.outOptions & ~(ServerOptions::Tls | ServerOptions::StartTls)) | bits;
  } else {
    error = L"unknown key " + key;
    return false;
  }
  return true;
}

bool SetKey(AccountSettings& s, const std::wstring& key, const std::wstring& v, std::wstring& error) {
  if (key.rfind(L"out-", 0) == 0) return SetOutgoingKey(s, key, v, error);
  if (key == L"server") Copy(s.inServer, v);
  else if (key == L"port") s.inPort = Number(v);
  else if (key == L"user") Copy(s.inUser, v);
  else if (key == L"password") Copy(s.inPassword, v);
  else if (key == L"pin") Copy(s.inFingerprint, v);
  else if (key == L"apop") s.inOptions = (s.inOptions & ~ServerOptions::Apop) | (Number(v) ? ServerOptions::Apop : 0);
  else if (key == L"security") {
    uint32_t bits;
    if (!SecurityBits(v, bits, error)) return false;
    s.inOptions = (s.inOptions & ~(ServerOptions::Tls | ServerOptions::StartTls)) | bits;
  }
  else if (key == L"interval") s.interval = Number(v) * 1000;
  else if (key == L"timeout") s.timeout = Number(v) * 1000;
  else if (key == L"delay") s.beginDelay = Number(v) * 1000;
  else if (key == L"suspend") s.suspend = Number(v) ? 1 : 0;
  else if (key == L"connection") s.connection = Number(v);
  else if (key == L"sound") Copy(s.sound, v);
  else if (key == L"command") Copy(s.cmdLine, v);
  else {
    error = L"unknown key " + key;
    return false;
  }
  s.Normalize();
  return true;
}

wchar_t* Output(const std::wstring& text) {
  auto* out = static_cast<wchar_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (out) memcpy(out, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return out;
}

void AppendF(std::wstring& out, const wchar_t* format, ...) {
  wchar_t buf[1024];
  va_list args;
  va_start(args, format);
  _vsnwprintf(buf, 1023, format, args);
  va_end(args);
  buf[1023] = 0;
  out += buf;
}

std::wstring Field(const MailMessage& m, const wchar_t* name) {
  for (const auto& f : m.headerFields)
    if (_wcsicmp(f.first.c_str(), name) == 0) return f.second;
  return std::wstring();
}

const wchar_t* TypeName(MessageType t) {
  switch (t) {
    case MessageType::Normal: return L"normal";
    case MessageType::Spam: return L"spam";
    case MessageType::Dangerous: return L"dangerous";
    case MessageType::Approved: return L"approved";
    case MessageType::Outgoing: return L"outgoing";
  }
  return L"?";
}

// The pending actions of a message, by name.
std::wstring Actions(const MailMessage& m) {
  static const std::pair<uint32_t, const wchar_t*> kNames[] = {
      {MessageFlags::Delete, L"delete"},       {MessageFlags::SaveToFile, L"save"},
      {MessageFlags::RunCommand, L"command"},  {MessageFlags::PlaySound, L"sound"},
      {MessageFlags::NeedBody, L"need-body"},  {MessageFlags::FreeBody, L"free-body"},
      {MessageFlags::Reevaluate, L"reevaluate"}};
  std::wstring out;
  for (const auto& [bit, name] : kNames)
    if (m.HasFlag(bit)) out += (out.empty() ? L"" : L",") + std::wstring(name);
  return out.empty() ? L"none" : out;
}

}  // namespace

std::wstring PluginObject::ControlReport() const {
  std::wstring out;
  if (settingsUnread_) AppendF(out, L"settings: %ls\n", LoadStr(IDS_SETTINGS_UNREAD).c_str());
  SharedGuard g(accountsLock_);
  for (const auto& a : accounts_) {
    const uint32_t error = a->lastError;
    AppendF(out, L"account %ls: status %u, last error %u%ls%ls%ls\n", a->settings.accountName,
            static_cast<unsigned>(a->GetStatus()), error, error ? L" (" : L"",
            error ? a->ErrorText().c_str() : L"", error ? L")" : L"");
    {
      SharedGuard m(a->MessageLock());
      AppendF(out, L"  messages: %zu\n", a->Messages().Size());
      for (const auto& msg : a->Messages()) {
        AppendF(out,
                L"  message %ls size %u state %u type %u (%ls) color %d bkColor %d icon \"%ls\" actions %ls "
                L"subject \"%ls\" from \"%ls\"%ls%ls%ls\n",
                msg->Uidl() ? msg->Uidl() : L"", msg->size, msg->State(), static_cast<unsigned>(msg->Type()),
                TypeName(msg->Type()), msg->color, msg->bkColor, msg->icon.Str(), Actions(*msg).c_str(),
                Field(*msg, L"Subject").c_str(), Field(*msg, L"From").c_str(),
                msg->filterText.IsSet() ? L" filter \"" : L"", msg->filterText.Str(),
                msg->filterText.IsSet() ? L"\"" : L"");
        if (msg->IsOutgoing()) {
          const wchar_t* to = nextFieldValue(*msg, L"To");
          if (msg->SendFailed())
            AppendF(out, L"  reply to %ls failed: %ls\n", to ? to : L"", msg->sendError.Get());
          else
            AppendF(out, L"  reply to %ls %ls\n", to ? to : L"",
                    msg->HasFlag(MessageFlags::Deleted) ? L"sent" : L"queued");
        }
      }
    }
    for (const auto& e : a->Events())
      AppendF(out, L"  log %02u:%02u:%02u kind %u %ls\n", e.time.wHour, e.time.wMinute, e.time.wSecond, e.kind,
              e.text.Get() ? e.text.Get() : L"");
  }
  return out;
}

bool PluginObject::ControlAccount(const std::vector<std::wstring>& words, std::wstring& error) {
  if (words.size() < 2) {
    error = L"usage: account NAME key=value ...";
    return false;
  }
  RefPtr<MailAccount> account;
  {
    SharedGuard g(accountsLock_);
    for (const auto& a : accounts_)
      if (words[1] == a->settings.accountName) account = a;
  }
  AccountSettings s = account ? account->settings : AccountSettings();
  Copy(s.accountName, words[1]);
  for (size_t i = 2; i < words.size(); ++i) {
    const size_t eq = words[i].find(L'=');
    if (eq == std::wstring::npos) {
      error = L"expected key=value: " + words[i];
      return false;
    }
    if (!SetKey(s, words[i].substr(0, eq), words[i].substr(eq + 1), error)) return false;
  }
  // The checker must not run a session of an account being changed.
  const bool running = CheckerRunning();
  StopChecker();
  {
    ExclusiveGuard g(accountsLock_);
    if (!account) {
      account = RefPtr<MailAccount>::Adopt(new MailAccount(&accountOwner_));
      s.id = static_cast<uint32_t>(nextAccountId_++);
      accounts_.push_back(account);
    }
    account->settings = s;
    account->dirty = 1;
  }
  if (running) StartChecker();
  return true;
}

bool PluginObject::ControlProxy(const std::vector<std::wstring>& words, std::wstring& error) {
  static const wchar_t* const kTypes[] = {L"none", L"socks4", L"socks4a", L"socks5", L"http"};
  int type = -1;
  for (int i = 0; i < 5 && words.size() > 1; ++i)
    if (words[1] == kTypes[i]) type = i;
  if (type < 0 || (type > 0 && words.size() < 4)) {
    error = L"usage: proxy none|socks4|socks4a|socks5|http HOST PORT [USER PASSWORD]";
    return false;
  }
  ProxySettings p;
  if (type > 0) {
    Copy(p.server, words[2]);
    p.port = static_cast<int32_t>(Number(words[3]));
    if (p.port < 1 || p.port > 65535) {
      error = L"the proxy port must lie between 1 and 65535";
      return false;
    }
    p.options = type;
    if (words.size() >= 6) {
      Copy(p.user, words[4]);
      Copy(p.password, words[5]);
      p.options |= static_cast<int32_t>(kProxyAuthBit);
    }
  }
  settings_.proxy = p;
  return true;
}

bool PluginObject::ControlReply(const std::vector<std::wstring>& words, std::wstring& error) {
  if (words.size() < 4) {
    error = L"usage: reply ACCOUNT N TEXT [SUBJECT]";
    return false;
  }
  RefPtr<MailAccount> account;
  {
    SharedGuard g(accountsLock_);
    for (const auto& a : accounts_)
      if (words[1] == a->settings.accountName) account = a;
  }
  if (!account) {
    error = L"no account " + words[1];
    return false;
  }
  const size_t index = Number(words[2]);
  RefPtr<MailMessage> original;
  {
    SharedGuard g(account->MessageLock());
    if (index >= 1 && index <= account->Messages().Size())
      original = RefPtr<MailMessage>(account->Messages().At(index - 1));
  }
  if (!original || original->IsOutgoing()) {
    error = L"no received message " + words[2];
    return false;
  }
  if (!original->rawHeader.IsSet()) {
    account->RequestMissingHeaders(true);  // the next check fetches it
    error = L"the header of message " + words[2] + L" is not loaded yet; check again, then reply";
    return false;
  }
  QuickReplyText reply;
  {
    SharedGuard g(account->MessageLock());
    reply.to = InitialReplyTo(*original);
    reply.subject = words.size() > 4 ? words[4] : InitialReplySubject(*original);
  }
  reply.from = InitialReplyFrom(account->settings);
  for (size_t i = 0; i < words[3].size(); ++i) {
    if (words[3][i] == L'\\' && i + 1 < words[3].size() && words[3][i + 1] == L'n') {
      reply.body += L"\r\n";
      ++i;
    } else {
      reply.body += words[3][i];
    }
  }
  // The encoding the dialog would preselect: the system's ANSI charset.
  size_t selected = 0;
  const auto charsets = MailCharsets(&selected);
  if (selected < charsets.size()) reply.charset = charsets[selected].charset;
  const ReplyError result = QueueQuickReply(*account, original.Get(), reply);
  if (result != ReplyError::kNone) {
    error = ReplyErrorText(result);
    return false;
  }
  account->RequestMissingHeaders(false);  // due now: the reply goes in the next check's send pass
  return true;
}

HRESULT PluginObject::Control(const wchar_t* command, wchar_t** output) {
  if (output) *output = nullptr;
  const std::vector<std::wstring> words = Words(command ? command : L"");
  std::wstring out, error;
  bool ok = true;
  if (words.empty()) {
    error = L"empty command";
    ok = false;
  } else if (words[0] == L"account") {
    ok = ControlAccount(words, error);
  } else if (words[0] == L"proxy") {
    ok = ControlProxy(words, error);
  } else if (words[0] == L"busy") {
    int busy = 0, unchecked = 0;
    {
      SharedGuard g(accountsLock_);
      for (const auto& a : accounts_) {
        busy += a->busy ? 1 : 0;
        unchecked += a->checksEnded ? 0 : 1;
      }
    }
    AppendF(out, L"%d %d %d", CheckNowPending() ? 1 : 0, busy, unchecked);
  } else if (words[0] == L"reply") {
    ok = ControlReply(words, error);
  } else if (words[0] == L"filters" || words[0] == L"import-conditions" || words[0] == L"export-conditions" ||
             words[0] == L"filter-editor" || words[0] == L"filter-condition") {
    ok = ControlFilters(words, out, error);
  } else if (words[0] == L"account-dialog") {
    ok = ControlAccountDialog(words, out, error);
  } else if (words[0] == L"report") {
    out = ControlReport();
  } else if (words[0] == L"list-window") {
    // "list-window open|close": the messages list window; prints its handle (0: none).
    if (words.size() > 1 && words[1] == L"open") OpenMessagesList();
    if (words.size() > 1 && words[1] == L"close") listWindow_.Close();
    AppendF(out, L"%llu", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(listWindow_.Window())));
  } else {
    error = L"unknown command " + words[0];
    ok = false;
  }
  if (output) *output = Output(ok ? out : error);
  return ok ? S_OK : E_INVALIDARG;
}

}  // namespace pw

extern "C" HRESULT STDAPICALLTYPE PostwardenControl(IUnknown* plugin, const wchar_t* command, wchar_t** output) {
  if (output) *output = nullptr;
  auto* object = dynamic_cast<pw::PluginObject*>(static_cast<dockrail::IDockPlugin*>(plugin));
  if (!object) return E_INVALIDARG;
  return object->Control(command, output);
}
