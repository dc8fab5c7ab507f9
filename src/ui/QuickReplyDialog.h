// The Quick Reply dialog: the reply's fields, filled from the message
// answered, queued on the account on Send.
#pragma once

#include <windows.h>
#include <string>

namespace pw {
class MailAccount;
class MailMessage;
}  // namespace pw

namespace pw::ui {

// Modal; 1 when a reply was queued on `account`, anything else otherwise.
INT_PTR ShowQuickReplyDialog(HWND owner, HMODULE resources, MailAccount& account, MailMessage& message);

// Why Quick Reply cannot be used for the account (empty: it can): no
// outgoing server, or no sender address.
std::wstring QuickReplyUnavailableReason(const MailAccount& account);

}  // namespace pw::ui
