// What the user configures for one account: its name and notification
// settings, the POP3 server it watches and the SMTP server its quick
// replies go through. The account dialog edits a copy of this record.
// Passwords are clear text in memory and sealed in the settings stream.
#pragma once

#include <cstdint>

namespace pw {

class SettingsTree;

// Security and login bits of the incoming and outgoing `options`.
namespace ServerOptions {
inline constexpr uint32_t Tls = 0x1;       // TLS from the first byte, on a dedicated port
inline constexpr uint32_t Apop = 0x2;      // POP3 only: APOP instead of USER/PASS
inline constexpr uint32_t StartTls = 0x4;  // STLS / STARTTLS on the regular port
}  // namespace ServerOptions

// Low 4 bits of `connection`: when the account may be checked.
enum class ConnectionMode : uint32_t { Lan = 0, Modem = 1, InternetSettings = 2 };

struct AccountSettings {
  wchar_t accountName[255] = L"";
  wchar_t sound[260] = L"";
  uint32_t interval = 60000;  // ms
  uint32_t timeout = 30000;   // ms
  uint32_t id = 0;
  uint32_t suspend = 0;
  uint32_t protectPassword = 0;  // seal with the machine key, not the account key
  wchar_t cmdLine[260] = L"";
  wchar_t workDir[260] = L"";
  uint32_t runHidden = 0;
  uint32_t beginDelay = 0;  // ms
  uint32_t connection = 0;  // ConnectionMode in the low 4 bits

  wchar_t inServer[100] = L"";
  uint32_t inPort = 110;
  wchar_t inUser[100] = L"";
  wchar_t inPassword[50] = L"";
  uint32_t inOptions = 0;
  // SHA-256 of a server certificate the user trusts although it cannot be
  // verified ("AB:CD:..."), stored as "certFingerprint"; empty = none.
  wchar_t inFingerprint[100] = L"";

  wchar_t outServer[100] = L"";
  uint32_t outPort = 25;
  wchar_t outPassword[50] = L"";
  wchar_t outUser[100] = L"";
  wchar_t outFrom[100] = L"";
  wchar_t outName[100] = L"";
  uint32_t outOptions = 0;
  wchar_t outFingerprint[100] = L"";

  uint32_t Mode() const { return connection & 0xF; }
  // Brings values that cannot be right into range, so that what is shown
  // and saved next is what is in force: a check interval is 0 (off) or at
  // least a minute, a time-out lies between 1 s and 10 minutes, a port
  // between 1 and 65535 (else the protocol's usual one).
  void Normalize();

  // The "settings", "incomming" and "outgoing" nodes of an account node
  // that is already open. Both passwords are sealed anew on every save, so
  // a new name or server is picked up.
  void Save(SettingsTree& tree) const;
  void Load(SettingsTree& tree);
};

}  // namespace pw
