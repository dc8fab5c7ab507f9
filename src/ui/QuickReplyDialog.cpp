// The Quick Reply dialog: a short plain-text answer, queued on the account
// as an Outgoing message and sent at the end of its next check.
#include "ui/QuickReplyDialog.h"

#include <richedit.h>

#include <vector>

#include "account/MailAccount.h"
#include "account/MailMessage.h"
#include "account/MessageBody.h"
#include "account/QuickReply.h"
#include "base/Scoped.h"
#include "mime/CharsetList.h"
#include "ui/DialogWindow.h"
#include "ui_ids.h"

namespace pw::ui {
namespace {

// The editor's window class lives in the rich edit library; loaded once
// and kept for the life of the process.
void LoadRichEdit() {
  static HMODULE lib = LoadLibraryW(L"riched20.dll");
  (void)lib;
}

std::wstring WindowString(HWND w) {
  int n = GetWindowTextLengthW(w);
  std::wstring s(static_cast<size_t>(n) + 1, L'\0');
  s.resize(static_cast<size_t>(GetWindowTextW(w, s.data(), n + 1)));
  return s;
}

// The first readable text of the message, or nothing.
std::wstring FirstText(const MailMessage& message) {
  for (int i = 0; i < 64; ++i) {
    auto t = leafText(message, i);
    if (t) return *t;
  }
  return {};
}

class QuickReplyDialog final : public DialogWindow {
 public:
  QuickReplyDialog(MailAccount& account, MailMessage& message)
      : DialogWindow(IDD_QUICK_REPLY), account_(account), message_(message) {}

  QuickReplyText reply;

  void OnInitDialog() override {
    SetDlgItemTextW(Window(), IDC_QR_TO, InitialReplyTo(message_).c_str());
    SetDlgItemTextW(Window(), IDC_QR_FROM, InitialReplyFrom(account_.settings).c_str());
    SetDlgItemTextW(Window(), IDC_QR_SUBJECT, InitialReplySubject(message_).c_str());
    SendMessageW(Item(IDC_QR_FROM), EM_LIMITTEXT, 255, 0);

    HWND editor = Item(IDC_QR_TEXT);
    CHARFORMAT2W cf{};
    cf.cbSize = sizeof(cf);
    cf.dwMask = CFM_FACE | CFM_SIZE;
    cf.yHeight = 200;
    wcscpy_s(cf.szFaceName, L"Courier New");
    SendMessageW(editor, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&cf));
    SendMessageW(editor, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&cf));
    SendMessageW(editor, EM_EXLIMITTEXT, 0, 16 * 1024 * 1024);
    SetWindowTextW(editor, QuoteText(FirstText(message_)).c_str());

    size_t selected = 0;
    {
      ScopedCoInit com;
      charsets_ = MailCharsets(&selected);
    }
    HWND list = Item(IDC_QR_CHARSET);
    for (const auto& c : charsets_) SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(c.description.c_str()));
    if (!charsets_.empty()) SendMessageW(list, CB_SETCURSEL, selected, 0);
    // After the dialog manager has given the first field the focus. Moving
    // the focus selects the whole quote, so the caret then goes to the
    // start: the first key typed must not replace the quote.
    PostMessageW(Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(editor), TRUE);
    PostMessageW(editor, EM_SETSEL, 0, 0);
  }

  bool OnOK() override {
    EnableWindow(Item(IDOK), FALSE);
    LRESULT sel = SendMessageW(Item(IDC_QR_CHARSET), CB_GETCURSEL, 0, 0);
    reply.charset = (sel >= 0 && static_cast<size_t>(sel) < charsets_.size()) ? charsets_[sel].charset : L"iso-8859-1";
    reply.to = WindowString(Item(IDC_QR_TO));
    reply.from = WindowString(Item(IDC_QR_FROM)).substr(0, 255);
    reply.subject = WindowString(Item(IDC_QR_SUBJECT));
    reply.body = WindowString(Item(IDC_QR_TEXT));
    // The rich edit ends lines with CR alone; the message wants CR LF.
    std::wstring body;
    for (size_t i = 0; i < reply.body.size(); ++i) {
      wchar_t c = reply.body[i];
      body += c;
      if (c == L'\r' && (i + 1 >= reply.body.size() || reply.body[i + 1] != L'\n')) body += L'\n';
    }
    reply.body = std::move(body);
    // A reply without a valid address stays in the dialog, with the reason.
    error_ = QueueQuickReply(account_, &message_, reply);
    if (error_ != ReplyError::kNone) {
      MessageBoxW(Window(), ReplyErrorText(error_).c_str(), L"Quick Reply", MB_OK | MB_ICONWARNING);
      EnableWindow(Item(IDOK), TRUE);
      SetFocus(Item(error_ == ReplyError::kNoSender ? IDC_QR_FROM : IDC_QR_TO));
      return false;
    }
    account_.RequestMissingHeaders(false);
    return true;
  }

 private:
  MailAccount& account_;
  MailMessage& message_;
  std::vector<CharsetChoice> charsets_;
  ReplyError error_ = ReplyError::kNone;
};

}  // namespace

INT_PTR ShowQuickReplyDialog(HWND owner, HMODULE resources, MailAccount& account, MailMessage& message) {
  LoadRichEdit();
  QuickReplyDialog dialog(account, message);
  return dialog.DoModal(owner, resources) == IDOK ? 1 : 0;
}

std::wstring QuickReplyUnavailableReason(const MailAccount& account) {
  if (!account.settings.outServer[0]) return L"No outgoing mail server is set for this account.";
  if (!wcschr(account.settings.outFrom, L'@')) return L"No sender address is set for this account.";
  return {};
}

}  // namespace pw::ui
