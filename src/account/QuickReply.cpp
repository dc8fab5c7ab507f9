#include "account/QuickReply.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cwctype>

#include "account/AccountSettings.h"
#include "account/MailAccount.h"
#include "account/MailMessage.h"
#include "account/MessageBody.h"
#include "account/MessageHeader.h"
#include "base/Md5.h"
#include "mime/Address.h"
#include "mime/MailCompose.h"

namespace pw {

namespace {

// At most this many ids in References: the first (the thread's start) and
// the latest ones (RFC 5322 3.6.4 allows trimming the middle).
constexpr size_t kMaxReferences = 20;

std::string Ascii(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (const wchar_t c : text) out += static_cast<char>(c < 128 ? c : '?');
  return out;
}

// A new id, unique by time, process, counter and a hash of them.
std::string NewMessageId(const std::wstring& fromAddress) {
  static std::atomic<unsigned> counter{0};
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  char seed[96];
  const int n = snprintf(seed, sizeof(seed), "%lld.%lu.%lu.%lu.%u", static_cast<long long>(now.QuadPart),
                         ft.dwHighDateTime, ft.dwLowDateTime, GetCurrentProcessId(), counter++);
  const std::string hash = Md5::Hex(seed, static_cast<size_t>(n));
  const size_t at = fromAddress.rfind(L'@');
  std::string domain = at == std::wstring::npos ? "localhost" : Ascii(fromAddress.substr(at + 1));
  return "<" + hash.substr(0, 24) + "@" + domain + ">";
}

}  // namespace

std::wstring InitialReplyTo(const MailMessage& original) {
  if (const wchar_t* replyTo = nextFieldValue(original, L"Reply-To"))
    if (!FindAddress(replyTo).empty()) return replyTo;
  const wchar_t* from = nextFieldValue(original, L"From");
  return from ? from : L"";
}

std::wstring InitialReplySubject(const MailMessage& original) {
  const wchar_t* subject = nextFieldValue(original, L"Subject");
  std::wstring text = subject ? subject : L"";
  size_t b = 0;
  while (b < text.size() && iswspace(text[b])) ++b;
  if (text.size() - b >= 3 && _wcsnicmp(text.c_str() + b, L"re:", 3) == 0) return text.substr(b);
  return L"Re: " + text.substr(b);
}

std::wstring InitialReplyFrom(const AccountSettings& settings) {
  if (!settings.outName[0]) return settings.outFrom;
  return std::wstring(L"\"") + settings.outName + L"\" <" + settings.outFrom + L">";
}

std::wstring QuoteText(const std::wstring& text) {
  const std::wstring lines = NormalizeLineEnds(text);
  std::wstring out = L"> ";
  out.reserve(lines.size() + lines.size() / 16 + 2);
  for (size_t i = 0; i < lines.size(); ++i) {
    out += lines[i];
    if (lines[i] == L'\n' && i + 1 < lines.size()) out += L"> ";
  }
  return out;
}

ReplyError ComposeReply(const QuickReplyText& reply, const MailMessage* original, const char* date,
                        std::string& text) {
  text.clear();
  const std::wstring toAddress = FindAddress(reply.to);
  if (toAddress.empty()) return ReplyError::kNoRecipient;
  const std::wstring fromAddress = FindAddress(reply.from);
  if (fromAddress.empty()) return ReplyError::kNoSender;
  const std::wstring fromName = DisplayName(reply.from);
  const std::wstring toName = DisplayName(reply.to);
  const std::wstring body = NormalizeLineEnds(reply.body);

  // One charset for the whole message: the chosen one when everything fits.
  const std::wstring all = body + L"\n" + reply.subject + L"\n" + fromName + L"\n" + toName;
  const std::wstring charset = FittingCharset(all, reply.charset.empty() ? nullptr : reply.charset.c_str());
  const std::string bytes = ToCharsetBytes(body, charset);
  const bool plain = Fits7Bit(bytes);

  text.reserve(bytes.size() + bytes.size() / 4 + 1024);
  text += HeaderField("From", AddressField(fromName, fromAddress, charset, 6));
  text += HeaderField("To", AddressField(toName, toAddress, charset, 4));
  text += HeaderField("Subject", EncodedPhrase(reply.subject, charset, 9));
  text += HeaderField("Date", date ? std::string(date) : MailDateNow());
  text += HeaderField("Message-ID", NewMessageId(fromAddress));
  if (original) {
    // Threading (RFC 5322 3.6.4) from well-formed ids only.
    const wchar_t* idValue = nextFieldValue(*original, L"Message-ID");
    const std::vector<std::string> ids = MessageIds(idValue ? idValue : L"");
    if (!ids.empty()) {
      const wchar_t* refValue = nextFieldValue(*original, L"References");
      std::vector<std::string> refs = MessageIds(refValue ? refValue : L"");
      if (refs.empty()) {
        const wchar_t* inReplyTo = nextFieldValue(*original, L"In-Reply-To");
        refs = MessageIds(inReplyTo ? inReplyTo : L"");
        if (refs.size() > 1) refs.resize(1);
      }
      refs.push_back(ids.front());
      if (refs.size() > kMaxReferences) refs.erase(refs.begin() + 1, refs.end() - (kMaxReferences - 1));
      std::string references;
      for (const auto& r : refs) references += (references.empty() ? "" : " ") + r;
      text += HeaderField("In-Reply-To", ids.front());
      text += HeaderField("References", references);
    }
  }
  text += "MIME-Version: 1.0\r\n";
  text += "Content-Type: text/plain; charset=" + Ascii(charset) + "\r\n";
  text += std::string("Content-Transfer-Encoding: ") + (plain ? "7bit" : "quoted-printable") + "\r\n";
  text += "\r\n";
  if (plain)
    text += bytes;
  else
    text += QuotedPrintable(bytes);
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) text += "\r\n";
  return ReplyError::kNone;
}

ReplyError QueueQuickReply(MailAccount& account, const MailMessage* original, const QuickReplyText& reply) {
  std::string text;
  const ReplyError error = ComposeReply(reply, original, nullptr, text);
  if (error != ReplyError::kNone) return error;
  RefPtr<MailMessage> m = MailMessage::Create(L"");
  m->SetType(MessageType::Outgoing);  // before the list sees it: never indexed by UIDL
  const size_t headerEnd = text.find("\r\n\r\n");
  parseHeader(*m, text.data(), headerEnd + 2);
  parseMessage(*m, text.data(), text.size());
  m->size = static_cast<uint32_t>(text.size());
  m->justArrived = 0;
  account.AddMessage(m.Get());
  return ReplyError::kNone;
}

std::wstring ReplyErrorText(ReplyError error) {
  switch (error) {
    case ReplyError::kNoRecipient: return L"The reply has no valid recipient address.";
    case ReplyError::kNoSender: return L"The account has no valid sender address for replies.";
    default: return std::wstring();
  }
}

}  // namespace pw
