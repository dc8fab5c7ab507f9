// A quick reply: the Quick Reply dialog's initial values taken from the
// message answered, and the composed message queued on the account as an
// Outgoing record, sent by the send pass at the end of the next check.
#pragma once

#include <string>

namespace pw {

class MailAccount;
class MailMessage;
struct AccountSettings;

// What the user wrote (UTF-16).
struct QuickReplyText {
  std::wstring from;     // "Name <address>" or an address
  std::wstring to;       // the same
  std::wstring subject;
  std::wstring body;
  std::wstring charset;  // header charset name; empty: "iso-8859-1"
};

enum class ReplyError : int {
  kNone = 0,
  kNoRecipient = 1,  // no valid address in To
  kNoSender = 2,     // no valid address in From
};

// The dialog's initial values. To: the original's Reply-To when it holds a
// valid address, else its From (either may be empty). Subject: "Re: " and
// the original's subject, unless that already starts with "Re:". From: the
// account's outgoing name and address. Quoted text: "> " before every line.
std::wstring InitialReplyTo(const MailMessage& original);
std::wstring InitialReplySubject(const MailMessage& original);
std::wstring InitialReplyFrom(const AccountSettings& settings);
std::wstring QuoteText(const std::wstring& text);

// The complete message text (CR LF line ends). `original` (may be null)
// gives In-Reply-To and References; `date` (null: now) the Date value.
ReplyError ComposeReply(const QuickReplyText& reply, const MailMessage* original, const char* date,
                        std::string& text);
// Composes and appends the reply to the account's list (type Outgoing).
// Nothing is queued when an address is missing.
ReplyError QueueQuickReply(MailAccount& account, const MailMessage* original, const QuickReplyText& reply);
// Why a reply was not queued, for the user.
std::wstring ReplyErrorText(ReplyError error);

}  // namespace pw
