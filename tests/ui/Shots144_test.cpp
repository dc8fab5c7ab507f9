// The sheets at 150 % scaling: the test sets the prefix's LogPixels to 144,
// runs itself again in a child process (the system DPI is read when a
// process starts), and puts the old value back.
#include <winsock2.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>


#include "account/FakeOwner.h"
#include "account/MailAccount.h"
#include "account/MailMessage.h"
#include "account/MessageBody.h"
#include "account/MessageHeader.h"
#include "base/Scoped.h"
#include "core/ControlClasses.h"
#include "core/FakeHost.h"
#include "core/InProcessPlugin.h"
#include "core/ListWindowThread.h"
#include "filter/BuiltinRules.h"
#include "filter/RuleModel.h"
#include "ui/AccountDialog.h"
#include "ui/FilterEditors.h"
#include "ui/OptionsData.h"
#include "ui/QuickReplyDialog.h"
#include "ui/TabSwitcher.h"
#include "ui/ViewerMessages.h"
#include "ui/viewer/MessageViewer.h"
#include "ui/support/Screenshot.h"
#include "ui/support/UiDriver.h"
#include "ui_ids.h"

using pwtest::UiDriver;

namespace {

const wchar_t kChildVar[] = L"PW_DPI_CHILD";

bool InChild() { return GetEnvironmentVariableW(kChildVar, nullptr, 0) != 0; }

// The screen's DPI as a DPI-aware process sees it.
int AwareDpi() {
  SetProcessDPIAware();
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

TEST(Shots144, SheetsAtOneAndAHalfScale) {
  if (InChild()) GTEST_SKIP();
  pw::ScopedHKey key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_READ | KEY_WRITE,
                            nullptr, key.Out(), nullptr),
            ERROR_SUCCESS);
  DWORD old = 0, size = sizeof(old), type = 0;
  const bool had = RegQueryValueExW(key.Get(), L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&old), &size) ==
                   ERROR_SUCCESS;
  DWORD dpi = 144;
  RegSetValueExW(key.Get(), L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));

  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring cmd = std::wstring(L"\"") + exe + L"\" --gtest_filter=Shots144Child.*";
  SetEnvironmentVariableW(kChildVar, L"1");
  STARTUPINFOW si = {sizeof(si)};
  PROCESS_INFORMATION pi = {};
  BOOL started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableW(kChildVar, nullptr);
  DWORD code = 99;
  if (started) {
    pw::ScopedHandle process(pi.hProcess), thread(pi.hThread);
    if (WaitForSingleObject(pi.hProcess, 120000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 98);
    GetExitCodeProcess(pi.hProcess, &code);
  }
  if (had) RegSetValueExW(key.Get(), L"LogPixels", 0, type, reinterpret_cast<const BYTE*>(&old), sizeof(old));
  else RegDeleteValueW(key.Get(), L"LogPixels");
  ASSERT_TRUE(started);
  EXPECT_EQ(code, 0u);
}

TEST(Shots144Child, Pages) {
  if (!InChild()) GTEST_SKIP();
  const int dpi = AwareDpi();
  if (dpi != 144) GTEST_SKIP() << "the system kept " << dpi << " DPI";
  pw::ui::OptionsData data;
  data.accounts.resize(2);
  wcscpy(data.accounts[0].accountName, L"Work");
  wcscpy(data.accounts[1].accountName, L"Home");
  UiDriver d([](UiDriver& d) {
    HWND frame = d.WaitDialog(L"Postwarden");
    if (!frame) return;
    HWND tabs = d.Control(frame, IDC_FRAME_TABS);
    const wchar_t* names[6] = {L"options_general_144", L"options_accounts_144", L"options_connection_144",
                               L"options_filters_144", L"options_notify_144", L"options_about_144"};
    for (int i = 0; i < 6; ++i) {
      pw::ui::TabRecord rec = {};
      d.Send(tabs, pw::ui::TSM_GETBYINDEX, i, reinterpret_cast<LPARAM>(&rec));
      LPARAM at = MAKELPARAM((rec.rect.left + rec.rect.right) / 2, (rec.rect.top + rec.rect.bottom) / 2);
      PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
      PostMessageW(tabs, WM_LBUTTONUP, 0, at);
      d.Send(tabs, WM_NULL, 0, 0);
      EXPECT_TRUE(pwtest::Shoot(frame, names[i]));
    }
    d.PressCancel(frame);
    d.WaitGone(frame);
  });
  pw::ui::ShowOptionsSheet(nullptr, nullptr, data);
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());

  pw::ui::AccountDialog dialog;
  UiDriver a([](UiDriver& d) {
    HWND sheet = d.WaitDialog(L"Mail Account");
    if (!sheet) return;
    const wchar_t* names[3] = {L"account_options_144", L"account_incoming_144", L"account_outgoing_144"};
    for (int i = 0; i < 3; ++i) {
      d.SelectPage(sheet, i);
      EXPECT_TRUE(pwtest::Shoot(sheet, names[i]));
    }
    d.SheetCancel(sheet);
    d.WaitGone(sheet);
  });
  dialog.Show(nullptr, nullptr);
  for (const auto& f : a.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());

  // The filter editors, on the built-in rules.
  pw::RuleList rules;
  pw::AddBuiltinRules(rules);
  UiDriver f([](UiDriver& d) {
    HWND w = d.WaitDialog(L"Filtering rules");
    if (!w) return;
    EXPECT_TRUE(pwtest::Shoot(w, L"filters_rule_editor_144"));
    const std::tuple<int, const wchar_t*, const wchar_t*> inner[3] = {
        {IDC_RE_SET_ADD, L"Filtering conditions", L"filters_condition_editor_144"},
        {IDC_RE_SET_DNSBL, L"DNS Black List", L"filters_dnsbl_144"},
        {IDC_RE_SET_IMPORT, L"Import conditions", L"filters_import_144"}};
    for (const auto& [id, caption, name] : inner) {
      d.Click(w, id);
      HWND c = d.WaitDialog(caption);
      if (!c) continue;
      EXPECT_TRUE(pwtest::Shoot(c, name));
      d.PressCancel(c);
      d.WaitGone(c);
    }
    d.PressCancel(w);
    d.WaitGone(w);
  });
  pw::ui::FilterEditorState state;
  pw::ui::EditFilterRules(nullptr, nullptr, rules, state);
  for (const auto& e : f.Failures()) ADD_FAILURE() << std::string(e.begin(), e.end());
}

// The messages list window with rows of every kind: columns, bold unread
// rows, the toolbar and the folder counts at 150 %.
TEST(Shots144Child, MessagesList) {
  if (!InChild()) GTEST_SKIP();
  const int dpi = AwareDpi();
  if (dpi != 144) GTEST_SKIP() << "the system kept " << dpi << " DPI";
  pw::RegisterControlClasses();
  pwtest::InProcessPlugin p({{L"Work", {1200, 35000, 2400000, 800}}, {L"Home", {512, 70000}}});
  pwtest::FakeHost host;
  p->SetHost(&host);
  const char* headers[6] = {
      "From: Ann Example <ann@example.org>\r\nSubject: Minutes of the Tuesday meeting\r\n"
      "Date: Mon, 2 Jan 2023 10:00:00 +0000\r\n",
      "From: Bob <bob@example.org>\r\nSubject: Lunch?\r\nDate: Tue, 3 Jan 2023 12:30:00 +0000\r\n",
      "From: offers@example.net\r\nSubject: You have won a prize of a very long and tempting kind\r\n"
      "Date: Wed, 4 Jan 2023 08:15:00 +0000\r\n",
      "From: Carol <carol@example.org>\r\nSubject: Photos\r\nDate: Thu, 5 Jan 2023 18:45:00 +0000\r\n",
      "From: Dan <dan@example.org>\r\nSubject: Re: Plans\r\nDate: Fri, 6 Jan 2023 09:00:00 +0000\r\n",
      "Subject: no sender\r\nDate: Sat, 7 Jan 2023 07:00:00 +0000\r\n"};
  int k = 0;
  for (const auto& a : p->Accounts()) {
    std::vector<std::string> uidls;
    {
      pw::SharedGuard g(a->MessageLock());
      for (const auto& m : a->Messages()) uidls.emplace_back(m->Uidl(), m->Uidl() + wcslen(m->Uidl()));
    }
    for (const auto& u : uidls) a->OnHeader(u.c_str(), headers[k++ % 6]);
  }
  {
    pw::MailAccount& work = *p->Accounts()[0];
    pw::SharedGuard g(work.MessageLock());
    auto it = work.Messages().begin();
    it[1]->ClearState(pw::MessageState::New);
    it[2]->SetType(pw::MessageType::Spam);
    it[2]->color = RGB(128, 0, 0);
  }
  const int32_t viewerWidth = p->Settings().viewerColumns[1].width;
  p->OpenMessagesList();
  UiDriver d([](UiDriver&) {});
  HWND w = nullptr;
  ASSERT_TRUE(d.WaitFor([&] {
    wchar_t* out = nullptr;
    p->Control(L"list-window", &out);
    w = out ? reinterpret_cast<HWND>(static_cast<uintptr_t>(_wcstoui64(out, nullptr, 10))) : nullptr;
    if (out) CoTaskMemFree(out);
    return w != nullptr && IsWindowVisible(w);
  }));
  ASSERT_TRUE(d.WaitFor([&] { return ListView_GetItemCount(GetDlgItem(w, 1028)) == 6; }));
  SetWindowPos(w, nullptr, 0, 0, 1100, 700, SWP_NOMOVE | SWP_NOZORDER);
  d.Send(w, WM_NULL, 0, 0);
  // Stored widths are for 96 DPI: the default 100 shows as 150 at 150 %,
  // and goes back into the settings as 100.
  EXPECT_EQ(ListView_GetColumnWidth(GetDlgItem(w, 1028), 1), 150);
  EXPECT_TRUE(pwtest::Shoot(w, L"messages_list_144"));
  PostMessageW(w, WM_CLOSE, 0, 0);
  EXPECT_TRUE(d.WaitFor([&] { return !p->ListWindowExists(); }));
  EXPECT_EQ(p->Settings().columns[1].width, 100);
  EXPECT_EQ(p->Settings().viewerColumns[1].width, viewerWidth);
}

// The viewer's four tabs on a message with an attachment and a log, and
// the Quick Reply dialog on the same message.
TEST(Shots144Child, ViewerAndQuickReply) {
  if (!InChild()) GTEST_SKIP();
  const int dpi = AwareDpi();
  if (dpi != 144) GTEST_SKIP() << "the system kept " << dpi << " DPI";
  pw::ScopedCoInit com;
  const std::string text =
      "From: Ann Example <ann@example.org>\r\nTo: bob@example.net\r\nSubject: Pictures from the trip\r\n"
      "Date: Mon, 1 Jan 2024 10:00:00 +0000\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n--b1\r\nContent-Type: text/plain\r\n\r\n"
      "Hello Bob,\r\n\r\nthe pictures are attached; more at http://example.org/trip.\r\n\r\nAnn\r\n"
      "--b1\r\nContent-Type: image/jpeg\r\nContent-Transfer-Encoding: base64\r\n"
      "Content-Disposition: attachment; filename=\"beach.jpg\"\r\n\r\nAAECAw==\r\n--b1--\r\n";
  auto m = pw::MailMessage::Create(L"m");
  pw::parseHeader(*m, text.data(), text.find("\r\n\r\n") + 2);
  pw::parseMessage(*m, text.data(), text.size());
  pwtest::FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  wcscpy(a->settings.outServer, L"127.0.0.1");
  wcscpy(a->settings.outFrom, L"bob@example.net");
  const wchar_t* log[5] = {L"+OK Dovecot ready.", L"USER bob", L"Connection closed", L"Other", L"-ERR [AUTH] failed"};
  for (uint32_t k = 0; k < 5; ++k) a->LogEvent(k, log[k]);

  NONCLIENTMETRICSW ncm = {sizeof(ncm)};
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0);
  pw::ScopedFont font(CreateFontIndirectW(&ncm.lfMessageFont));
  HWND viewer = CreateWindowExW(0, pw::ui::kViewerClass, L"Viewer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 840,
                                600, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(viewer);
  SendMessageW(viewer, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), 0);
  SendMessageW(viewer, pw::ui::kViewShowMessage, 0, reinterpret_cast<LPARAM>(m.Get()));
  SendMessageW(viewer, pw::ui::kViewLogFill, 0, reinterpret_cast<LPARAM>(a.Get()));
  const wchar_t* names[4] = {L"viewer_source_144", L"viewer_message_144", L"viewer_headers_144", L"viewer_log_144"};
  for (int i = 0; i < 4; ++i) {
    SendMessageW(viewer, pw::ui::kViewSelectTab, i, 0);
    UpdateWindow(viewer);
    EXPECT_TRUE(pwtest::Shoot(viewer, names[i]));
  }
  DestroyWindow(viewer);

  UiDriver d([](UiDriver& d) {
    HWND w = d.WaitDialog(L"Quick Reply");
    if (!w) return;
    EXPECT_TRUE(pwtest::Shoot(w, L"quick_reply_144"));
    d.PressCancel(w);
    d.WaitGone(w);
  });
  pw::ui::ShowQuickReplyDialog(nullptr, nullptr, *a, *m);
  d.Join();
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
}

TEST(AboutPage, ShowsTheVersionAndThePicture) {
  pw::ui::OptionsData data;
  UiDriver d([](UiDriver& d) {
    HWND frame = d.WaitDialog(L"Postwarden");
    if (!frame) return;
    HWND tabs = d.Control(frame, IDC_FRAME_TABS);
    pw::ui::TabRecord rec = {};
    d.Send(tabs, pw::ui::TSM_GETBYINDEX, 5, reinterpret_cast<LPARAM>(&rec));
    LPARAM at = MAKELPARAM((rec.rect.left + rec.rect.right) / 2, (rec.rect.top + rec.rect.bottom) / 2);
    PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    d.Send(tabs, WM_NULL, 0, 0);
    // The test program carries the plug-in's version resource.
    EXPECT_TRUE(d.WaitFor([&] { return d.Text(frame, IDC_ABOUT_VERSION) == L"v1.0 beta"; }))
        << std::string(d.Text(frame, IDC_ABOUT_VERSION).size(), '?');
    EXPECT_EQ(d.Text(frame, IDC_ABOUT_LINK1), L"Postwarden home page");
    pwtest::Shoot(frame, L"options_about");
    d.PressCancel(frame);
    d.WaitGone(frame);
  });
  pw::ui::ShowOptionsSheet(nullptr, nullptr, data);
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
}

}  // namespace
