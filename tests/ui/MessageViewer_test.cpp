// The message viewer control in a plain window, fed messages the way the
// messages list window feeds them; its settings dialog driven from a
// second thread; attachments saved to a real folder.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <richedit.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "account/FakeOwner.h"
#include "account/MailAccount.h"
#include "account/MailMessage.h"
#include "account/MessageBody.h"
#include "account/MessageHeader.h"
#include "image/Picture.h"
#include "support/Pump.h"
#include "ui/ViewerMessages.h"
#include "ui/support/Screenshot.h"
#include "ui/support/UiDriver.h"
#include "ui/viewer/AttachmentSave.h"
#include "ui/viewer/MessageViewer.h"
#include "ui_ids.h"

using pw::ui::ViewerState;

namespace {

pw::RefPtr<pw::MailMessage> Message(const std::string& text, bool whole = true) {
  auto m = pw::MailMessage::Create(L"m");
  size_t end = text.find("\r\n\r\n");
  pw::parseHeader(*m, text.data(), end == std::string::npos ? text.size() : end + 2);
  if (whole) pw::parseMessage(*m, text.data(), text.size());
  return m;
}

const std::string kMixed =
    "From: Ann <ann@example.org>\r\nTo: bob@example.net\r\nSubject: Pictures\r\n"
    "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
    "--b1\r\nContent-Type: text/plain\r\n\r\n \r\n\r\n--b1\r\nContent-Type: text/plain\r\n\r\n"
    "See http://example.org/a and file:///c:/x and \\\\server\\share and javascript:alert(1) "
    "and www.example.com and mailto:ann@example.org\r\n"
    "--b1\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
    "Content-Disposition: attachment; filename=\"..\\\\..\\\\evil.bat\"\r\n\r\nAAECA/9/gA==\r\n--b1--\r\n";

std::wstring Text(HWND w) {
  std::wstring s(static_cast<size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
  s.resize(static_cast<size_t>(GetWindowTextW(w, s.data(), static_cast<int>(s.size()))));
  return s;
}

class ViewerHost {
 public:
  ViewerHost() {
    window = CreateWindowExW(0, pw::ui::kViewerClass, L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 30, 30, 560, 400,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
    state = pw::ui::ViewerOf(window);
  }
  ~ViewerHost() { DestroyWindow(window); }
  void Tab(int i) {
    SendMessageW(window, pw::ui::kViewSelectTab, i, 0);
    UpdateWindow(window);
  }
  // A tab's text is filled when the tab is shown.
  std::wstring Source() {
    Tab(0);
    return Text(state->source);
  }
  std::wstring Body() {
    Tab(1);
    return Text(state->body);
  }
  HWND window;
  ViewerState* state;
};

std::vector<std::wstring> g_opened;
void Record(HWND, const std::wstring& url) { g_opened.push_back(url); }

// A left click on the text range [from, to) of `edit`, as the control
// reports a detected link to its parent.
void ClickRange(HWND viewer, HWND edit, LONG from, LONG to) {
  ENLINK link{};
  link.nmhdr.hwndFrom = edit;
  link.nmhdr.idFrom = 0;
  link.nmhdr.code = EN_LINK;
  link.msg = WM_LBUTTONDOWN;
  link.chrg = {from, to};
  SendMessageW(viewer, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&link));
}

}  // namespace

TEST(MessageViewer, TabsOfAWholeAHeaderOnlyAndAnUnloadedMessage) {
  ViewerHost h;
  ASSERT_TRUE(h.state);
  const wchar_t* fields[] = {L"Subject", L"X-Missing", L"From"};
  pw::ui::ViewerStringList list{3, const_cast<wchar_t**>(fields)};
  SendMessageW(h.window, pw::ui::kViewSetFields, 0, reinterpret_cast<LPARAM>(&list));

  auto m = Message(kMixed);
  SendMessageW(h.window, pw::ui::kViewShowMessage, 0, reinterpret_cast<LPARAM>(m.Get()));
  EXPECT_NE(h.Source().find(L"Subject: Pictures"), std::wstring::npos);
  // The blank first text part is passed over for the second.
  const std::wstring body = h.Body();
  EXPECT_EQ(body.find(L"See http://example.org/a"), 0u) << std::string(body.begin(), body.end());
  EXPECT_EQ(ListView_GetItemCount(h.state->headers), 5);
  // The pane keeps the list's order and leaves out the missing field.
  ASSERT_EQ(h.state->paneRows.size(), 2u);
  EXPECT_EQ(h.state->paneRows[0].first, L"Subject:");
  EXPECT_EQ(h.state->paneRows[1].second, L"Ann <ann@example.org>");
  ASSERT_EQ(h.state->attachments.size(), 1u);
  EXPECT_GT(h.state->stripWidth, 40);
  // A field name is bold by default.
  CHARFORMAT2W cf{};
  cf.cbSize = sizeof(cf);
  CHARRANGE n{0, 4};
  h.Tab(0);
  SendMessageW(h.state->source, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&n));
  SendMessageW(h.state->source, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
  EXPECT_TRUE(cf.dwEffects & CFE_BOLD);

  const wchar_t* shots[] = {L"viewer_source", L"viewer_message", L"viewer_headers", L"viewer_log"};
  for (int i = 0; i < 4; ++i) {
    h.Tab(i);
    EXPECT_EQ(SendMessageW(h.window, pw::ui::kViewGetTab, 0, 0), i);
    EXPECT_EQ(IsWindowVisible(h.state->body) != 0, i == 1);
    EXPECT_EQ(IsWindowVisible(h.state->headers) != 0, i == 2);
    pwtest::Shoot(h.window, shots[i]);
  }

  auto headerOnly = Message("From: c@example.org\r\nSubject: Later\r\nX-Note: one\r\n folded on\r\n\r\n", false);
  SendMessageW(h.window, pw::ui::kViewShowMessage, 0, reinterpret_cast<LPARAM>(headerOnly.Get()));
  EXPECT_EQ(h.Body(), L"");
  EXPECT_NE(h.Source().find(L"Subject: Later"), std::wstring::npos);
  EXPECT_TRUE(h.state->attachments.empty());
  // A folded line holds no colon: all of it is in the (plain) value style.
  const std::wstring src = Text(h.state->source);
  const LONG fold = static_cast<LONG>(src.find(L"folded on"));
  ASSERT_GT(fold, 0);
  CHARRANGE r{fold, fold + 6};
  SendMessageW(h.state->source, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
  SendMessageW(h.state->source, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
  EXPECT_FALSE(cf.dwEffects & CFE_BOLD);
  EXPECT_EQ(h.state->stripWidth, 0);

  auto bare = pw::MailMessage::Create(L"bare");
  SendMessageW(h.window, pw::ui::kViewShowMessage, 0, reinterpret_cast<LPARAM>(bare.Get()));
  EXPECT_EQ(h.Source(), L"<not loaded>");
  SendMessageW(h.window, pw::ui::kViewShowMessage, 0, 0);
  EXPECT_EQ(h.Source(), L"");
  EXPECT_FALSE(h.state->message);
}

TEST(MessageViewer, OnlyWebAndMailLinksAreOpened) {
  ViewerHost h;
  auto m = Message(kMixed);
  SendMessageW(h.window, pw::ui::kViewShowMessage, 0, reinterpret_cast<LPARAM>(m.Get()));
  pw::ui::SetViewerLinkOpener(Record);
  g_opened.clear();
  const std::wstring body = h.Body();
  for (const wchar_t* word : {L"http://example.org/a", L"file:///c:/x", L"\\\\server\\share", L"javascript:alert(1)",
                              L"www.example.com", L"mailto:ann@example.org"}) {
    const LONG at = static_cast<LONG>(body.find(word));
    ASSERT_GE(at, 0);
    ClickRange(h.window, h.state->body, at, at + static_cast<LONG>(wcslen(word)));
  }
  pw::ui::SetViewerLinkOpener(nullptr);
  ASSERT_EQ(g_opened.size(), 3u);
  EXPECT_EQ(g_opened[0], L"http://example.org/a");
  EXPECT_EQ(g_opened[1], L"http://www.example.com");
  EXPECT_EQ(g_opened[2], L"mailto:ann@example.org");
  EXPECT_FALSE(pw::ui::IsOpenableLink(L"HTTP:"));
  EXPECT_TRUE(pw::ui::IsOpenableLink(L"HTTPS://x"));
  EXPECT_FALSE(pw::ui::IsOpenableLink(L" http://x"));
}

// A large message: a few screens at once, the rest a step per timer tick
// with the reader's selection and scroll position kept, links detected in
// every step, and the whole text exactly. The next message replaces the
// control that held it, in its place.
TEST(MessageViewer, ALargeTextArrivesWhileTheReaderStaysPut) {
  ViewerHost h;
  std::string text = "From: a@example.org\r\nSubject: Big\r\n\r\n";
  std::wstring expected;
  int lines = 0;
  for (; text.size() < 600 * 1024; ++lines) {
    const std::string line = "Line " + std::to_string(lines) + " of the minutes, at http://example.org/" +
                             std::to_string(lines) + " for all\r\n";
    text += line;
    expected += std::wstring(line.begin(), line.end());
  }
  auto m = Message(text);
  h.Tab(1);
  SendMessageW(h.window, pw::ui::kViewShowMessage, 0, reinterpret_cast<LPARAM>(m.Get()));
  HWND edit = h.state->body;
  const size_t atOnce = Text(edit).size();
  EXPECT_GT(atOnce, 1000u);
  EXPECT_LT(atOnce, expected.size() / 4);
  EXPECT_FALSE(h.state->bodyLeft.Empty());
  EXPECT_TRUE(h.state->sourceLeft.Empty());  // the source tab was never shown

  // The reader selects a word and scrolls a little while the rest arrives.
  CHARRANGE word{5, 7};
  SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&word));
  SendMessageW(edit, EM_LINESCROLL, 0, 3);
  EXPECT_EQ(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0), 3);
  ASSERT_TRUE(pwtest::PumpUntil([&] { return h.state->bodyLeft.Empty(); }, 120000));
  CHARRANGE sel{};
  SendMessageW(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&sel));
  EXPECT_EQ(sel.cpMin, 5);
  EXPECT_EQ(sel.cpMax, 7);
  EXPECT_EQ(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0), 3);
  const std::wstring shown = Text(edit);
  EXPECT_EQ(shown.size(), expected.size());
  EXPECT_TRUE(shown == expected) << "first difference at " << std::mismatch(shown.begin(), shown.end(),
                                                                              expected.begin()).first - shown.begin();

  // The last line's link is detected and opens.
  std::wstring url = L"http://example.org/" + std::to_wstring(lines - 1);
  FINDTEXTEXW find{{0, -1}, url.c_str(), {0, 0}};
  ASSERT_GE(SendMessageW(edit, EM_FINDTEXTEXW, FR_DOWN, reinterpret_cast<LPARAM>(&find)), 0);
  CHARFORMAT2W cf{};
  cf.cbSize = sizeof(cf);
  SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&find.chrgText));
  SendMessageW(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
  EXPECT_TRUE(cf.dwEffects & CFE_LINK);
  pw::ui::SetViewerLinkOpener(Record);
  g_opened.clear();
  ClickRange(h.window, edit, find.chrgText.cpMin, find.chrgText.cpMax);
  pw::ui::SetViewerLinkOpener(nullptr);
  ASSERT_EQ(g_opened.size(), 1u);
  EXPECT_EQ(g_opened[0], url);

  // The next message: the large text leaves with its control, whose place,
  // visibility, focus and place in the tab order the new one takes.
  SetFocus(edit);
  RECT before;
  GetWindowRect(edit, &before);
  HWND previous = GetWindow(edit, GW_HWNDPREV);
  auto small = Message("From: b@example.org\r\nSubject: Small\r\n\r\nSee http://example.org/a\r\n");
  SendMessageW(h.window, pw::ui::kViewShowMessage, 0, reinterpret_cast<LPARAM>(small.Get()));
  EXPECT_FALSE(IsWindow(edit));
  HWND fresh = h.state->body;
  RECT now;
  GetWindowRect(fresh, &now);
  EXPECT_TRUE(EqualRect(&before, &now));
  EXPECT_TRUE(IsWindowVisible(fresh));
  EXPECT_EQ(GetFocus(), fresh);
  EXPECT_EQ(GetWindow(fresh, GW_HWNDPREV), previous);
  EXPECT_EQ(Text(fresh).find(L"See http://example.org/a"), 0u);
  EXPECT_TRUE(h.state->bodyLeft.Empty());
}

TEST(MessageViewer, SettingsColumnsFieldsAndTheSettingsDialog) {
  ViewerHost h;
  pw::ui::ViewSettingsBlock in;
  in.fieldNameColor = 0x0000FF;
  in.messageBodyITALIC = 1;
  wcscpy(in.fontName, L"Courier New");
  in.fontSize = 11;
  SendMessageW(h.window, pw::ui::kViewSetSettings, 0, reinterpret_cast<LPARAM>(&in));
  pw::ui::ViewSettingsBlock out;
  SendMessageW(h.window, pw::ui::kViewGetSettings, 0, reinterpret_cast<LPARAM>(&out));
  EXPECT_EQ(memcmp(&in, &out, sizeof(in)), 0);

  int order[2] = {1, 0}, back[2] = {};
  SendMessageW(h.window, pw::ui::kViewSetColumnOrder, 2, reinterpret_cast<LPARAM>(order));
  SendMessageW(h.window, pw::ui::kViewGetColumnOrder, 2, reinterpret_cast<LPARAM>(back));
  EXPECT_EQ(back[0], 1);
  int32_t widths[2] = {77, 211}, got[2] = {};
  SendMessageW(h.window, pw::ui::kViewSetColumnWidths, 0, reinterpret_cast<LPARAM>(widths));
  SendMessageW(h.window, pw::ui::kViewGetColumnWidths, 0, reinterpret_cast<LPARAM>(got));
  EXPECT_EQ(got[0], 77);
  EXPECT_EQ(got[1], 211);

  pw::ui::ViewerStringList fields;
  SendMessageW(h.window, pw::ui::kViewGetFields, 0, reinterpret_cast<LPARAM>(&fields));
  EXPECT_EQ(fields.count, 4);
  pw::ui::FreeViewerStrings(fields);

  pwtest::UiDriver d([](pwtest::UiDriver& d) {
    HWND w = d.WaitDialog(L"Message View Settings");
    if (!w) return;
    EXPECT_TRUE(d.IsChecked(w, IDC_VS_NAME_BOLD) == false);
    EXPECT_TRUE(d.IsChecked(w, IDC_VS_BODY_ITALIC));
    EXPECT_EQ(d.Text(w, IDC_VS_FONT), L"Courier New");
    pwtest::Shoot(w, L"viewer_settings");
    d.Click(w, IDC_VS_VALUE_BOLD);
    d.SetText(w, IDC_VS_SIZE, L"14");
    d.WaitFor([&] { return d.IsChecked(w, IDC_VS_VALUE_BOLD); });
    d.PressOk(w);
    d.WaitGone(w);
  });
  // Bold of the name is off in the block set above (a fresh block has it on).
  in.fieldNameBOLD = 0;
  ASSERT_TRUE(pw::ui::EditViewSettings(h.window, in));
  d.Join();
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
  EXPECT_EQ(in.fieldValueBOLD, 1);
  EXPECT_EQ(in.fontSize, 14);
  EXPECT_EQ(in.fieldNameColor, 0x0000FF);
}

TEST(MessageViewer, ConnectionLogFillAppendClear) {
  ViewerHost h;
  pwtest::FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  a->LogEvent(0, L"Connecting");
  a->LogEvent(1, L"Logged in");
  SendMessageW(h.window, pw::ui::kViewLogFill, 0, reinterpret_cast<LPARAM>(a.Get()));
  EXPECT_EQ(ListView_GetItemCount(h.state->log), 2);
  a->LogEvent(2, L"3 new messages");
  SendMessageW(h.window, pw::ui::kViewLogAppend, 0, reinterpret_cast<LPARAM>(a.Get()));
  ASSERT_EQ(ListView_GetItemCount(h.state->log), 3);
  wchar_t text[64] = L"";
  ListView_GetItemText(h.state->log, 2, 0, text, 64);
  EXPECT_STREQ(text, L"3 new messages");
  SendMessageW(h.window, pw::ui::kViewLogFill, 0, reinterpret_cast<LPARAM>(a.Get()));
  EXPECT_EQ(ListView_GetItemCount(h.state->log), 3);  // a refill does not double
  SendMessageW(h.window, pw::ui::kViewLogClear, 0, reinterpret_cast<LPARAM>(a.Get()));
  EXPECT_EQ(ListView_GetItemCount(h.state->log), 0);
}

// How far the 16x16 block drawn at `at` in `list` is from `png` laid on the
// list's background: mean difference per channel.
static double Distance(HWND list, POINT at, const pw::image::Picture& png) {
  const COLORREF back = ListView_GetBkColor(list);
  HDC dc = GetDC(list);
  double sum = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const COLORREF got = GetPixel(dc, at.x + x, at.y + y);
      const uint32_t p = png.At(x, y);
      const double a = (p >> 24) / 255.0;
      const double want[3] = {((p >> 16) & 0xFF) * a + GetRValue(back) * (1 - a),
                              ((p >> 8) & 0xFF) * a + GetGValue(back) * (1 - a), (p & 0xFF) * a + GetBValue(back) * (1 - a)};
      sum += std::abs(GetRValue(got) - want[0]) + std::abs(GetGValue(got) - want[1]) + std::abs(GetBValue(got) - want[2]);
    }
  ReleaseDC(list, dc);
  return sum / (16 * 16 * 3);
}

TEST(MessageViewer, EachLogKindShowsItsPicture) {
  ViewerHost h;
  pwtest::FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  const wchar_t* texts[5] = {L"+OK ready", L"USER user", L"Connection closed", L"Other", L"Login refused"};
  for (uint32_t k = 0; k < 5; ++k) a->LogEvent(k, texts[k]);
  SendMessageW(h.window, pw::ui::kViewLogFill, 0, reinterpret_cast<LPARAM>(a.Get()));
  h.Tab(3);
  ASSERT_EQ(ListView_GetItemCount(h.state->log), 5);
  HIMAGELIST images = ListView_GetImageList(h.state->log, LVSIL_SMALL);
  ASSERT_TRUE(images);
  EXPECT_EQ(ImageList_GetImageCount(images), 5);
  int cx = 0, cy = 0;
  ImageList_GetIconSize(images, &cx, &cy);
  EXPECT_EQ(cx, 16);
  EXPECT_EQ(cy, 16);

  // The pictures of the log, in the kinds' order.
  const UINT ids[5] = {1118, 1120, 1119, 1121, 1117};
  pw::image::Picture pngs[5];
  for (int k = 0; k < 5; ++k)
    ASSERT_TRUE(pw::image::LoadPngResource(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(ids[k]), pngs[k])) << ids[k];
  pwtest::Shoot(h.window, L"viewer_log_kinds");
  RedrawWindow(h.state->log, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
  for (int row = 0; row < 5; ++row) {
    RECT icon{};
    icon.left = LVIR_ICON;
    ASSERT_TRUE(SendMessageW(h.state->log, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&icon)));
    const POINT at{icon.left + (icon.right - icon.left - 16) / 2, icon.top + (icon.bottom - icon.top - 16) / 2};
    // Its own picture is drawn there, nearly exactly, and no other.
    const double own = Distance(h.state->log, at, pngs[row]);
    EXPECT_LT(own, 6.0) << "row " << row;
    for (int other = 0; other < 5; ++other) {
      if (other == row) continue;
      EXPECT_GT(Distance(h.state->log, at, pngs[other]), own + 10) << row << " vs " << other;
    }
  }
}

TEST(AttachmentSave, WritesExactlyTheDecodedBytesInsideTheFolder) {
  auto m = Message(kMixed);
  std::vector<pw::AttachmentName> names;
  pw::attachmentNames(*m, names);
  ASSERT_EQ(names.size(), 1u);
  ASSERT_TRUE(names[0].part);
  const std::string bytes = pw::ui::AttachmentBytes(*names[0].part);
  EXPECT_EQ(bytes, std::string("\x00\x01\x02\x03\xff\x7f\x80", 7));

  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  const std::wstring folder = std::wstring(tmp) + L"pw_attach_test";
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring path;
  ASSERT_EQ(pw::ui::WriteAttachment(folder, names[0].name, bytes, &path), 0u);
  EXPECT_EQ(path, folder + L"\\evil.bat");
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  char buf[32];
  DWORD n = 0;
  ReadFile(f, buf, sizeof(buf), &n, nullptr);
  CloseHandle(f);
  EXPECT_EQ(std::string(buf, n), bytes);
  DeleteFileW(path.c_str());
  // A folder that does not exist is reported, not ignored.
  EXPECT_NE(pw::ui::WriteAttachment(folder + L"\\missing", L"a.bin", bytes), 0u);
  RemoveDirectoryW(folder.c_str());
}
