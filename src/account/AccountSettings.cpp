#include "account/AccountSettings.h"

#include <windows.h>

#include "account/PasswordSeal.h"
#include "base/SettingsTree.h"

namespace pw {
namespace {

template <size_t N>
void ReadStr(SettingsTree& t, const wchar_t* key, wchar_t (&field)[N]) {
  t.GetStringInto(key, L"", field, N);
}

uint32_t ReadU32(SettingsTree& t, const wchar_t* key, uint32_t def) {
  return static_cast<uint32_t>(t.GetInt(key, static_cast<int32_t>(def)));
}

void WriteSealed(SettingsTree& t, const wchar_t* password, const SealKey& key) {
  std::vector<uint8_t> sealed = SealPassword(password, key);
  t.SetBinary(L"password", sealed.data(), static_cast<uint32_t>(sealed.size()));
}

template <size_t N>
void ReadSealed(SettingsTree& t, const SealKey& key, wchar_t (&field)[N]) {
  uint32_t size = 0;
  const uint8_t* p = t.GetBinary(L"password", &size);
  UnsealPassword(p, size, key, field, N);
}

SealKey KeyFor(const AccountSettings& s) {
  return s.protectPassword ? MachineSealKey() : AccountSealKey(s.inServer, s.accountName);
}

}  // namespace

void AccountSettings::Save(SettingsTree& t) const {
  t.CreateNode(L"settings");
  t.SetString(L"AccountName", accountName);
  t.SetInt(L"id", static_cast<int32_t>(id));
  t.SetString(L"cmdLine", cmdLine);
  t.SetInt(L"interval", static_cast<int32_t>(interval));
  t.SetInt(L"protectPassword", static_cast<int32_t>(protectPassword));
  t.SetInt(L"runHidden", static_cast<int32_t>(runHidden));
  t.SetString(L"sound", sound);
  t.SetInt(L"suspend", static_cast<int32_t>(suspend));
  t.SetInt(L"timeout", static_cast<int32_t>(timeout));
  t.SetString(L"workDir", workDir);
  t.SetInt(L"beginDelay", static_cast<int32_t>(beginDelay));
  t.SetInt(L"connection", static_cast<int32_t>(connection));
  t.CloseNode();

  SealKey key = KeyFor(*this);
  t.CreateNode(L"incomming");
  t.SetInt(L"options", static_cast<int32_t>(inOptions));
  WriteSealed(t, inPassword, key);
  t.SetInt(L"port", static_cast<int32_t>(inPort));
  t.SetString(L"server", inServer);
  t.SetString(L"user", inUser);
  // Only when pinned: a stream without pins stays as older versions wrote it.
  if (inFingerprint[0]) t.SetString(L"certFingerprint", inFingerprint);
  t.CloseNode();

  t.CreateNode(L"outgoing");
  t.SetInt(L"options", static_cast<int32_t>(outOptions));
  t.SetString(L"from", outFrom);
  t.SetString(L"name", outName);
  WriteSealed(t, outPassword, key);
  t.SetInt(L"port", static_cast<int32_t>(outPort));
  t.SetString(L"server", outServer);
  t.SetString(L"user", outUser);
  if (outFingerprint[0]) t.SetString(L"certFingerprint", outFingerprint);
  t.CloseNode();
  SecureZeroMemory(&key, sizeof(key));
}

namespace {
constexpr uint32_t kMinInterval = 60000;
constexpr uint32_t kMinTimeout = 1000;
constexpr uint32_t kMaxTimeout = 600000;
}  // namespace

void AccountSettings::Normalize() {
  if (interval != 0 && interval < kMinInterval) interval = kMinInterval;
  if (timeout < kMinTimeout) timeout = kMinTimeout;
  if (timeout > kMaxTimeout) timeout = kMaxTimeout;
  if (inPort < 1 || inPort > 65535) inPort = 110;
  if (outPort < 1 || outPort > 65535) outPort = 25;
}

// A missing node leaves its fields at the load defaults: looking its keys
// up in the account node would find another node's values ("options" of
// "outgoing" for a missing "incomming").
void AccountSettings::Load(SettingsTree& t) {
  *this = AccountSettings();
  if (t.EnterNode(L"settings")) {
    ReadStr(t, L"AccountName", accountName);
    id = ReadU32(t, L"id", 0);
    ReadStr(t, L"cmdLine", cmdLine);
    interval = ReadU32(t, L"interval", 60000);
    protectPassword = ReadU32(t, L"protectPassword", 0);
    runHidden = ReadU32(t, L"runHidden", 0);
    ReadStr(t, L"sound", sound);
    suspend = ReadU32(t, L"suspend", 0);
    timeout = ReadU32(t, L"timeout", 30000);
    ReadStr(t, L"workDir", workDir);
    beginDelay = ReadU32(t, L"beginDelay", 0);
    connection = ReadU32(t, L"connection", 0);
    t.LeaveNode();
  }
  // The key needs the incoming server, which follows the password.
  bool in = t.EnterNode(L"incomming");
  if (in) {
    inOptions = ReadU32(t, L"options", 0);
    inPort = ReadU32(t, L"port", 110);
    ReadStr(t, L"server", inServer);
    ReadStr(t, L"user", inUser);
    ReadStr(t, L"certFingerprint", inFingerprint);
  }
  SealKey key = KeyFor(*this);
  if (in) {
    ReadSealed(t, key, inPassword);
    t.LeaveNode();
  }
  if (t.EnterNode(L"outgoing")) {
    outOptions = ReadU32(t, L"options", 0);
    ReadStr(t, L"from", outFrom);
    ReadStr(t, L"name", outName);
    ReadSealed(t, key, outPassword);
    outPort = ReadU32(t, L"port", 25);
    ReadStr(t, L"server", outServer);
    ReadStr(t, L"user", outUser);
    ReadStr(t, L"certFingerprint", outFingerprint);
    t.LeaveNode();
  }
  SecureZeroMemory(&key, sizeof(key));
  Normalize();
}

}  // namespace pw
