// The messages list window as a user meets it: opened on its own thread
// from the plug-in, driven from this one (clicks, keys, answers to its
// questions), with every wait bounded. Checks run against a real Dovecot.
#include <winsock2.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "account/MessageHeader.h"
#include "core/ControlClasses.h"
#include "core/FakeHost.h"
#include "core/InProcessPlugin.h"
#include "core/ListWindowThread.h"
#include "support/Services.h"
#include "ui/ListCommands.h"
#include "ui/ListRows.h"
#include "ui/MessagesListWindow.h"
#include "ui/support/Screenshot.h"
#include "ui/support/UiDriver.h"

using pwtest::UiDriver;

namespace {

constexpr DWORD kWait = 15000;
constexpr wchar_t kToolbarKey[] = L"SOFTWARE\\Orvale Software\\Dockrail\\Postwarden";

ULONG Refs(pw::MailMessage& m) {
  m.AddRef();
  return m.Release();
}
ULONG Refs(pw::MailAccount& a) {
  a.AddRef();
  return a.Release();
}

// A plug-in with accounts, its list window, and reads made on the window's
// own thread.
class ListTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    pw::RegisterControlClasses();
    WSADATA d;
    WSAStartup(MAKEWORD(2, 2), &d);
  }

  HWND Open(pwtest::InProcessPlugin& p) {
    plugin_ = &*p;
    p->OpenMessagesList();
    HWND w = nullptr;
    // An opening while the last window's thread is still ending is ignored:
    // asked again until the window is there.
    d_.WaitFor([&] {
      if ((w = Handle(p)) == nullptr) p->OpenMessagesList();
      return w != nullptr;
    }, kWait);
    return w;
  }
  static HWND Handle(pwtest::InProcessPlugin& p) {
    wchar_t* out = nullptr;
    p->Control(L"list-window", &out);
    HWND w = out ? reinterpret_cast<HWND>(static_cast<uintptr_t>(_wcstoui64(out, nullptr, 10))) : nullptr;
    if (out) CoTaskMemFree(out);
    return w;
  }
  bool Close(pwtest::InProcessPlugin& p, HWND w) {
    PostMessageW(w, WM_CLOSE, 0, 0);
    return d_.WaitFor([&] { return !p->ListWindowExists(); }, kWait);
  }
  // Runs `fn` with the window object on the window's thread.
  void OnWindow(HWND w, const std::function<void(pw::ui::MessagesListWindow&)>& fn) {
    d_.OnDialogThread(w, [&] {
      if (auto* win = pw::CurrentMessagesListWindow(*plugin_)) fn(*win);
    });
  }
  std::vector<std::wstring> Column(HWND w, int column) {
    std::vector<std::wstring> out;
    OnWindow(w, [&](pw::ui::MessagesListWindow& win) {
      for (size_t i = 0; i < win.RowCount(); ++i) out.push_back(win.CellText(i, column));
    });
    return out;
  }
  size_t Rows(HWND w) {
    size_t n = 0;
    OnWindow(w, [&](pw::ui::MessagesListWindow& win) { n = win.RowCount(); });
    return n;
  }
  void ClickHeader(HWND w, int column) {
    HWND header = ListView_GetHeader(GetDlgItem(w, 1028));
    RECT r;
    Header_GetItemRect(header, column, &r);
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(header, WM_LBUTTONUP, 0, at);
  }
  void SelectRow(HWND w, int row) {
    HWND list = GetDlgItem(w, 1028);
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  }
  void Key(HWND w, WORD key) {
    HWND list = GetDlgItem(w, 1028);
    PostMessageW(list, WM_KEYDOWN, key, 1);
    PostMessageW(list, WM_KEYUP, key, 0xC0000001);
  }
  // A top-level dialog captioned `caption` other than the list window.
  HWND WaitBox(HWND list, const wchar_t* caption) {
    HWND found = nullptr;
    d_.WaitFor(
        [&] {
          for (HWND h = FindWindowExW(nullptr, nullptr, L"#32770", caption); h;
               h = FindWindowExW(nullptr, h, L"#32770", caption))
            if (h != list && IsWindowVisible(h)) return (found = h) != nullptr;
          return false;
        },
        kWait);
    return found;
  }

  UiDriver d_{[](UiDriver&) {}};
  pw::PluginObject* plugin_ = nullptr;
};

void DropMail(const pwtest::Service& server, int n, const std::string& subject) {
  const std::string path = server.Dir() + "/home/user/Maildir/new/" + std::to_string(1700000000 + n) + ".M" +
                           std::to_string(n) + "P1.test";
  const std::string text = "From: a@example.org\r\nTo: user@example.org\r\nSubject: " + subject + "\r\n\r\nbody\r\n";
  ASSERT_TRUE(pwtest::WriteNewLinuxFile(path, text)) << path;
}

void Header(pw::MailAccount& a, const char* uidl, const std::string& text) {
  a.OnHeader(uidl, text.c_str());
}

}  // namespace

// A real check fills the list; the Delete key (no confirmation asked) marks
// the selected message and the next check removes it from the server and
// from the list. The references the window held are all given back.
TEST_F(ListTest, DovecotCheckFillsTheListAndDeleteRemovesFromServer) {
  pwtest::Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  for (int n = 1; n <= 3; ++n) DropMail(server, n, "subject " + std::to_string(n));
  pwtest::InProcessPlugin p(std::vector<pwtest::AccountSpec>{pwtest::AccountSpec{L"Box", {}, 0}});
  pwtest::FakeHost host;
  p->SetHost(&host);
  p->Settings().confirm = 0;
  p->Settings().useFilter = 0;
  pw::MailAccount& a = *p->Accounts()[0];
  wcscpy(a.settings.inServer, L"127.0.0.1");
  a.settings.inPort = static_cast<uint32_t>(server.Port());
  wcscpy(a.settings.inUser, L"user");
  wcscpy(a.settings.inPassword, L"secret");
  a.settings.timeout = 10000;
  a.settings.interval = 600000;  // a prompt check is due at once
  const ULONG accountRefs = Refs(a);

  HWND w = Open(p);
  ASSERT_TRUE(w);
  p->StartChecker();
  p->OnMenuCommand(0);
  ASSERT_TRUE(d_.WaitFor([&] {
    const auto subjects = Column(w, 2);
    return subjects.size() == 3 && std::count(subjects.begin(), subjects.end(), L"subject 2") == 1;
  }, kWait)) << "rows: " << Rows(w) << " messages " << a.MessageCount() << " error " << a.lastError
               << " checks " << a.checksEnded << " running " << p->CheckerRunning();
  pwtest::Shoot(w, L"list_dovecot");

  // Ascending by subject, then delete "subject 2".
  ClickHeader(w, 2);
  ClickHeader(w, 2);
  ASSERT_TRUE(d_.WaitFor([&] { return Column(w, 2) == std::vector<std::wstring>{L"subject 1", L"subject 2", L"subject 3"}; }, kWait));
  SelectRow(w, 1);
  SetFocus(GetDlgItem(w, 1028));
  Key(w, VK_DELETE);
  ASSERT_TRUE(d_.WaitFor([&] { return Column(w, 2) == std::vector<std::wstring>{L"subject 1", L"subject 3"}; }, 30000))
      << "rows: " << Rows(w);
  EXPECT_EQ(a.MessageCount(), 2u);

  std::vector<pw::RefPtr<pw::MailMessage>> kept;
  {
    pw::SharedGuard g(a.MessageLock());
    for (const auto& m : a.Messages()) kept.emplace_back(m.Get());
  }
  std::vector<ULONG> before;
  for (auto& m : kept) before.push_back(Refs(*m));
  ASSERT_TRUE(Close(p, w));
  // The window's own reference on each row is gone (the list and `kept` remain).
  for (size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(Refs(*kept[i]), before[i] - 1);
  // The checker may still hold the account for the deletion's session, and
  // a report of it may still wait in this thread's queue.
  p->StopChecker();
  EXPECT_TRUE(d_.WaitFor([&] {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    return Refs(a) == accountRefs;
  })) << Refs(a) << " references, " << accountRefs << " before";
}

// Notifications as a check sends them: a header for a listed message
// updates its row (no second row), a new listing adds and removes rows.
TEST_F(ListTest, NotificationsAddUpdateAndRemoveRowsWithoutDuplicates) {
  pwtest::InProcessPlugin p({{L"One", {100, 200}}, {L"Two", {300}}});
  pwtest::FakeHost host;
  p->SetHost(&host);
  pw::MailAccount& one = *p->Accounts()[0];
  HWND w = Open(p);
  ASSERT_TRUE(w);
  ASSERT_TRUE(d_.WaitFor([&] { return Rows(w) == 3; }, kWait));
  EXPECT_EQ(Column(w, 2)[0], L"<not loaded>");

  for (int round = 0; round < 3; ++round)
    Header(one, "m0", "From: Ann <ann@example.org>\r\nSubject: Lunch\r\n");
  ASSERT_TRUE(d_.WaitFor([&] {
    const auto s = Column(w, 2);
    return std::count(s.begin(), s.end(), L"Lunch") == 1;
  }, kWait));
  EXPECT_EQ(Rows(w), 3u);

  // The next listing has m1 gone; a queued reply joins the account.
  one.OnListEntry(nullptr, 0);
  one.OnListEntry("m0", 100);
  one.OnListEntry(nullptr, pw::kListingEnd);
  pw::RefPtr<pw::MailMessage> reply = pw::MailMessage::Create(L"reply");
  reply->SetType(pw::MessageType::Outgoing);
  reply->size = 900;
  one.AddMessage(reply.Get());
  ASSERT_TRUE(d_.WaitFor([&] {
    const auto sizes = Column(w, 4);
    return sizes.size() == 3 && std::count(sizes.begin(), sizes.end(), L"900") == 1 &&
           std::count(sizes.begin(), sizes.end(), L"200") == 0;
  }, kWait)) << "rows " << Rows(w);
  // "Added" again for a message that has its row: still one row.
  one.AddRef();
  reply->AddRef();
  PostMessageW(w, WM_USER + 1, reinterpret_cast<WPARAM>(&one), reinterpret_cast<LPARAM>(reply.Get()));
  d_.WaitFor([&] { return false; }, 300);
  EXPECT_EQ(Rows(w), 3u);
  ASSERT_TRUE(Close(p, w));
}

// Every column sorts both ways; messages without the field go last when
// ascending; the first click on a new column sorts descending.
TEST_F(ListTest, EachColumnSortsBothWaysWithMissingFieldsLast) {
  pwtest::InProcessPlugin p({{L"One", {5000, 20, 1048576, 7}}});
  pwtest::FakeHost host;
  p->SetHost(&host);
  pw::MailAccount& a = *p->Accounts()[0];
  Header(a, "m0", "From: bob@example.org\r\nSubject: beta\r\nDate: Mon, 2 Jan 2023 10:00:00 +0000\r\n");
  Header(a, "m1", "From: Alice@example.org\r\nSubject: Alpha\r\nDate: Sun, 1 Jan 2023 10:00:00 +0000\r\n");
  Header(a, "m2", "Subject: gamma\r\nDate: Tue, 3 Jan 2023 10:00:00 +0000\r\n");  // no From
  // m3 has no header at all.
  {
    pw::SharedGuard g(a.MessageLock());
    a.Messages().begin()[2]->SetType(pw::MessageType::Spam);
    a.Messages().begin()[1]->ClearState(pw::MessageState::New);
  }
  HWND w = Open(p);
  ASSERT_TRUE(w);
  ASSERT_TRUE(d_.WaitFor([&] { return Rows(w) == 4; }, kWait));

  auto sizes = [&] { return Column(w, 4); };
  using V = std::vector<std::wstring>;
  ClickHeader(w, 1);  // From, descending: missing first
  ASSERT_TRUE(d_.WaitFor([&] { return sizes() == V{L"1.00M", L"7", L"4.88K", L"20"}; }, kWait)) << "got " << sizes().size();
  ClickHeader(w, 1);  // ascending, letter case ignored
  ASSERT_TRUE(d_.WaitFor([&] { return sizes() == V{L"20", L"4.88K", L"1.00M", L"7"}; }, kWait));
  ClickHeader(w, 3);  // date descending; no date is earliest
  ASSERT_TRUE(d_.WaitFor([&] { return sizes() == V{L"1.00M", L"4.88K", L"20", L"7"}; }, kWait));
  ClickHeader(w, 4);
  ASSERT_TRUE(d_.WaitFor([&] { return sizes() == V{L"1.00M", L"4.88K", L"20", L"7"}; }, kWait));
  ClickHeader(w, 4);
  ASSERT_TRUE(d_.WaitFor([&] { return sizes() == V{L"7", L"20", L"4.88K", L"1.00M"}; }, kWait));
  ClickHeader(w, 0);  // picture: read Normal, unread Normal (stable), Spam
  ClickHeader(w, 0);
  ASSERT_TRUE(d_.WaitFor([&] { return sizes() == V{L"20", L"7", L"4.88K", L"1.00M"}; }, kWait));
  for (int c = 1; c <= 4; ++c) ListView_SetColumnWidth(GetDlgItem(w, 1028), c, 30);
  ClickHeader(w, 5);  // filtering condition: the order stays
  ASSERT_TRUE(d_.WaitFor([&] {
    HDITEMW h = {};
    h.mask = HDI_IMAGE;
    Header_GetItem(ListView_GetHeader(GetDlgItem(w, 1028)), 5, &h);
    return h.iImage == 2;
  }, kWait));
  EXPECT_EQ(sizes(), (V{L"20", L"7", L"4.88K", L"1.00M"}));
  // Selection and focus stay with their messages through a sort: "4.88K"
  // selected with the focus, "20" selected alone.
  HWND list = GetDlgItem(w, 1028);
  SelectRow(w, 2);
  LVITEMW also = {};
  also.stateMask = also.state = LVIS_SELECTED;
  SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&also));
  ClickHeader(w, 4);  // size, descending
  ASSERT_TRUE(d_.WaitFor([&] { return sizes() == V{L"1.00M", L"4.88K", L"20", L"7"}; }, kWait));
  std::vector<int> selected;
  for (int i = -1; (i = ListView_GetNextItem(list, i, LVNI_SELECTED)) >= 0;) selected.push_back(i);
  EXPECT_EQ(selected, (std::vector<int>{1, 2}));
  EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_FOCUSED), 1);
  // Added rows show "(empty)" for a missing field; refreshed ones show nothing.
  OnWindow(w, [&](pw::ui::MessagesListWindow& win) {
    for (size_t i = 0; i < win.RowCount(); ++i) {
      if (win.CellText(i, 4) == L"1.00M") {
        EXPECT_EQ(win.CellText(i, 1), L"(empty)");
      }
    }
  });
  ASSERT_TRUE(Close(p, w));
  EXPECT_EQ(p->Settings().sortColumn, 4);
  EXPECT_EQ(p->Settings().sortType, -1);
}

// A type change under a type folder removes the row; the counts in the
// folder labels follow; confirmations are asked per `confirm`.
TEST_F(ListTest, TypeChangeUnderTypeFolderAndConfirmations) {
  pwtest::InProcessPlugin p({{L"One", {10, 20, 30}}});
  pwtest::FakeHost host;
  p->SetHost(&host);
  p->Settings().confirm = 1;
  HWND w = Open(p);
  ASSERT_TRUE(w);
  ASSERT_TRUE(d_.WaitFor([&] { return Rows(w) == 3; }, kWait));
  HWND folders = GetDlgItem(w, 1069);
  SendMessageW(folders, WM_USER + 4, 2, 0);  // "Normal"
  ASSERT_TRUE(d_.WaitFor([&] { return Rows(w) == 3; }, kWait));
  SelectRow(w, 0);
  OnWindow(w, [](pw::ui::MessagesListWindow& win) { pw::ui::ListCommands(win).SetType(pw::MessageType::Spam); });
  EXPECT_EQ(Rows(w), 2u);
  const auto* spamLabel = reinterpret_cast<const wchar_t*>(SendMessageW(folders, WM_USER + 12, 4, 0));
  ASSERT_TRUE(spamLabel);
  EXPECT_EQ(std::wstring(spamLabel), L"Spam 1 (1)");

  // Filters re-applied elsewhere: a row whose type no longer fits goes.
  {
    pw::SharedGuard g(p->Accounts()[0]->MessageLock());
    for (const auto& m : p->Accounts()[0]->Messages())
      if (m->Type() == pw::MessageType::Normal) {
        m->SetType(pw::MessageType::Dangerous);
        break;
      }
  }
  PostMessageW(w, WM_USER, 6, 0);
  ASSERT_TRUE(d_.WaitFor([&] { return Rows(w) == 1; }, kWait));
  // Labels are counted again at most every 100 ms during a run of notifications.
  std::wstring dangerLabel;
  EXPECT_TRUE(d_.WaitFor([&] {
    const auto* l = reinterpret_cast<const wchar_t*>(SendMessageW(folders, WM_USER + 12, 5, 0));
    dangerLabel = l ? l : L"";
    return dangerLabel == L"Dangerous 1 (1)";
  }, kWait)) << std::string(dangerLabel.begin(), dangerLabel.end());

  // Delete asks; No leaves the message alone, Yes marks it.
  SelectRow(w, 0);
  SetFocus(GetDlgItem(w, 1028));
  pw::RefPtr<pw::MailMessage> target;
  OnWindow(w, [&](pw::ui::MessagesListWindow& win) { target = win.Row(0)->message; });
  for (int answer : {IDNO, IDYES}) {
    Key(w, VK_DELETE);
    HWND box = WaitBox(w, L"Postwarden");
    ASSERT_TRUE(box);
    wchar_t text[256] = L"";
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      wchar_t cls[32];
      GetClassNameW(c, cls, 32);
      if (!wcscmp(cls, L"Static") && GetWindowTextLengthW(c) > 10) GetWindowTextW(c, text, 256);
    }
    EXPECT_STREQ(text, L"Do you want to remove selected messages from server?");
    PostMessageW(box, WM_COMMAND, answer, 0);
    ASSERT_TRUE(d_.WaitGone(box));
    d_.OnDialogThread(w, [] {});
    EXPECT_EQ(target->HasFlag(pw::MessageFlags::Delete), answer == IDYES);
  }
  ASSERT_TRUE(Close(p, w));
}

// Layout, sort, folder and toolbar arrangement survive closing (with
// Escape) and reopening; damaged stored values are mended when read.
TEST_F(ListTest, LayoutPersistsAndDamagedValuesAreMended) {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kToolbarKey, L"Toolbar");
  pwtest::InProcessPlugin p({{L"One", {10}}, {L"Two", {20}}});
  pwtest::FakeHost host;
  p->SetHost(&host);
  HWND w = Open(p);
  ASSERT_TRUE(w);
  HWND toolbar = GetDlgItem(w, 1000);
  EXPECT_EQ(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0), 18);
  SendMessageW(GetDlgItem(w, 1069), WM_USER + 4, 2, 0);  // account "Two"
  ClickHeader(w, 4);
  // The user drops the first button in the customise dialog.
  d_.OnDialogThread(w, [&] {
    SendMessageW(toolbar, TB_DELETEBUTTON, 0, 0);
    NMHDR h = {toolbar, 1000, static_cast<UINT>(TBN_TOOLBARCHANGE)};
    SendMessageW(w, WM_NOTIFY, 1000, reinterpret_cast<LPARAM>(&h));
  });
  // Drag the vertical splitter far right: it stops at 0.9.
  RECT folder, list;
  GetWindowRect(GetDlgItem(w, 1069), &folder);
  GetWindowRect(GetDlgItem(w, 1028), &list);
  POINT at = {(folder.right + list.left) / 2, (list.top + list.bottom) / 2};
  ScreenToClient(w, &at);
  PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
  PostMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5000, at.y));
  PostMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(5000, at.y));
  d_.OnDialogThread(w, [] {});
  // Escape closes through the closing steps.
  SetForegroundWindow(w);
  PostMessageW(GetDlgItem(w, 1028), WM_KEYDOWN, VK_ESCAPE, 1);
  ASSERT_TRUE(d_.WaitFor([&] { return !p->ListWindowExists(); }, kWait));
  EXPECT_EQ(p->Settings().selectedAccount, 2);
  EXPECT_EQ(p->Settings().sortColumn, 4);
  EXPECT_EQ(p->Settings().sortType, -1);
  EXPECT_DOUBLE_EQ(p->Settings().vert, 0.9);
  EXPECT_GT(host.settingsChanged, 0);

  w = Open(p);
  ASSERT_TRUE(w);
  EXPECT_EQ(SendMessageW(GetDlgItem(w, 1069), WM_USER + 5, 0, 0), 2);
  // The dropped button stays away, every other command is back.
  HWND tb = GetDlgItem(w, 1000);
  EXPECT_EQ(SendMessageW(tb, TB_COMMANDTOINDEX, 2001, 0), -1);
  for (int id = 2002; id <= 2014; ++id) EXPECT_GE(SendMessageW(tb, TB_COMMANDTOINDEX, id, 0), 0) << id;
  ASSERT_TRUE(Close(p, w));

  // Damaged values: NaN splitter, an order that repeats a column, a place
  // on no monitor; and no stored toolbar gives the first arrangement.
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kToolbarKey, L"Toolbar");
  p->Settings().vert = std::numeric_limits<double>::quiet_NaN();
  p->Settings().horz = std::numeric_limits<double>::infinity();
  for (auto& c : p->Settings().columns) c.order = 1;
  p->Settings().listRect = {-30000, -30000, -29500, -29600};
  w = Open(p);
  ASSERT_TRUE(w);
  EXPECT_EQ(SendMessageW(GetDlgItem(w, 1000), TB_BUTTONCOUNT, 0, 0), 18);
  int order[6] = {};
  SendMessageW(GetDlgItem(w, 1028), LVM_GETCOLUMNORDERARRAY, 6, reinterpret_cast<LPARAM>(order));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(order[i], i);
  d_.WaitFor([&] {
    RECT r;
    GetWindowRect(w, &r);
    return r.left > -1000;
  }, 3000);
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_NE(MonitorFromRect(&r, MONITOR_DEFAULTTONULL), nullptr);
  ASSERT_TRUE(Close(p, w));
  EXPECT_TRUE(std::isfinite(p->Settings().vert));
  EXPECT_DOUBLE_EQ(p->Settings().vert, 0.2);
  EXPECT_DOUBLE_EQ(p->Settings().horz, 0.5);
}

// Notifications still queued when the window goes give their references
// back; so do the rows.
TEST_F(ListTest, QueuedNotificationsAreReleasedWhenTheWindowGoes) {
  pwtest::InProcessPlugin p({{L"One", {10, 20}}});
  pwtest::FakeHost host;
  p->SetHost(&host);
  pw::MailAccount& a = *p->Accounts()[0];
  pw::RefPtr<pw::MailMessage> m;
  {
    pw::SharedGuard g(a.MessageLock());
    m = pw::RefPtr<pw::MailMessage>(a.Messages().begin()->Get());
  }
  const ULONG messageRefs = Refs(*m), accountRefs = Refs(a);
  HWND w = Open(p);
  ASSERT_TRUE(w);
  ASSERT_TRUE(d_.WaitFor([&] { return Rows(w) == 2; }, kWait));
  // Hold the window's thread busy, queue notifications behind the close.
  d_.OnDialogThread(w, [&] {
    PostMessageW(w, WM_CLOSE, 0, 0);
    for (int i = 0; i < 50; ++i) {
      m->AddRef();
      PostMessageW(w, WM_USER, 0, reinterpret_cast<LPARAM>(m.Get()));
      a.AddRef();
      m->AddRef();
      PostMessageW(w, WM_USER + 1, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(m.Get()));
      a.AddRef();
      PostMessageW(w, WM_USER + 10 + 4, reinterpret_cast<WPARAM>(&a), 1);
    }
  });
  ASSERT_TRUE(d_.WaitFor([&] { return !p->ListWindowExists(); }, kWait));
  d_.WaitFor([&] { return Refs(*m) == messageRefs; }, 3000);
  EXPECT_EQ(Refs(*m), messageRefs);
  EXPECT_EQ(Refs(a), accountRefs);
}

// Cell texts at their limits.
TEST(ListCells, SizesAndDates) {
  EXPECT_EQ(pw::ui::FormatSize(1023), L"1023");
  EXPECT_EQ(pw::ui::FormatSize(1024), L"1.00K");
  EXPECT_EQ(pw::ui::FormatSize(1048575), L"1024.00K");
  EXPECT_EQ(pw::ui::FormatSize(1048576), L"1.00M");
  EXPECT_EQ(pw::ui::FormatSize(0xFFFFFFFFu), L"4096.00M");
  auto message = [](const char* header) {
    pw::RefPtr<pw::MailMessage> m = pw::MailMessage::Create(L"x");
    m->rawHeader.Set(header);
    pw::parseHeaderFields(*m);
    return m;
  };
  SYSTEMTIME now;
  GetLocalTime(&now);
  auto today = message("Subject: s\r\n");
  today->headerFields.push_back(L"Date", L"today");
  today->date = now;
  today->date.wHour = 9;
  today->date.wMinute = 5;
  wchar_t time[64];
  GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &today->date, nullptr, time, 64);
  EXPECT_EQ(pw::ui::FormatDate(*today, L"dd MMM yy", false), time);
  auto old = message("Date: Sun, 1 Jan 2023 10:00:00 +0000\r\n");
  const std::wstring text = pw::ui::FormatDate(*old, L"yyyy-MM-dd", false);
  EXPECT_EQ(text.rfind(L"2023-01-01 ", 0), 0u) << std::string(text.begin(), text.end());
  auto none = message("Subject: s\r\n");
  EXPECT_EQ(pw::ui::FormatDate(*none, L"", false), L"(empty)");
  EXPECT_EQ(pw::ui::FormatDate(*none, L"", true), L"<not loaded>");
  EXPECT_EQ(pw::ui::FieldCell(*none, L"From", false), L"(empty)");
  EXPECT_EQ(pw::ui::FieldCell(*none, L"From", true), L"");
  auto unloaded = pw::MailMessage::Create(L"y");
  EXPECT_EQ(pw::ui::FieldCell(*unloaded, L"From", true), L"<not loaded>");
}

namespace {

pw::RefPtr<pw::MailMessage> RowMessage(int i) {
  pw::RefPtr<pw::MailMessage> m = pw::MailMessage::Create(std::to_wstring(i).c_str());
  char h[200];
  // Repeated keys (ties keep their order) and some missing fields.
  if (i % 7 == 0)
    snprintf(h, sizeof h, "Subject: s%d\r\nDate: Mon, %d Jan 2024 10:00:00 +0000\r\n", i % 13, 1 + i % 20);
  else
    snprintf(h, sizeof h, "From: %c%d@example.org\r\nSubject: S%d\r\nDate: Mon, %d Jan 2024 10:00:00 +0000\r\n",
             i % 2 ? 'A' : 'a', i % 11, i % 13, 1 + i % 20);
  m->rawHeader.Set(h);
  pw::parseHeaderFields(*m);
  m->size = static_cast<uint32_t>(i * 37 % 500);
  if (i % 3) m->ClearState(pw::MessageState::New);
  if (i % 10 == 4) m->SetType(pw::MessageType::Spam);
  if (i % 25 == 9) m->SetType(pw::MessageType::Dangerous);
  return m;
}

std::vector<pw::MailMessage*> Order(const pw::ui::ListRows& rows) {
  std::vector<pw::MailMessage*> out;
  for (size_t i = 0; i < rows.Size(); ++i) out.push_back(rows.At(i).message.Get());
  return out;
}

void ExpectMapAndCounts(const pw::ui::ListRows& rows) {
  size_t unread = 0, spam = 0, dangerous = 0;
  for (size_t i = 0; i < rows.Size(); ++i) {
    const pw::MailMessage& m = *rows.At(i).message;
    ASSERT_EQ(rows.Find(&m), static_cast<int>(i));
    unread += m.HasState(pw::MessageState::New);
    spam += m.Type() == pw::MessageType::Spam;
    dangerous += m.Type() == pw::MessageType::Dangerous;
  }
  EXPECT_EQ(rows.NewRows(), unread);
  EXPECT_EQ(rows.SpamRows(), spam);
  EXPECT_EQ(rows.DangerousRows(), dangerous);
}

}  // namespace

// Many rows removed in one pass: the message-to-row map, the counts the
// toolbar reads and the references all stay right. One changed row put in
// place alone ends where a stable sort of the whole list puts it, for every
// column, both ways, ties and missing fields included; so does a whole
// sort after such changes.
TEST(ListRows, BulkRemovalAndSingleRowPlacementMatchAFullSort) {
  auto account = pw::RefPtr<pw::MailAccount>::Adopt(new pw::MailAccount(nullptr));
  std::vector<pw::RefPtr<pw::MailMessage>> all;
  pw::ui::ListRows rows;
  for (int i = 0; i < 3000; ++i) {
    all.push_back(RowMessage(i));
    rows.Append(*all.back(), *account);
  }
  ExpectMapAndCounts(rows);
  std::vector<pw::MailMessage*> gone;
  for (size_t i = 0; i < all.size(); i += 3) gone.push_back(all[i].Get());
  gone.push_back(all[3].Get());  // named twice
  pw::RefPtr<pw::MailMessage> stranger = RowMessage(5000);
  gone.push_back(stranger.Get());
  EXPECT_EQ(rows.RemoveMessages(gone), 1000u);
  EXPECT_EQ(rows.Size(), 2000u);
  ExpectMapAndCounts(rows);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(rows.Find(all[i].Get()) < 0, i % 3 == 0) << i;
    EXPECT_EQ(Refs(*all[i]), i % 3 == 0 ? 1u : 2u) << i;
  }
  // The rows keep their order otherwise.
  const auto left = Order(rows);
  for (size_t i = 1; i < left.size(); ++i) EXPECT_LT(_wtoi(left[i - 1]->Uidl()), _wtoi(left[i]->Uidl()));

  auto change = [&](int column, pw::MailMessage& m, int step) {
    switch (column) {
      case 0:
        if (step % 2) m.SetType(step % 4 == 1 ? pw::MessageType::Approved : pw::MessageType::Normal);
        else if (m.HasState(pw::MessageState::New)) m.ClearState(pw::MessageState::New);
        else m.SetState(pw::MessageState::New);
        break;
      case 1:
      case 2: {
        const std::string h = step % 3 == 0 ? "Date: Mon, 2 Jan 2024 10:00:00 +0000\r\n"
                                            : "From: b" + std::to_string(step % 5) + "\r\nSubject: s" +
                                                  std::to_string(step % 4) + "\r\n";
        m.rawHeader.Set(h.c_str());
        pw::parseHeaderFields(m);
        break;
      }
      case 3: m.date.wDay = static_cast<WORD>(step % 3 ? 1 + step % 20 : 0), m.date.wYear = step % 3 ? 2024 : 0; break;
      default: m.size = static_cast<uint32_t>(step * 53 % 500); break;
    }
  };
  auto stableSorted = [](std::vector<pw::MailMessage*> order, int column, int type) {
    std::stable_sort(order.begin(), order.end(), [&](pw::MailMessage* a, pw::MailMessage* b) {
      return (type == 1 ? pw::ui::CompareForColumn(column, *a, *b) : pw::ui::CompareForColumn(column, *b, *a)) < 0;
    });
    return order;
  };
  for (int column = 0; column <= 4; ++column) {
    for (int type : {-1, 1}) {
      // The whole sort, over the keys the rows keep from the last count.
      const std::vector<pw::MailMessage*> sorted = stableSorted(Order(rows), column, type);
      rows.Sort(column, type);
      ASSERT_EQ(Order(rows), sorted) << "column " << column << " type " << type;
      for (int step = 0; step < 40; ++step) {
        const size_t p = static_cast<size_t>(step * 211 + column * 17) % rows.Size();
        pw::MailMessage& m = *rows.At(p).message;
        const std::vector<pw::MailMessage*> before = Order(rows);
        change(column, m, step);
        const std::vector<pw::MailMessage*> expected = stableSorted(before, column, type);
        rows.Recount(p);
        const size_t q = rows.InOrder(p, column, type) ? p : rows.Reposition(p, column, type);
        ASSERT_EQ(Order(rows), expected) << "column " << column << " type " << type << " step " << step;
        EXPECT_EQ(rows.At(q).message.Get(), &m);
      }
      ExpectMapAndCounts(rows);
    }
  }
}

// Texts that share their first four letters, end within them, differ only
// in case or only beyond them, or are not ASCII: the text sort keeps the
// order of the letter-by-letter comparison, both ways.
TEST(ListRows, TextSortMatchesTheLetterByLetterOrder) {
  auto account = pw::RefPtr<pw::MailAccount>::Adopt(new pw::MailAccount(nullptr));
  const char* subjects[] = {"abcd", "ABCDe", "abcD", "abc", "", "abcdz", "ABCDZ", "=?utf-8?Q?=C3=84bcd?=",
                            "=?utf-8?Q?=C3=A4bcdz?=", "a", "abce", "abcd", nullptr, "Abcd", "zz", "abcda"};
  std::vector<pw::RefPtr<pw::MailMessage>> all;
  pw::ui::ListRows rows;
  for (int round = 0; round < 3; ++round)
    for (const char* subject : subjects) {
      all.push_back(pw::MailMessage::Create(std::to_wstring(all.size()).c_str()));
      const std::string h = subject ? std::string("Subject: ") + subject + "\r\n" : "From: x@example.org\r\n";
      all.back()->rawHeader.Set(h.c_str());
      pw::parseHeaderFields(*all.back());
      rows.Append(*all.back(), *account);
    }
  for (int type : {-1, 1}) {
    std::vector<pw::MailMessage*> expected = Order(rows);
    std::stable_sort(expected.begin(), expected.end(), [&](pw::MailMessage* a, pw::MailMessage* b) {
      return (type == 1 ? pw::ui::CompareForColumn(2, *a, *b) : pw::ui::CompareForColumn(2, *b, *a)) < 0;
    });
    rows.Sort(2, type);
    EXPECT_EQ(Order(rows), expected) << "type " << type;
  }
}

// A sort reports where the rows it was asked to follow went: a few rows
// (none, repeated, out of range) and more than a few, every column.
TEST(ListRows, SortTellsWhereFollowedRowsWent) {
  auto account = pw::RefPtr<pw::MailAccount>::Adopt(new pw::MailAccount(nullptr));
  std::vector<pw::RefPtr<pw::MailMessage>> all;
  pw::ui::ListRows rows;
  for (int i = 0; i < 500; ++i) {
    all.push_back(RowMessage(i));
    rows.Append(*all.back(), *account);
  }
  std::vector<int> many;
  for (int i = 3; i < 500; i += 4) many.push_back(i);
  many.push_back(-1);
  for (int column = 0; column <= 5; ++column)
    for (int type : {-1, 1})
      for (const std::vector<int>& followed : {std::vector<int>{17, -1, 499, 17, 0, 600}, many}) {
        // From a different order each time: the date column, the other way.
        rows.Sort(3, -type);
        const std::vector<pw::MailMessage*> before = Order(rows);
        std::vector<int> after = followed;
        rows.Sort(column, type, &after);
        ASSERT_EQ(after.size(), followed.size());
        for (size_t j = 0; j < followed.size(); ++j) {
          const int was = followed[j];
          if (was < 0 || was >= 500) {
            EXPECT_EQ(after[j], -1) << column << " " << type << " " << j;
            continue;
          }
          ASSERT_GE(after[j], 0) << column << " " << type << " " << j;
          EXPECT_EQ(rows.At(static_cast<size_t>(after[j])).message.Get(), before[static_cast<size_t>(was)])
              << column << " " << type << " " << j;
        }
      }
}

// Save message writes every recorded byte (zeros included) under the name
// the user typed, with ".msg" added; the proposed name has no path
// characters. A queued reply deleted from the list goes at once.
TEST_F(ListTest, SaveWritesTheRecordedLengthAndDeletingAReplyPurgesIt) {
  pwtest::InProcessPlugin p({{L"One", {10}}});
  pwtest::FakeHost host;
  p->SetHost(&host);
  p->Settings().confirm = 0;
  pw::MailAccount& a = *p->Accounts()[0];
  Header(a, "m0", "From: x@example.org\r\nSubject: a/b:c\r\n");
  const std::string body("Subject: a/b:c\r\n\r\nbin\0ary\0\r\n", 27);
  {
    pw::ExclusiveGuard g(a.MessageLock());
    a.Messages().begin()->Get()->rawMessage.Set(body.data(), body.size());
  }
  pwtest::LinuxTempDir dir;
  const std::wstring target = pwtest::WindowsPath(dir.Path()) + L"\\saved";
  HWND w = Open(p);
  ASSERT_TRUE(w);
  ASSERT_TRUE(d_.WaitFor([&] { return Rows(w) == 1; }, kWait));
  SelectRow(w, 0);
  PostMessageW(w, WM_COMMAND, 2013, 0);
  HWND save = d_.WaitDialog(L"Select file to save message");
  ASSERT_TRUE(save);
  std::wstring proposed;
  d_.WaitFor([&] { return !(proposed = d_.Text(save, 0x47C)).empty(); }, 3000);
  EXPECT_EQ(proposed, L"a_b_c");
  d_.SetText(save, 0x47C, target);
  d_.PressOk(save);
  ASSERT_TRUE(d_.WaitGone(save));
  d_.OnDialogThread(w, [] {});
  EXPECT_EQ(pwtest::ReadLinuxFile(dir.Path() + "/saved.msg"), body);

  // A queued reply, selected and deleted: gone from the account at once.
  pw::RefPtr<pw::MailMessage> reply = pw::MailMessage::Create(L"reply");
  reply->SetType(pw::MessageType::Outgoing);
  a.AddMessage(reply.Get());
  ASSERT_TRUE(d_.WaitFor([&] { return Rows(w) == 2; }, kWait));
  int row = -1;
  OnWindow(w, [&](pw::ui::MessagesListWindow& win) {
    for (size_t i = 0; i < win.RowCount(); ++i)
      if (win.Row(i)->message.Get() == reply.Get()) row = static_cast<int>(i);
  });
  ASSERT_GE(row, 0);
  ListView_SetItemState(GetDlgItem(w, 1028), -1, 0, LVIS_SELECTED);
  SelectRow(w, row);
  a.lastCheckTime = 12345;  // a prompt check would clear it
  Key(w, VK_DELETE);
  ASSERT_TRUE(d_.WaitFor([&] { return Rows(w) == 1 && a.MessageCount() == 1; }, kWait));
  EXPECT_EQ(a.lastCheckTime, 12345u);
  // Enter does nothing; the window stays.
  PostMessageW(GetDlgItem(w, 1028), WM_KEYDOWN, VK_RETURN, 1);
  d_.OnDialogThread(w, [] {});
  d_.WaitFor([] { return false; }, 300);
  EXPECT_TRUE(p->ListWindowExists());
  ASSERT_TRUE(Close(p, w));
}
