// The Quick Reply dialog driven as a user drives it: filled from the
// message answered, edited, sent; the queued Outgoing message carries what
// was typed, and a real Exim receives it. Hostile proposed file names are
// cleaned for saving.
#include <winsock2.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "account/FakeOwner.h"
#include "account/MailAccount.h"
#include "account/MailMessage.h"
#include "account/MessageBody.h"
#include "account/MessageHeader.h"
#include "base/Scoped.h"
#include "mail/SmtpTest.h"
#include "support/Pump.h"
#include "support/Services.h"
#include "ui/QuickReplyDialog.h"
#include "ui/SafeFileName.h"
#include "ui/support/Screenshot.h"
#include "ui/support/UiDriver.h"
#include "ui_ids.h"

using pwtest::UiDriver;

namespace {

pw::RefPtr<pw::MailMessage> Original() {
  auto m = pw::MailMessage::Create(L"orig");
  const std::string text =
      "From: \"Bob Example\" <bob@example.net>\r\nTo: user@example.org\r\nSubject: Lunch\r\n"
      "Content-Type: text/plain; charset=us-ascii\r\n\r\nAre you free?\r\nAt noon.\r\n";
  pw::parseHeader(*m, text.data(), text.find("\r\n\r\n") + 2);
  pw::parseMessage(*m, text.data(), text.size());
  return m;
}

std::vector<pw::RefPtr<pw::MailMessage>> Queued(const pw::MailAccount& a) {
  pw::SharedGuard g(a.MessageLock());
  std::vector<pw::RefPtr<pw::MailMessage>> out;
  for (const auto& m : a.Messages())
    if (m->IsOutgoing()) out.emplace_back(m);
  return out;
}

void Prepare(pw::MailAccount& a) {
  wcscpy(a.settings.outServer, L"127.0.0.1");
  wcscpy(a.settings.outFrom, L"user@example.org");
  wcscpy(a.settings.outName, L"Una User");
}

}  // namespace

TEST(QuickReplyDialog, FilledFromTheMessageAndSendQueuesWhatWasTyped) {
  pw::ScopedCoInit com;
  pwtest::FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  Prepare(*a);
  auto m = Original();
  EXPECT_EQ(pw::ui::QuickReplyUnavailableReason(*a), L"");

  UiDriver d([](UiDriver& d) {
    HWND w = d.WaitDialog(L"Quick Reply");
    if (!w) return;
    EXPECT_NE(d.Text(w, IDC_QR_TO).find(L"bob@example.net"), std::wstring::npos);
    EXPECT_NE(d.Text(w, IDC_QR_FROM).find(L"user@example.org"), std::wstring::npos);
    EXPECT_NE(d.Text(w, IDC_QR_SUBJECT).find(L"Lunch"), std::wstring::npos);
    const std::wstring quoted = d.Text(w, IDC_QR_TEXT);
    EXPECT_NE(quoted.find(L"> Are you free?"), std::wstring::npos) << std::string(quoted.begin(), quoted.end());
    EXPECT_NE(quoted.find(L"> At noon."), std::wstring::npos);
    // The editor has the focus, and the encoding list has a choice.
    HWND focus = nullptr;
    EXPECT_TRUE(d.WaitFor([&] {
      d.OnDialogThread(w, [&] { focus = GetFocus(); });
      return focus == d.Control(w, IDC_QR_TEXT);
    }));
    // The caret at the start and nothing selected: typing keeps the quote.
    DWORD from = 1, to = 1;
    EXPECT_TRUE(d.WaitFor([&] {
      d.Send(d.Control(w, IDC_QR_TEXT), EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
      return from == 0 && to == 0;
    })) << from << ".." << to;
    EXPECT_GE(d.Send(d.Control(w, IDC_QR_CHARSET), CB_GETCURSEL, 0, 0), 0);
    pwtest::Shoot(w, L"quick_reply");

    // Without a recipient the dialog stays, with the reason shown.
    d.SetText(w, IDC_QR_TO, L"nobody");
    d.PressOk(w);
    HWND box = d.WaitDialog(L"Quick Reply", 3000);
    for (int i = 0; i < 50 && box == w; ++i) {
      Sleep(100);
      box = nullptr;
      // The warning is a second window with the same caption.
      for (HWND c = FindWindowW(L"#32770", L"Quick Reply"); c; c = FindWindowExW(nullptr, c, L"#32770", L"Quick Reply"))
        if (c != w) box = c;
    }
    if (box && box != w) {
      d.PressOk(box);
      d.WaitGone(box);
    } else {
      d.Fail(L"no warning for a reply without a recipient");
    }
    EXPECT_TRUE(IsWindow(w));
    EXPECT_TRUE(d.WaitFor([&] { return d.IsEnabled(w, IDOK); }));

    d.SetText(w, IDC_QR_TO, L"Bob <bob@example.net>");
    d.SetText(w, IDC_QR_TEXT, L"Yes, see you there.\r\n.\r\nUna");
    d.PressOk(w);
    d.WaitGone(w);
  });
  EXPECT_EQ(pw::ui::ShowQuickReplyDialog(nullptr, nullptr, *a, *m), 1);
  d.Join();
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());

  auto queued = Queued(*a);
  ASSERT_EQ(queued.size(), 1u);
  const wchar_t* to = pw::nextFieldValue(*queued[0], L"To");
  ASSERT_TRUE(to);
  EXPECT_NE(std::wstring(to).find(L"bob@example.net"), std::wstring::npos);
  auto body = pw::leafText(*queued[0], 0);
  ASSERT_TRUE(body);
  EXPECT_NE(body->find(L"Yes, see you there.\r\n.\r\nUna"), std::wstring::npos)
      << std::string(body->begin(), body->end());
}

TEST(QuickReplyDialog, CloseQueuesNothingAndAnAccountThatCannotSendSaysWhy) {
  pw::ScopedCoInit com;
  pwtest::FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  EXPECT_NE(pw::ui::QuickReplyUnavailableReason(*a), L"");  // no server
  wcscpy(a->settings.outServer, L"127.0.0.1");
  EXPECT_NE(pw::ui::QuickReplyUnavailableReason(*a), L"");  // no sender
  Prepare(*a);
  auto m = Original();
  UiDriver d([](UiDriver& d) {
    HWND w = d.WaitDialog(L"Quick Reply");
    if (!w) return;
    d.SetText(w, IDC_QR_TEXT, L"never sent");
    d.PressCancel(w);
    d.WaitGone(w);
  });
  EXPECT_NE(pw::ui::ShowQuickReplyDialog(nullptr, nullptr, *a, *m), 1);
  d.Join();
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
  EXPECT_TRUE(Queued(*a).empty());
}

// A message fetched from a real Dovecot, answered in the dialog by typing,
// and sent by the account's next check to a real Exim: the delivered file
// holds the subject and the text the user typed.
TEST(QuickReplyDialog, TypedReplyReachesExim) {
  pw::ScopedCoInit com;
  WSADATA wsa;  // the DLL does this when it loads
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
  struct Cleanup {
    ~Cleanup() { WSACleanup(); }
  } cleanup;
  pwtest::Service pop("dovecot");
  ASSERT_TRUE(pop.Ok()) << pop.Error();
  pwtest::Service smtp("exim");
  ASSERT_TRUE(smtp.Ok()) << smtp.Error();
  ASSERT_TRUE(pwtest::WriteNewLinuxFile(pop.Dir() + "/home/user/Maildir/new/1700000002.M1P1.test",
                                        "From: Bob Example <bob@example.net>\r\nTo: user@example.org\r\n"
                                        "Subject: Lunch\r\nMessage-ID: <lunch-1@example.net>\r\n\r\n"
                                        "Are you free?\r\n"));
  pwtest::FakeOwner owner;
  owner.filtering = true;  // the header is fetched, so a reply can be made
  auto a = pwtest::NewAccount(&owner);
  wcscpy(a->settings.accountName, L"Test");
  wcscpy(a->settings.inServer, L"127.0.0.1");
  a->settings.inPort = static_cast<uint32_t>(pop.Port());
  wcscpy(a->settings.inUser, L"user");
  wcscpy(a->settings.inPassword, L"secret");
  wcscpy(a->settings.outServer, L"127.0.0.1");
  a->settings.outPort = static_cast<uint32_t>(smtp.Port());
  wcscpy(a->settings.outUser, L"user");
  wcscpy(a->settings.outPassword, L"secret");
  wcscpy(a->settings.outFrom, L"user@example.org");
  wcscpy(a->settings.outName, L"Una User");
  a->settings.timeout = 10000;
  auto idle = [&] { return pwtest::PumpUntil([&] { return a->busy == 0; }, 30000); };
  a->StartCheck();
  ASSERT_TRUE(idle());
  std::string log;
  for (const auto& e : a->Events())
    if (e.text.Get()) log += std::string(e.text.Get(), e.text.Get() + wcslen(e.text.Get())) + "\n";
  ASSERT_EQ(a->MessageCount(), 1u) << log;
  pw::RefPtr<pw::MailMessage> m;
  {
    pw::SharedGuard g(a->MessageLock());
    m = pw::RefPtr<pw::MailMessage>(a->Messages().At(0));
  }

  UiDriver d([](UiDriver& d) {
    HWND w = d.WaitDialog(L"Quick Reply");
    if (!w) return;
    // Everything selected, then typed over, key by key.
    PostMessageW(d.Control(w, IDC_QR_SUBJECT), EM_SETSEL, 0, -1);
    d.Type(w, IDC_QR_SUBJECT, L"Re: Lunch at Jürgen's");
    PostMessageW(d.Control(w, IDC_QR_TEXT), EM_SETSEL, 0, -1);
    // Enter as a keyboard gives it: key down, its character, key up.
    const wchar_t* lines[3] = {L"Yes, at noon.", L".", L"Grüße, Una"};
    for (int i = 0; i < 3; ++i) {
      if (i) {
        HWND editor = d.Control(w, IDC_QR_TEXT);
        PostMessageW(editor, WM_KEYDOWN, VK_RETURN, 0x001C0001);
        PostMessageW(editor, WM_CHAR, L'\r', 0x001C0001);
        PostMessageW(editor, WM_KEYUP, VK_RETURN, 0xC01C0001);
      }
      d.Type(w, IDC_QR_TEXT, lines[i]);
    }
    const std::wstring typed = d.Text(w, IDC_QR_TEXT);
    EXPECT_EQ(std::count(typed.begin(), typed.end(), L'\r'), 2) << std::string(typed.begin(), typed.end());
    EXPECT_EQ(d.Text(w, IDC_QR_SUBJECT), L"Re: Lunch at Jürgen's");
    d.PressOk(w);
    d.WaitGone(w);
  });
  EXPECT_EQ(pw::ui::ShowQuickReplyDialog(nullptr, nullptr, *a, *m), 1);
  d.Join();
  for (const auto& f : d.Failures()) ADD_FAILURE() << std::string(f.begin(), f.end());
  ASSERT_EQ(Queued(*a).size(), 1u);

  a->StartCheck();
  ASSERT_TRUE(idle());
  const auto files = pwtest::WaitDelivered(smtp.Dir(), 1);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_NE(files[0].find("Envelope-to: bob@example.net"), std::string::npos) << files[0];
  EXPECT_NE(files[0].find("In-Reply-To: <lunch-1@example.net>"), std::string::npos) << files[0];
  EXPECT_TRUE(Queued(*a).empty());  // sent, so no longer queued

  // Read back through the program's own decoders.
  std::string crlf;
  for (char c : files[0]) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  auto back = pw::MailMessage::Create(L"back");
  pw::parseHeader(*back, crlf.data(), crlf.find("\r\n\r\n") + 2);
  pw::parseMessage(*back, crlf.data(), crlf.size());
  const wchar_t* subject = pw::nextFieldValue(*back, L"Subject");
  ASSERT_TRUE(subject);
  EXPECT_EQ(std::wstring(subject), L"Re: Lunch at Jürgen's");
  auto text = pw::leafText(*back, 0);
  ASSERT_TRUE(text);
  std::wstring got = *text;
  while (!got.empty() && (got.back() == L'\n' || got.back() == L'\r')) got.pop_back();
  EXPECT_EQ(got, L"Yes, at noon.\r\n.\r\nGrüße, Una");
}

TEST(SafeFileName, HostileNamesStayOnePlainNameInTheFolder) {
  using pw::ui::SafeFileName;
  const std::wstring fb = L"attachment.dat";
  EXPECT_EQ(SafeFileName(L"report.pdf", fb), L"report.pdf");
  EXPECT_EQ(SafeFileName(L"..\\..\\Windows\\evil.exe", fb), L"evil.exe");
  EXPECT_EQ(SafeFileName(L"/etc/passwd", fb), L"passwd");
  EXPECT_EQ(SafeFileName(L"..", fb), fb);
  EXPECT_EQ(SafeFileName(L"dir\\..", fb), fb);
  EXPECT_EQ(SafeFileName(L"C:evil.exe", fb), L"C_evil.exe");
  EXPECT_EQ(SafeFileName(L"file.txt:stream", fb), L"file.txt_stream");
  EXPECT_EQ(SafeFileName(L"a\x01\x1f" L"b\tc.txt", fb), L"abc.txt");
  // A right-to-left override would show "exe.txt" as "txt.exe".
  EXPECT_EQ(SafeFileName(L"photo\x202Egpj.exe", fb), L"photogpj.exe");
  EXPECT_EQ(SafeFileName(L"x\x2066y\x200F.txt", fb), L"xy.txt");
  EXPECT_EQ(SafeFileName(L"CON", fb), L"_CON");
  EXPECT_EQ(SafeFileName(L"nul.txt", fb), L"_nul.txt");
  EXPECT_EQ(SafeFileName(L"com1.doc", fb), L"_com1.doc");
  EXPECT_EQ(SafeFileName(L"LPT9", fb), L"_LPT9");
  EXPECT_EQ(SafeFileName(L"console.txt", fb), L"console.txt");
  EXPECT_EQ(SafeFileName(L"trailing. . ", fb), L"trailing");
  EXPECT_EQ(SafeFileName(L"  .hidden", fb), L"hidden");
  EXPECT_EQ(SafeFileName(L"a<b>c|d?e*f\"g.txt", fb), L"a_b_c_d_e_f_g.txt");
  EXPECT_EQ(SafeFileName(L"", fb), fb);
  EXPECT_EQ(SafeFileName(L"\\\\server\\share\\", fb), fb);
  // Long names are cut, keeping a short extension and whole characters.
  std::wstring longName(300, L'a');
  std::wstring cut = SafeFileName(longName + L".pdf", fb);
  EXPECT_EQ(cut.size(), 200u);
  EXPECT_EQ(cut.substr(cut.size() - 4), L".pdf");
  std::wstring pairs;
  for (int i = 0; i < 150; ++i) pairs += L"\xD83D\xDE00";
  std::wstring cutPairs = SafeFileName(pairs, fb);
  EXPECT_LE(cutPairs.size(), 200u);
  EXPECT_FALSE(cutPairs.back() >= 0xD800 && cutPairs.back() <= 0xDBFF);
}
