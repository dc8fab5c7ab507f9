// One watched POP3 mailbox: its settings, the messages the server held at
// the last check, the log of the current check, and the callbacks through
// which a POP3 session reports to it. Reference counted like the messages,
// since account records are posted to the messages list window too.
//
// Locks: the message lock guards the message list (exclusive for changes of
// the list itself and of a message's stored header or text, shared for walks
// that only change flags and state), the event lock guards the event log.
// The account array's lock is always taken before either; the message lock
// before the event lock. The owner is called without the message lock held,
// except PlayNotifySound and the save and command actions, which run under
// it in shared mode.
#pragma once

#include <windows.h>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "account/AccountSettings.h"
#include "account/MailMessage.h"
#include "account/MessageList.h"
#include "base/OwnedText.h"
#include "base/SharedLock.h"
#include "mail/MailSessionApi.h"
#include "mail/SessionFactory.h"

namespace pw {

class AccountOwner;
class SettingsTree;

enum class AccountStatus : uint32_t {
  Idle = 0,
  NewMail = 1,
  Error = 2,
  WaitingForConnection = 3,
  Suspended = 4,
};

// Status numbers reported to the Plug-in object; 8 carries an error code.
inline constexpr uint32_t kStatusReady = 0;
inline constexpr uint32_t kStatusConnectingServer = 1;
inline constexpr uint32_t kStatusAuthorizing = 2;
inline constexpr uint32_t kStatusListing = 3;
inline constexpr uint32_t kStatusLoadingHeader = 4;
inline constexpr uint32_t kStatusDeleting = 5;
inline constexpr uint32_t kStatusDisconnecting = 6;
inline constexpr uint32_t kStatusLoadingMessage = 7;
inline constexpr uint32_t kStatusError = 8;

// What the session is to do next with a message.
enum SessionAction : int { kActionNone = 0, kActionHeader = 1, kActionBody = 2, kActionDelete = 3 };

// Size of the end sentinel of a listing: OnListEntry(null, all ones).
inline constexpr uint32_t kListingEnd = 0xFFFFFFFFu;

namespace EventKind {
inline constexpr uint32_t Received = 0;
inline constexpr uint32_t Sent = 1;
inline constexpr uint32_t Info = 2;  // also "connection closed"
inline constexpr uint32_t Error = 4;
}  // namespace EventKind

struct AccountEvent {
  uint32_t kind = 0;
  SYSTEMTIME time = {};
  OwnedWText text;
};

class MailAccount final : public IMailSessionSink {
 public:
  explicit MailAccount(AccountOwner* owner);
  MailAccount(const MailAccount&) = delete;
  MailAccount& operator=(const MailAccount&) = delete;

  ULONG AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }
  ULONG Release();

  // The subtree of one "account#%d" node, already open. Load replaces the
  // message list under the exclusive lock; Save clears the changed mark.
  void Save(SettingsTree& tree);
  void Load(SettingsTree& tree);

  AccountStatus GetStatus() const;
  // Number and total size of unread messages; returns lastError.
  uint32_t CountNew(uint32_t* count, uint32_t* bytes) const;
  void MarkAllRead();
  void ClearMessages(bool notify);
  void RequestMissingHeaders(bool all);
  void RequestAllHeaders();
  // Appends a queued reply (the list takes its own reference).
  void AddMessage(MailMessage* message);
  void PurgeDeleted();
  void LogEvent(uint32_t kind, const wchar_t* text);
  void ClearEvents();

  // The scheduler's step for this account, once per checker tick: starts
  // a check when one is due, or at once when forced.
  void Tick(bool force);
  // Starts a check now (checker thread; the session lives on it).
  void StartCheck();
  // Closes a running session without starting a send pass, and frees the
  // sessions that have ended. Checker thread.
  void CloseSession();
  bool HasSession() const { return session_ != nullptr; }

  // Session callbacks (texts are ANSI, as on the wire).
  void OnStatus(uint32_t code, const char* text) override;
  void OnError(uint32_t code, uint32_t param, const char* text) override;
  void OnMailboxSize(uint32_t count, uint32_t octets) override {}
  // Begin: (null, 0); entry: (uidl, size); end: (null, kListingEnd).
  int OnListEntry(const char* uidl, uint32_t size) override;
  int OnHeader(const char* uidl, const char* text) override;
  int OnMessage(const char* uidl, const char* text) override;
  void OnDeleted(const char* uidl) override;
  void OnCommandFailed(const char* uidl, int command, const char* text) override {}
  // The next action for a message (see SessionAction); carries out the
  // save and command actions and plays the rule sound on the way.
  int RunPendingActions(MailMessage& message);

  // Readers walk the list under SharedGuard(MessageLock()).
  SharedLock& MessageLock() const { return messageLock_; }
  const MessageList& Messages() const { return messages_; }
  size_t MessageCount() const;
  // A reference to the message with this UIDL, or null.
  RefPtr<MailMessage> FindMessage(const wchar_t* uidl) const;
  // Copies of the log entries from `first` on.
  std::vector<AccountEvent> Events(size_t first = 0) const;
  // What the user is shown for the last error: the code's text, with the
  // server's line when one came. Empty without an error.
  std::wstring ErrorText() const;
  AccountOwner* Owner() const { return owner_; }

  AccountSettings settings;
  std::atomic<uint32_t> lastError{0};
  std::atomic<uint32_t> lastCheckTime{0};  // seconds since 1970; 0 = due now
  std::atomic<uint32_t> firstCheck{1};
  std::atomic<uint32_t> busy{0};
  std::atomic<uint32_t> sending{0};
  std::atomic<uint32_t> statusCode{0};
  std::atomic<uint32_t> statusArg{0};
  std::atomic<int32_t> secondsToNext{-1};
  std::atomic<uint32_t> checksEnded{0};  // since the account was created
  // The changed mark: the stored state differs from the last Save.
  std::atomic<uint32_t> dirty{0};

 private:
  ~MailAccount() override;
  void SetStatus(uint32_t status, uint32_t arg);
  void SetSecondsToNext(int32_t seconds);
  bool ConnectionMissing() const;
  bool HasOutgoing() const;
  void ConfigureSession(IMailSession& session, const wchar_t* fingerprint) const;
  void SessionClosed();
  bool StartSendPass();
  // The send pass (AccountSendPass.cpp): the next queued reply, and what the
  // server made of the current one.
  void SendNextReply();
  void ReplySent();
  void ReplyRefused(const char* line);
  void EndCheck();
  void RetireSession();
  void ReapSessions();
  void BeginListing();
  void EndListing();
  RefPtr<MailMessage> Take(const char* uidl, uint32_t clearFlags);
  void ReportRemoved(std::vector<RefPtr<MailMessage>>& removed);

  mutable SharedLock messageLock_;
  SessionPtr session_;  // runs a check or a send pass
  // Sessions that reported their end: freed later, never inside their own
  // callback.
  std::vector<SessionPtr> retired_;
  bool sessionOpen_ = false;   // session_ has not reported its end yet
  bool sendPassRun_ = false;   // this check has had its send pass
  bool stopping_ = false;      // CloseSession: no send pass
  // The replies of the running send pass, held by reference: a purge may
  // move list indices meanwhile.
  std::vector<RefPtr<MailMessage>> sendQueue_;
  size_t sendNext_ = 0;
  RefPtr<MailMessage> sendCurrent_;
  MessageList messages_;
  mutable SharedLock eventLock_;
  std::vector<AccountEvent> events_;
  std::wstring errorText_;  // under eventLock_
  AccountOwner* owner_;
  volatile LONG refCount_ = 1;
  // Between the two sentinels of a listing (checker thread only).
  bool listing_ = false;
};

}  // namespace pw
