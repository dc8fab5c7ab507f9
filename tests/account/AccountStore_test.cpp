// Accounts through the settings stream: every field back as it was, sealed
// passwords, and damaged or foreign records read without harm.
#include <gtest/gtest.h>

#include "FakeOwner.h"
#include "TestStreams.h"
#include "account/AccountRecords.h"
#include "account/PasswordSeal.h"
#include "base/SettingsTree.h"

using namespace pw;
using pwtest::FakeOwner;

namespace {

// Saves the account into a tree, through the byte stream, and back.
RefPtr<MailAccount> RoundTrip(MailAccount& a, AccountOwner* owner, std::vector<uint8_t>* bytes = nullptr) {
  SettingsTree out;
  out.CreateNode(L"account#0");
  a.Save(out);
  out.CloseNode();
  std::vector<uint8_t> b = pwtest::WriteTree(out);
  if (bytes) *bytes = b;
  SettingsTree in;
  EXPECT_TRUE(pwtest::ReadTree(in, b));
  EXPECT_TRUE(in.EnterNode(L"account#0"));
  auto back = pwtest::NewAccount(owner);
  back->Load(in);
  return back;
}

void Configure(AccountSettings& s) {
  wcscpy(s.accountName, L"Work mail");
  wcscpy(s.sound, L"C:\\sounds\\new.wav");
  s.interval = 300000;
  s.timeout = 45000;
  s.id = 9;
  s.suspend = 1;
  s.protectPassword = 0;
  wcscpy(s.cmdLine, L"\"C:\\Program Files\\mail.exe\" /check");
  wcscpy(s.workDir, L"C:\\temp");
  s.runHidden = 1;
  s.beginDelay = 10000;
  s.connection = 2;
  wcscpy(s.inServer, L"pop.example.test");
  s.inPort = 995;
  wcscpy(s.inUser, L"alice");
  wcscpy(s.inPassword, L"in-secret");
  s.inOptions = ServerOptions::Tls | ServerOptions::Apop;
  wcscpy(s.outServer, L"smtp.example.test");
  s.outPort = 587;
  wcscpy(s.outPassword, L"out-secret");
  wcscpy(s.outUser, L"alice@example.test");
  wcscpy(s.outFrom, L"alice@example.test");
  wcscpy(s.outName, L"Alice \u00c5berg");
  s.outOptions = ServerOptions::StartTls;
}

void ExpectSameSettings(const AccountSettings& a, const AccountSettings& b) {
  EXPECT_STREQ(a.accountName, b.accountName);
  EXPECT_STREQ(a.sound, b.sound);
  EXPECT_EQ(a.interval, b.interval);
  EXPECT_EQ(a.timeout, b.timeout);
  EXPECT_EQ(a.id, b.id);
  EXPECT_EQ(a.suspend, b.suspend);
  EXPECT_EQ(a.protectPassword, b.protectPassword);
  EXPECT_STREQ(a.cmdLine, b.cmdLine);
  EXPECT_STREQ(a.workDir, b.workDir);
  EXPECT_EQ(a.runHidden, b.runHidden);
  EXPECT_EQ(a.beginDelay, b.beginDelay);
  EXPECT_EQ(a.connection, b.connection);
  EXPECT_STREQ(a.inServer, b.inServer);
  EXPECT_EQ(a.inPort, b.inPort);
  EXPECT_STREQ(a.inUser, b.inUser);
  EXPECT_STREQ(a.inPassword, b.inPassword);
  EXPECT_EQ(a.inOptions, b.inOptions);
  EXPECT_STREQ(a.outServer, b.outServer);
  EXPECT_EQ(a.outPort, b.outPort);
  EXPECT_STREQ(a.outPassword, b.outPassword);
  EXPECT_STREQ(a.outUser, b.outUser);
  EXPECT_STREQ(a.outFrom, b.outFrom);
  EXPECT_STREQ(a.outName, b.outName);
  EXPECT_EQ(a.outOptions, b.outOptions);
}

// Names of the entries directly inside the first node called `node`.
std::vector<std::wstring> ChildNames(const SettingsTree& t, const wchar_t* node) {
  std::vector<std::wstring> out;
  const auto& e = t.Entries();
  size_t i = 0;
  while (i < e.size() && !(e[i].kind == EntryKind::NodeBegin && std::wstring(e[i].name) == node)) ++i;
  int depth = 0;
  for (++i; i < e.size(); ++i) {
    if (e[i].kind == EntryKind::NodeEnd) {
      if (depth-- == 0) break;
      continue;
    }
    if (depth == 0) out.push_back(e[i].name);
    if (e[i].kind == EntryKind::NodeBegin) ++depth;
  }
  return out;
}

}  // namespace

TEST(AccountStore, EveryValueRoundTrips) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  Configure(a->settings);
  pwtest::List(*a, {"plain", "decorated"});
  a->OnHeader("decorated", "\r\nSubject: hello\r\n");
  {
    SharedGuard g(a->MessageLock());
    MailMessage* d = a->Messages().At(1);
    d->ReplaceState(MessageState::New | MessageState::Saved);
    d->SetType(MessageType::Spam);
    d->color = 0x0000FF;
    d->bkColor = 0x00FFEE;
    d->icon.Set(L"bug.png");
    d->filterText.Set(L"Subject contains hello");
    d->SetFlags(MessageFlags::Delete);  // not stored
  }
  RefPtr<MailMessage> reply = MailMessage::Create(L"");
  reply->SetType(MessageType::Outgoing);
  reply->rawMessage.Set("To: bob@example.test\r\n\r\nThanks.");
  reply->size = 34;
  a->AddMessage(reply.Get());
  ASSERT_EQ(a->dirty, 1u);

  auto b = RoundTrip(*a, &owner);
  EXPECT_EQ(a->dirty, 0u);  // Save clears the changed mark
  ExpectSameSettings(a->settings, b->settings);
  ASSERT_EQ(pwtest::Uidls(*b), std::vector<std::wstring>({L"plain", L"decorated", L""}));
  SharedGuard g(b->MessageLock());
  const MailMessage& p = *b->Messages().At(0);
  EXPECT_EQ(p.size, 100u);
  EXPECT_EQ(p.State(), MessageState::New);
  EXPECT_EQ(p.Type(), MessageType::Normal);
  EXPECT_EQ(p.color, -1);
  EXPECT_EQ(p.bkColor, -1);
  EXPECT_FALSE(p.icon.IsSet());
  EXPECT_FALSE(p.filterText.IsSet());
  EXPECT_FALSE(p.rawHeader.IsSet());
  const MailMessage& d = *b->Messages().At(1);
  EXPECT_EQ(d.State(), MessageState::New | MessageState::Saved);
  EXPECT_EQ(d.Type(), MessageType::Spam);
  EXPECT_EQ(d.color, 0x0000FF);
  EXPECT_EQ(d.bkColor, 0x00FFEE);
  EXPECT_STREQ(d.icon.Get(), L"bug.png");
  EXPECT_STREQ(d.filterText.Get(), L"Subject contains hello");
  EXPECT_STREQ(d.rawHeader.Get(), "\r\nSubject: hello\r\n");
  EXPECT_EQ(d.Flags(), 0u);
  EXPECT_EQ(d.notSeen, 0u);
  const MailMessage& r = *b->Messages().At(2);
  EXPECT_TRUE(r.IsOutgoing());
  EXPECT_STREQ(r.rawMessage.Get(), "To: bob@example.test\r\n\r\nThanks.");
  EXPECT_EQ(r.size, 34u);
}

TEST(AccountStore, RecordLayout) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  Configure(a->settings);
  pwtest::List(*a, {"p", "d"});
  a->OnHeader("d", "H");
  a->OnMessage("d", "whole message, not kept for received mail");
  {
    RefPtr<MailMessage> d = a->FindMessage(L"d");
    d->icon.Set(L"");  // set, though empty
    d->filterText.Set(L"f");
  }
  SettingsTree t;
  a->Save(t);
  using V = std::vector<std::wstring>;
  EXPECT_EQ(ChildNames(t, L"settings"),
            V({L"AccountName", L"id", L"cmdLine", L"interval", L"protectPassword", L"runHidden", L"sound",
               L"suspend", L"timeout", L"workDir", L"beginDelay", L"connection"}));
  EXPECT_EQ(ChildNames(t, L"incomming"), V({L"options", L"password", L"port", L"server", L"user"}));
  EXPECT_EQ(ChildNames(t, L"outgoing"), V({L"options", L"from", L"name", L"password", L"port", L"server", L"user"}));
  EXPECT_EQ(ChildNames(t, L"messages"), V({L"count", L"message#0", L"message#1"}));
  EXPECT_EQ(ChildNames(t, L"message#0"), V({L"size", L"state", L"type", L"uidl", L"bkColor", L"color"}));
  EXPECT_EQ(ChildNames(t, L"message#1"),
            V({L"size", L"state", L"type", L"uidl", L"bkColor", L"color", L"icon", L"filter", L"header"}));
  // The header is stored with its terminating NUL.
  ASSERT_TRUE(t.EnterNode(L"message#1"));
  uint32_t size = 0;
  const uint8_t* h = t.GetBinary(L"header", &size);
  ASSERT_EQ(size, 2u);
  EXPECT_EQ(h[0], 'H');
  EXPECT_EQ(h[1], 0);
  t.LeaveNode();
  // Sealed passwords are whole blocks, never the clear text.
  ASSERT_TRUE(t.EnterNode(L"incomming"));
  const uint8_t* pw = t.GetBinary(L"password", &size);
  EXPECT_EQ(size, 16u);  // "in-secret" and its NUL
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pw), size).find("secret"), std::string::npos);
}

TEST(AccountStore, PinnedCertificatesRoundTripPerDirection) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  Configure(a->settings);
  const std::wstring in(L"AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89");
  wcscpy(a->settings.inFingerprint, in.c_str());
  auto b = RoundTrip(*a, &owner);
  EXPECT_EQ(std::wstring(b->settings.inFingerprint), in);
  EXPECT_STREQ(b->settings.outFingerprint, L"") << "pins belong to one direction";
  SettingsTree t;
  a->Save(t);
  EXPECT_EQ(ChildNames(t, L"incomming"),
            std::vector<std::wstring>({L"options", L"password", L"port", L"server", L"user", L"certFingerprint"}));
  wcscpy(a->settings.outFingerprint, L"00:11");
  a->settings.inFingerprint[0] = 0;
  auto c = RoundTrip(*a, &owner);
  EXPECT_STREQ(c->settings.inFingerprint, L"");
  EXPECT_STREQ(c->settings.outFingerprint, L"00:11");
}

TEST(AccountStore, RenamingOrMovingTheAccountResealsBothPasswords) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  Configure(a->settings);
  // Unsealing under the new key only works when saving sealed anew.
  wcscpy(a->settings.accountName, L"Renamed");
  auto b = RoundTrip(*a, &owner);
  EXPECT_STREQ(b->settings.inPassword, L"in-secret");
  EXPECT_STREQ(b->settings.outPassword, L"out-secret");
  wcscpy(a->settings.inServer, L"pop2.example.test");
  auto c = RoundTrip(*a, &owner);
  EXPECT_STREQ(c->settings.inPassword, L"in-secret");
  EXPECT_STREQ(c->settings.outPassword, L"out-secret");
  a->settings.protectPassword = 1;
  auto d = RoundTrip(*a, &owner);
  EXPECT_STREQ(d->settings.inPassword, L"in-secret");
  EXPECT_STREQ(d->settings.outPassword, L"out-secret");
}

// A record whose passwords were sealed under another name (an old file)
// loads everything else and gives unreadable passwords.
TEST(AccountStore, PasswordsSealedUnderAnotherNameDoNotFailTheLoad) {
  SealKey foreign = AccountSealKey(L"pop.example.test", L"Old name");
  std::vector<uint8_t> sealed = SealPassword(L"in-secret", foreign);
  SettingsTree t;
  t.CreateNode(L"settings");
  t.SetString(L"AccountName", L"New name");
  t.CloseNode();
  t.CreateNode(L"incomming");
  t.SetBinary(L"password", sealed.data(), static_cast<uint32_t>(sealed.size()));
  t.SetString(L"server", L"pop.example.test");
  t.CloseNode();
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  a->Load(t);
  EXPECT_STREQ(a->settings.accountName, L"New name");
  EXPECT_STRNE(a->settings.inPassword, L"in-secret");
  EXPECT_LT(wcslen(a->settings.inPassword), 50u);
  EXPECT_EQ(a->settings.inPort, 110u);
  EXPECT_EQ(a->settings.outPort, 25u);
  EXPECT_STREQ(a->settings.outPassword, L"");  // absent
}

TEST(AccountStore, MissingNodesTakeDefaultsNotTheirNeighbours) {
  SettingsTree t;
  t.CreateNode(L"settings");
  t.SetString(L"AccountName", L"acc");
  t.SetString(L"sound", L"a-very-long-sound-name-that-will-be-cut.wav");
  t.CloseNode();
  // No "incomming": its keys must not come from "outgoing".
  t.CreateNode(L"outgoing");
  t.SetInt(L"options", 4);
  t.SetInt(L"port", 465);
  t.SetString(L"server", L"smtp");
  t.CloseNode();
  t.CreateNode(L"messages");
  t.SetInt(L"count", 4);
  t.CreateNode(L"message#0");
  t.SetString(L"uidl", L"first");
  t.SetInt(L"size", 5);
  t.CloseNode();
  // message#1 missing; message#2 repeats a UIDL; message#3 has none.
  t.CreateNode(L"message#2");
  t.SetString(L"uidl", L"first");
  t.CloseNode();
  t.CreateNode(L"message#3");
  t.SetInt(L"size", 9);
  t.CloseNode();
  t.CloseNode();
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  a->Load(t);
  EXPECT_EQ(a->settings.inOptions, 0u);
  EXPECT_EQ(a->settings.inPort, 110u);
  EXPECT_STREQ(a->settings.inServer, L"");
  EXPECT_EQ(a->settings.outPort, 465u);
  EXPECT_EQ(a->settings.interval, 60000u);
  EXPECT_EQ(a->settings.timeout, 30000u);
  EXPECT_EQ(pwtest::Uidls(*a), std::vector<std::wstring>({L"first", L"<null>"}));
  // A message without a UIDL is never matched and goes at the next listing.
  pwtest::List(*a, {"first"});
  EXPECT_EQ(pwtest::Uidls(*a), std::vector<std::wstring>({L"first"}));
}

TEST(AccountStore, OverlongStoredStringsAreCutToTheirFields) {
  std::wstring huge(5000, L'n');
  SettingsTree t;
  t.CreateNode(L"settings");
  t.SetString(L"AccountName", huge.c_str());
  t.SetString(L"cmdLine", huge.c_str());
  t.CloseNode();
  t.CreateNode(L"incomming");
  t.SetString(L"server", huge.c_str());
  t.SetString(L"user", huge.c_str());
  t.CloseNode();
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  a->Load(t);
  EXPECT_EQ(wcslen(a->settings.accountName), 254u);
  EXPECT_EQ(wcslen(a->settings.cmdLine), 259u);
  EXPECT_EQ(wcslen(a->settings.inServer), 99u);
  EXPECT_EQ(wcslen(a->settings.inUser), 99u);
}

TEST(AccountStore, DamagedCountsAreBounded) {
  SettingsTree t;
  t.SetInt(L"count", 0x7FFFFFFF);
  t.CreateNode(L"account#1");
  t.CreateNode(L"messages");
  t.SetInt(L"count", 0x7FFFFFFF);
  t.CreateNode(L"message#0");
  t.SetString(L"uidl", L"only");
  t.CloseNode();
  t.CloseNode();
  t.CloseNode();
  FakeOwner owner;
  std::vector<RefPtr<MailAccount>> accounts = LoadAccountRecords(t, &owner);
  ASSERT_EQ(accounts.size(), 1u);  // account#0 is missing and skipped
  EXPECT_EQ(pwtest::Uidls(*accounts[0]), std::vector<std::wstring>({L"only"}));
}

// Header blocks of tens of kilobytes (long Received chains, signatures) are
// common; the first one stored must come back whole.
TEST(AccountStore, LargeHeaderBlocksRoundTrip) {
  FakeOwner owner;
  auto a = pwtest::NewAccount(&owner);
  pwtest::List(*a, {"big", "small", "bigger"});
  std::string big, bigger;
  for (int i = 0; big.size() < 20000; ++i) big += "Received: from hop" + std::to_string(i) + ".example.test\r\n";
  bigger = big + big + big;
  a->OnHeader("big", big.c_str());
  a->OnHeader("small", "\r\nX: y\r\n");
  a->OnHeader("bigger", bigger.c_str());
  auto b = RoundTrip(*a, &owner);
  EXPECT_EQ(std::string(b->FindMessage(L"big")->rawHeader.Get()), big);
  EXPECT_STREQ(b->FindMessage(L"small")->rawHeader.Get(), "\r\nX: y\r\n");
  EXPECT_EQ(std::string(b->FindMessage(L"bigger")->rawHeader.Get()), bigger);
}

// Stored values that cannot be right are brought into range on load, and
// the value in force is the one saved next.
TEST(AccountStore, ImpossibleValuesAreBroughtIntoRange) {
  struct Case {
    int32_t interval, timeout, inPort, outPort;
    uint32_t wantInterval, wantTimeout, wantIn, wantOut;
  };
  const Case cases[] = {
      {7, 0, 0, 70000, 60000, 1000, 110, 25},
      {0, 999, -5, 0, 0, 1000, 110, 25},
      {59999, 600001, 65536, -1, 60000, 600000, 110, 25},
      {60000, 1000, 1, 65535, 60000, 1000, 1, 65535},
      {-1, -1, 995, 465, 0xFFFFFFFFu, 600000, 995, 465},
  };
  for (const Case& c : cases) {
    SettingsTree t;
    t.CreateNode(L"settings");
    t.SetInt(L"interval", c.interval);
    t.SetInt(L"timeout", c.timeout);
    t.CloseNode();
    t.CreateNode(L"incomming");
    t.SetInt(L"port", c.inPort);
    t.CloseNode();
    t.CreateNode(L"outgoing");
    t.SetInt(L"port", c.outPort);
    t.CloseNode();
    FakeOwner owner;
    auto a = pwtest::NewAccount(&owner);
    a->Load(t);
    SCOPED_TRACE(c.interval);
    EXPECT_EQ(a->settings.interval, c.wantInterval);
    EXPECT_EQ(a->settings.timeout, c.wantTimeout);
    EXPECT_EQ(a->settings.inPort, c.wantIn);
    EXPECT_EQ(a->settings.outPort, c.wantOut);
    auto b = RoundTrip(*a, &owner);
    ExpectSameSettings(a->settings, b->settings);
  }
}
