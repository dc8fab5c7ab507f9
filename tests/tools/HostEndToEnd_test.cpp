// The stand-in host end to end: it loads a settings stream with two
// accounts on two real Dovecot servers, the plug-in's checker checks both
// by itself, and the host's button and tooltips tell of the new mail. The
// button as shown on the (virtual) screen is kept as an artifact.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <shlwapi.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "account/AccountRecords.h"
#include "account/MailAccount.h"
#include "base/Scoped.h"
#include "base/SettingsTree.h"
#include "support/Services.h"

using pwtest::Service;

namespace {

void AddMail(const Service& server, int n, size_t bodyBytes) {
  const std::string path =
      server.Dir() + "/home/user/Maildir/new/" + std::to_string(1700000000 + n) + ".M" + std::to_string(n) + "P1.e2e";
  const std::string text = "From: a@example.org\r\nSubject: mail " + std::to_string(n) + "\r\n\r\n" +
                           std::string(bodyBytes, 'x') + "\r\n";
  ASSERT_TRUE(pwtest::WriteNewLinuxFile(path, text)) << path;
}

pw::RefPtr<pw::MailAccount> Account(const wchar_t* name, int port) {
  auto a = pw::RefPtr<pw::MailAccount>::Adopt(new pw::MailAccount(nullptr));
  wcscpy(a->settings.accountName, name);
  wcscpy(a->settings.inServer, L"127.0.0.1");
  a->settings.inPort = static_cast<uint32_t>(port);
  wcscpy(a->settings.inUser, L"user");
  wcscpy(a->settings.inPassword, L"secret");
  a->settings.timeout = 10000;
  return a;
}

bool WriteSettings(const std::wstring& path, const std::vector<pw::RefPtr<pw::MailAccount>>& accounts) {
  pw::SettingsTree tree;
  tree.CreateNode(L"accounts");
  pw::SaveAccountRecords(tree, accounts);
  tree.CloseNode();
  IStream* stream = nullptr;
  if (FAILED(SHCreateStreamOnFileEx(path.c_str(), STGM_CREATE | STGM_WRITE, 0, TRUE, nullptr, &stream))) return false;
  const uint8_t version[4] = {25, 0, 0, 0};
  stream->Write(version, 4, nullptr);
  const bool ok = tree.WriteToStream(stream);
  stream->Release();
  return ok;
}

// Runs a program to its end with its output in a file; the exit code.
int RunProgram(std::wstring commandLine, const std::wstring& outputFile, DWORD timeoutMs) {
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  pw::ScopedHandle out(CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
  STARTUPINFOW si = {sizeof(si)};
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = out.Get();
  si.hStdError = out.Get();
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return -1;
  pw::ScopedHandle process(pi.hProcess), thread(pi.hThread);
  if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 99);
    return -2;
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  return static_cast<int>(code);
}

// The host's output without the CR that its text-mode stdout adds.
std::string ReadOutput(const std::string& unixPath) {
  std::string text = pwtest::ReadLinuxFile(unixPath);
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

std::string Line(const std::string& output, const std::string& prefix) {
  const size_t at = output.find("\n" + prefix);
  if (at == std::string::npos) return std::string();
  const size_t end = output.find_first_of("\r\n", at + 1);
  return output.substr(at + 1 + prefix.size(), end - at - 1 - prefix.size());
}

struct Pixels {
  int width = 0, height = 0;
  std::vector<uint32_t> rgb;  // 0x00RRGGBB, top row first
};

bool ReadBmp(const std::string& unixPath, Pixels& p) {
  const std::string bytes = pwtest::ReadLinuxFile(unixPath);
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  auto u32 = [&](size_t at) { return *reinterpret_cast<const uint32_t*>(bytes.data() + at); };
  const uint32_t offset = u32(10);
  p.width = static_cast<int>(u32(18));
  p.height = static_cast<int>(u32(22));
  if (bytes.size() < offset + size_t(p.width) * p.height * 4) return false;
  p.rgb.resize(size_t(p.width) * p.height);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      p.rgb[size_t(y) * p.width + x] = u32(offset + (size_t(p.height - 1 - y) * p.width + x) * 4) & 0xFFFFFF;
  return true;
}

}  // namespace

TEST(HostEndToEnd, TwoAccountsCheckedByTheCheckerAndAnnounced) {
  Service home("dovecot"), work("dovecot");
  ASSERT_TRUE(home.Ok()) << home.Error();
  ASSERT_TRUE(work.Ok()) << work.Error();
  for (int n = 1; n <= 2; ++n) AddMail(home, n, 700);
  for (int n = 1; n <= 3; ++n) AddMail(work, n, 100);

  pwtest::LinuxTempDir dir;
  const std::wstring settings = pwtest::WindowsPath(dir.Path() + "/settings.dat");
  ASSERT_TRUE(WriteSettings(settings, {Account(L"Home", home.Port()), Account(L"Work", work.Port())}));
  const std::string shot = PW_BINARY_DIR "/artifacts/host-button-newmail.bmp";
  CreateDirectoryW(pwtest::WindowsPath(PW_BINARY_DIR "/artifacts").c_str(), nullptr);
  const std::wstring host = pwtest::WindowsPath(PW_BINARY_DIR "/dockhost.exe");
  const std::wstring output = pwtest::WindowsPath(dir.Path() + "/output.txt");
  const int rc = RunProgram(L"\"" + host + L"\" --settings \"" + settings + L"\" --wait-checks 30 --print --report --snapshot \"" +
                         pwtest::WindowsPath(shot) + L"\" --save",
                     output, 90000);
  const std::string out = "\n" + ReadOutput(dir.Path() + "/output.txt");
  ASSERT_EQ(rc, 0) << out;
  std::cout << "host button screenshot: " << shot << std::endl;

  // Sizes as the server lists them: 40 header bytes, the body and its
  // CR LF; 2 x 742 = 1484 bytes is 1.45K, 3 x 142 = 426, 1910 is 1.87K.
  EXPECT_EQ(Line(out, "title: "), "Postwarden 5 (1.87K)") << out;
  EXPECT_EQ(Line(out, "tooltip: "), "Postwarden\\nHome\\t2 (1.45K)\\nWork\\t3 (426)") << out;
  // The rich text formats sizes the way the system does.
  const std::string rich = Line(out, "rich tooltip: ");
  EXPECT_EQ(rich.rfind("<b>Home</b>\\t2 (", 0), 0u) << rich;
  EXPECT_NE(rich.find(")\\n<b>Work</b>\\t3 ("), std::string::npos) << rich;
  EXPECT_NE(out.find("account Home: status 1, last error 0"), std::string::npos) << out;
  EXPECT_NE(out.find("account Work: status 1, last error 0"), std::string::npos) << out;

  // The button as the screen shows it: a count is painted near the top,
  // and the strips' transparent magenta never is.
  Pixels p;
  ASSERT_TRUE(ReadBmp(shot, p));
  int dark = 0, magenta = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const uint32_t c = p.rgb[size_t(y) * p.width + x];
      if (c == 0xFF00FF) ++magenta;
      if (y < p.height / 2 && ((c >> 16) & 0xFF) < 60 && ((c >> 8) & 0xFF) < 60 && (c & 0xFF) < 60) ++dark;
    }
  EXPECT_EQ(magenta, 0);
  EXPECT_GT(dark, 3) << "no count drawn";

  // What the checks found was saved: a second run reads the messages back.
  const int rc2 = RunProgram(L"\"" + host + L"\" --settings \"" + settings + L"\" --report", output, 60000);
  const std::string again = ReadOutput(dir.Path() + "/output.txt");
  ASSERT_EQ(rc2, 0) << again;
  EXPECT_NE(again.find("account Home: status 1, last error 0\n  messages: 2"), std::string::npos) << again;
  EXPECT_NE(again.find("account Work: status 1, last error 0\n  messages: 3"), std::string::npos) << again;
}

// Without --save the host still keeps what the plug-in asks it to keep: it
// saves when asked, while it runs, and not on every one of the checker's
// repeated requests.
TEST(HostEndToEnd, SavesWhenThePluginAsks) {
  Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  for (int n = 1; n <= 2; ++n) AddMail(server, n, 50);

  pwtest::LinuxTempDir dir;
  const std::wstring settings = pwtest::WindowsPath(dir.Path() + "/settings.dat");
  ASSERT_TRUE(WriteSettings(settings, {Account(L"Home", server.Port())}));
  const std::wstring host = pwtest::WindowsPath(PW_BINARY_DIR "/dockhost.exe");
  const std::wstring output = pwtest::WindowsPath(dir.Path() + "/output.txt");
  const int rc = RunProgram(L"\"" + host + L"\" --settings \"" + settings +
                                L"\" --hidden --wait-checks 30 --run 2.5 --verbose --print",
                            output, 90000);
  const std::string out = ReadOutput(dir.Path() + "/output.txt");
  ASSERT_EQ(rc, 0) << out;

  size_t saves = 0;
  for (size_t at = out.find("host: settings saved"); at != std::string::npos;
       at = out.find("host: settings saved", at + 1))
    ++saves;
  EXPECT_GE(saves, 1u) << out;
  EXPECT_LE(saves, 5u) << out;  // at most once a second over the run, and once at the end
  // The first save came while the host ran, before it printed the state.
  EXPECT_LT(out.find("host: settings saved"), out.find("tooltip: ")) << out;

  const int rc2 = RunProgram(L"\"" + host + L"\" --settings \"" + settings + L"\" --report", output, 60000);
  const std::string again = ReadOutput(dir.Path() + "/output.txt");
  ASSERT_EQ(rc2, 0) << again;
  EXPECT_NE(again.find("account Home: status 1, last error 0\n  messages: 2"), std::string::npos) << again;
}

// --reply: a message listed by one run is answered by the next, whose check
// sends the reply through Exim; the report tells it was sent.
TEST(HostEndToEnd, QueuedReplyGoesOutWithTheNextCheck) {
  Service pop("dovecot"), smtp("exim");
  ASSERT_TRUE(pop.Ok()) << pop.Error();
  ASSERT_TRUE(smtp.Ok()) << smtp.Error();
  AddMail(pop, 1, 10);
  pwtest::LinuxTempDir dir;
  const std::wstring settings = pwtest::WindowsPath(dir.Path() + "/settings.dat");
  const std::wstring host = pwtest::WindowsPath(PW_BINARY_DIR "/dockhost.exe");
  const std::wstring output = pwtest::WindowsPath(dir.Path() + "/output.txt");
  // Filtering on (with no rules): headers are fetched, as a reply needs.
  {
    pw::SettingsTree tree;
    tree.CreateNode(L"Filters");
    tree.SetInt(L"useFilter", 1);
    tree.CloseNode();
    IStream* stream = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHCreateStreamOnFileEx(settings.c_str(), STGM_CREATE | STGM_WRITE, 0, TRUE, nullptr, &stream)));
    const uint8_t version[4] = {25, 0, 0, 0};
    stream->Write(version, 4, nullptr);
    ASSERT_TRUE(tree.WriteToStream(stream));
    stream->Release();
  }
  const std::wstring account = L"\"Home server=127.0.0.1 port=" + std::to_wstring(pop.Port()) +
                               L" user=user password=secret out-server=127.0.0.1 out-port=" +
                               std::to_wstring(smtp.Port()) + L" out-from=me@example.org out-name=Me\"";
  int rc = RunProgram(L"\"" + host + L"\" --settings \"" + settings + L"\" --account " + account +
                          L" --check 30 --report --save",
                      output, 60000);
  std::string out = ReadOutput(dir.Path() + "/output.txt");
  ASSERT_EQ(rc, 0) << out;
  ASSERT_NE(out.find("messages: 1"), std::string::npos) << out;

  rc = RunProgram(L"\"" + host + L"\" --settings \"" + settings +
                      L"\" --reply Home 1 \"Thanks.\\n.\\nSee you\" --subject \"Re: mail 1 (answered)\" --check 30 --report",
                  output, 60000);
  out = ReadOutput(dir.Path() + "/output.txt");
  ASSERT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("Reply sent to a@example.org"), std::string::npos) << out;
  EXPECT_NE(out.find("last error 0"), std::string::npos) << out;

  std::string file;
  for (int i = 0; i < 100 && file.empty(); ++i) {
    const std::string listing = pwtest::ReadLinuxFile(smtp.Dir() + "/mainlog");
    if (listing.find("Completed") != std::string::npos) {
      // One delivery: the maildir's only file.
      WIN32_FIND_DATAW found;
      HANDLE h = FindFirstFileW((pwtest::WindowsPath(smtp.Dir() + "/maildir/new") + L"\\*.*").c_str(), &found);
      if (h != INVALID_HANDLE_VALUE) {
        do {
          if (found.cFileName[0] == L'.') continue;
          std::wstring name = found.cFileName;
          file = pwtest::ReadLinuxFile(smtp.Dir() + "/maildir/new/" + std::string(name.begin(), name.end()));
        } while (FindNextFileW(h, &found));
        FindClose(h);
      }
    }
    if (file.empty()) Sleep(100);
  }
  ASSERT_FALSE(file.empty());
  EXPECT_NE(file.find("Subject: Re: mail 1 (answered)\n"), std::string::npos) << file;
  EXPECT_NE(file.find("From: Me <me@example.org>\n"), std::string::npos) << file;
  EXPECT_NE(file.find("\n\nThanks.\n.\nSee you\n"), std::string::npos) << file;
}

// A settings file the plug-in cannot read, damaged or of an older layout,
// is neither replaced by the fresh configuration nor lost: the host keeps a
// copy beside it, leaves it alone although an account was added, and the
// report says the settings could not be read.
TEST(HostEndToEnd, UnreadableSettingsAreKept) {
  pwtest::LinuxTempDir dir;
  const std::wstring host = pwtest::WindowsPath(PW_BINARY_DIR "/dockhost.exe");
  const std::wstring output = pwtest::WindowsPath(dir.Path() + "/output.txt");
  // A stream cut short inside its tree, and one whose version is older.
  std::string damaged("\x19\0\0\0\x05\0\0\0\x10\0\0\0a\0c\0", 16);
  std::string older("\x18\0\0\0\x01\0\0\0", 8);
  older += std::string(40, 'o');
  for (const auto& [name, bytes] : {std::pair{"damaged", damaged}, std::pair{"older", older}}) {
    SCOPED_TRACE(name);
    const std::string path = dir.Path() + "/" + name + ".dat";
    ASSERT_TRUE(pwtest::WriteNewLinuxFile(path, bytes));
    const int rc = RunProgram(L"\"" + host + L"\" --settings \"" + pwtest::WindowsPath(path) +
                                  L"\" --account \"New server=127.0.0.1 port=1\" --report",
                              output, 60000);
    const std::string out = "\n" + ReadOutput(dir.Path() + "/output.txt");
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(pwtest::ReadLinuxFile(path), bytes) << "the file was written over\n" << out;
    EXPECT_EQ(pwtest::ReadLinuxFile(path + ".bad"), bytes) << out;
    EXPECT_EQ(Line(out, "settings: "), "The settings could not be read") << out;
    EXPECT_NE(out.find("could not be read; a copy is kept as"), std::string::npos) << out;
  }
}

// Filtering from the command line: switched on, a word list imported into a
// built-in rule and the rule exported, one check; the report shows each
// message classified, and the imported conditions are kept in the stream.
TEST(HostEndToEnd, FilteringSwitchedOnWithImportedConditions) {
  Service server("dovecot");
  ASSERT_TRUE(server.Ok()) << server.Error();
  const struct {
    const char* from;
    const char* subject;
  } mail[] = {{"Support <support@postwarden.org>", "Release notes"},
              {"Shop <deals@shop.example>", "A free gift inside"},
              {"Bob <bob@example.net>", "Your jackpot awaits"},
              {"Carol <carol@example.net>", "Lunch"}};
  for (int n = 0; n < 4; ++n)
    ASSERT_TRUE(pwtest::WriteNewLinuxFile(server.Dir() + "/home/user/Maildir/new/" + std::to_string(1700000000 + n) +
                                              ".M" + std::to_string(n) + "P1.flt",
                                          std::string("From: ") + mail[n].from + "\r\nTo: user@example.org\r\nSubject: " +
                                              mail[n].subject + "\r\n\r\nbody\r\n"));
  pwtest::LinuxTempDir dir;
  const std::wstring settings = pwtest::WindowsPath(dir.Path() + "/settings.dat");
  ASSERT_TRUE(WriteSettings(settings, {Account(L"Home", server.Port())}));
  ASSERT_TRUE(pwtest::WriteNewLinuxFile(dir.Path() + "/words.txt", "jackpot\tSubject\t*=*\r\n"));
  const std::wstring words = pwtest::WindowsPath(dir.Path() + "/words.txt");
  const std::wstring exported = pwtest::WindowsPath(dir.Path() + "/rule.xml");
  const std::wstring host = pwtest::WindowsPath(PW_BINARY_DIR "/dockhost.exe");
  const std::wstring output = pwtest::WindowsPath(dir.Path() + "/output.txt");
  const int rc = RunProgram(L"\"" + host + L"\" --settings \"" + settings +
                                L"\" --filters on --import-conditions \"spam by subject\" \"" + words +
                                L"\" --export-conditions 2 \"" + exported + L"\" --check 60 --report --save",
                            output, 90000);
  const std::string out = ReadOutput(dir.Path() + "/output.txt");
  ASSERT_EQ(rc, 0) << out;
  auto line = [&](const std::string& subject) {
    const size_t at = out.find("subject \"" + subject + "\"");
    if (at == std::string::npos) return std::string();
    const size_t begin = out.rfind('\n', at) + 1;
    return out.substr(begin, out.find('\n', at) - begin);
  };
  EXPECT_NE(line("Release notes").find("(approved)"), std::string::npos) << out;
  EXPECT_NE(line("A free gift inside").find("(spam)"), std::string::npos) << out;
  EXPECT_NE(line("A free gift inside").find("state 0 "), std::string::npos) << out;  // marked read
  EXPECT_NE(line("Your jackpot awaits").find("(spam)"), std::string::npos) << out;
  EXPECT_NE(line("Your jackpot awaits").find("filter \"Subject Contains 'jackpot'\""), std::string::npos) << out;
  EXPECT_NE(line("Lunch").find("(normal)"), std::string::npos) << out;
  EXPECT_NE(line("Lunch").find("from \"Carol <carol@example.net>\""), std::string::npos) << out;
  EXPECT_NE(pwtest::ReadLinuxFile(dir.Path() + "/rule.xml").find("substring=\"jackpot\""), std::string::npos);

  // The imported condition was saved with the rules.
  const std::wstring again = pwtest::WindowsPath(dir.Path() + "/again.xml");
  const int rc2 = RunProgram(L"\"" + host + L"\" --settings \"" + settings + L"\" --export-conditions \"spam by subject\" \"" +
                                 again + L"\"",
                             output, 60000);
  ASSERT_EQ(rc2, 0) << ReadOutput(dir.Path() + "/output.txt");
  EXPECT_NE(pwtest::ReadLinuxFile(dir.Path() + "/again.xml").find("substring=\"jackpot\""), std::string::npos);
}

// --shots opens the options sheet and the account sheet in turn and writes
// a picture of every page.
TEST(HostEndToEnd, ShotsWritesEveryPage) {
  pwtest::LinuxTempDir dir;
  const std::wstring host = pwtest::WindowsPath(PW_BINARY_DIR "/dockhost.exe");
  const std::wstring output = pwtest::WindowsPath(dir.Path() + "/output.txt");
  // With --list-shot too, as the main job adds it: the list window the
  // pictures closed is opened again for it.
  const int rc = RunProgram(L"\"" + host + L"\" --shots \"" + pwtest::WindowsPath(dir.Path() + "/shots") +
                                L"\" --list-shot \"" + pwtest::WindowsPath(dir.Path() + "/list.png") + L"\"",
                            output, 90000);
  const std::string out = ReadOutput(dir.Path() + "/output.txt");
  ASSERT_EQ(rc, 0) << out;
  for (const char* name : {"options_general", "options_accounts", "options_connection", "options_filters",
                           "options_notify", "options_about", "account_options", "account_incoming",
                           "account_outgoing", "filters_rule_editor", "filters_dnsbl", "filters_import",
                           "filters_condition_from_message", "list", "../list"}) {
    const std::string png = pwtest::ReadLinuxFile(dir.Path() + "/shots/" + name + ".png");
    EXPECT_GT(png.size(), 1000u) << name;
    EXPECT_EQ(png.substr(std::min<size_t>(1, png.size()), 3), "PNG") << name;
  }
}

// --account-dialog new: the account sheet opens in the host, the user fills
// it in and confirms, and the host keeps the new account in its stream.
TEST(HostEndToEnd, AccountDialogCreatesAnAccountInTheStream) {
  pwtest::LinuxTempDir dir;
  const std::wstring settings = pwtest::WindowsPath(dir.Path() + "/settings.dat");
  const std::wstring host = pwtest::WindowsPath(PW_BINARY_DIR "/dockhost.exe");
  const std::wstring output = pwtest::WindowsPath(dir.Path() + "/output.txt");
  int rc = -3;
  std::thread run([&] {
    rc = RunProgram(L"\"" + host + L"\" --settings \"" + settings + L"\" --account-dialog new --report", output, 60000);
  });
  // The sheet is another process's window: found by its caption, filled
  // with sent text (marshalled by the system) and confirmed by a posted
  // button press.
  HWND sheet = nullptr;
  for (int i = 0; i < 600 && !sheet; ++i, Sleep(50)) {
    HWND w = FindWindowW(L"#32770", L"Mail Account");
    if (w && IsWindowVisible(w)) sheet = w;
  }
  ASSERT_NE(sheet, nullptr);
  DWORD_PTR r = 0;
  HWND page = nullptr;
  SendMessageTimeoutW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_ABORTIFHUNG, 5000, reinterpret_cast<DWORD_PTR*>(&page));
  ASSERT_NE(page, nullptr);
  SendMessageTimeoutW(GetDlgItem(page, 1016), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"From the host"),
                      SMTO_ABORTIFHUNG, 5000, &r);
  PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
  run.join();
  const std::string out = ReadOutput(dir.Path() + "/output.txt");
  ASSERT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("account From the host"), std::string::npos) << out;

  // Read back by a second run: the account was saved.
  ASSERT_EQ(RunProgram(L"\"" + host + L"\" --settings \"" + settings + L"\" --report", output, 60000), 0);
  const std::string again = ReadOutput(dir.Path() + "/output.txt");
  EXPECT_NE(again.find("account From the host"), std::string::npos) << again;
}
