// One check of an account: the scheduler's due-check step, starting the
// POP3 session, its progress reports, the optional send pass for queued
// replies, and the end-of-check work (announcing new mail, the log line,
// the next due time). Everything here runs on the checker thread, where
// the sessions' sockets live.
#include <cstdlib>

#include "account/AccountOwner.h"
#include "account/MailAccount.h"
#include "account/MessageBody.h"
#include "base/Module.h"
#include "base/StrConv.h"
#include "resource.h"

namespace pw {

bool MailAccount::ConnectionMissing() const {
  const uint32_t mode = settings.Mode();
  if (mode != 1 && mode != 2) return false;
  return !((owner_ ? owner_->ConnectionFlags() : 0) & mode);
}

void MailAccount::SetSecondsToNext(int32_t seconds) {
  if (secondsToNext.exchange(seconds) != seconds && owner_) owner_->ScheduleChanged(*this);
}

void MailAccount::SetStatus(uint32_t status, uint32_t arg) {
  statusCode = status;
  statusArg = arg;
  if (owner_) owner_->StatusChanged(*this, status, arg);
}

void MailAccount::Tick(bool force) {
  ReapSessions();
  if (busy || settings.suspend || ConnectionMissing() || (settings.interval == 0 && !force)) {
    SetSecondsToNext(-1);
    return;
  }
  const uint32_t now = owner_ ? owner_->Now() : static_cast<uint32_t>(time(nullptr));
  uint32_t period = settings.interval;
  if (firstCheck && settings.beginDelay) {
    // The first check waits the start-up delay from the first tick.
    period = settings.beginDelay;
    if (lastCheckTime == 0) lastCheckTime = now;
  }
  const uint32_t seconds = period / 1000;
  uint32_t last = lastCheckTime;
  // A clock set back (now before last) makes the account due rather than
  // leaving it waiting for the old time to come round again.
  if (last && (now < last || now - last >= seconds)) {
    lastCheckTime = 0;
    last = 0;
  }
  if (!force && last) {
    SetSecondsToNext(static_cast<int32_t>(seconds - (now - last)));
    return;
  }
  secondsToNext = -1;
  if (owner_) owner_->ScheduleChanged(*this);
  StartCheck();
  firstCheck = 0;
}

void MailAccount::ConfigureSession(IMailSession& session, const wchar_t* fingerprint) const {
  session.SetSink(const_cast<MailAccount*>(this));
  ProxyParams proxy;
  if (owner_ && owner_->Proxy(proxy) && (proxy.kind & 0xFF))
    session.SetProxy(proxy.host.c_str(), proxy.port, proxy.kind, proxy.user.c_str(), proxy.password.c_str());
  session.SetPinnedFingerprint(fingerprint);
}

void MailAccount::StartCheck() {
  if (settings.suspend || ConnectionMissing() || sessionOpen_) return;
  ClearEvents();
  lastError = 0;
  RetireSession();
  ReapSessions();
  SessionPtr session(CreateMailSession());
  if (!session) return;
  ConfigureSession(*session, settings.inFingerprint);
  busy = 1;
  sending = 0;
  sendPassRun_ = false;
  session_ = std::move(session);
  sessionOpen_ = true;
  const bool started = session_->ConnectPop3(settings.inServer, settings.inPort, settings.inOptions,
                                             settings.inUser, settings.inPassword, settings.timeout) != 0;
  // A session that failed before it had a socket reports no end: the check
  // ends here so that the account does not stay busy for ever.
  if (!started && sessionOpen_) SessionClosed();
}

void MailAccount::CloseSession() {
  stopping_ = true;
  // Disconnect reports the end synchronously (OnStatus 10).
  if (session_ && sessionOpen_) session_->Disconnect();
  if (sessionOpen_) SessionClosed();
  stopping_ = false;
  RetireSession();
  ReapSessions();
}

void MailAccount::RetireSession() {
  if (session_) retired_.push_back(std::move(session_));
}

void MailAccount::ReapSessions() { retired_.clear(); }

bool MailAccount::HasOutgoing() const {
  SharedGuard g(messageLock_);
  for (const auto& m : messages_)
    if (m->IsOutgoing() && !m->SendFailed() && !m->HasFlag(MessageFlags::Deleted)) return true;
  return false;
}

void MailAccount::OnStatus(uint32_t code, const char* text) {
  switch (code) {
    case kStatusSmtpLine:
    case kStatusReply:
      if (text) LogEvent(EventKind::Received, AnsiToWide(text).c_str());
      break;
    case kStatusSent:
      if (text) LogEvent(EventKind::Sent, AnsiToWide(text).c_str());
      break;
    case kStatusConnecting:
      LogEvent(EventKind::Info, LoadStr(IDS_STATUS_CONNECTING).c_str());
      SetStatus(kStatusConnectingServer, 0);
      break;
    case kStatusQuitting: SetStatus(kStatusDisconnecting, 0); break;
    case kStatusClosed: SessionClosed(); break;
    case kStatusLogin: SetStatus(kStatusAuthorizing, 0); break;
    case kStatusLoggedIn: SetStatus(kStatusListing, 0); break;
    case kStatusTop: SetStatus(kStatusLoadingHeader, text ? strtoul(text, nullptr, 10) : 0); break;
    case kStatusRetr: SetStatus(kStatusLoadingMessage, text ? strtoul(text, nullptr, 10) : 0); break;
    case kStatusDele: SetStatus(kStatusDeleting, text ? strtoul(text, nullptr, 10) : 0); break;
    case kStatusSmtpReady: SendNextReply(); break;
    case kStatusSmtpAccepted: ReplySent(); break;
    case kStatusSmtpRefused: ReplyRefused(text); break;
    case kStatusSmtpText:
    case kStatusSmtpMailFrom:
      break;
    case kStatusConnected:
    case kStatusTlsDone:
    case kStatusTlsShutdown:
      break;
    default:
      // TLS reports (12, 13) and anything else that carries a text.
      if (text) LogEvent(EventKind::Info, AnsiToWide(text).c_str());
      break;
  }
}

void MailAccount::SessionClosed() {
  if (!sessionOpen_) return;  // one end per session
  sessionOpen_ = false;
  RetireSession();  // freed at the next tick: we are inside its callback
  if (!sending && !sendPassRun_ && !stopping_ && HasOutgoing() && StartSendPass()) return;
  EndCheck();
}

// Queued quick replies go out through the outgoing server once the mailbox
// has been checked; the check ends when that session closes.
bool MailAccount::StartSendPass() {
  sendPassRun_ = true;
  sendQueue_.clear();
  sendNext_ = 0;
  sendCurrent_ = RefPtr<MailMessage>();
  {
    SharedGuard g(messageLock_);
    for (const auto& m : messages_)
      if (m->IsOutgoing() && !m->SendFailed() && !m->HasFlag(MessageFlags::Deleted)) sendQueue_.emplace_back(m.Get());
  }
  if (sendQueue_.empty()) return false;
  SessionPtr session(CreateMailSession());
  if (!session) return false;
  ConfigureSession(*session, settings.outFingerprint);
  sending = 1;
  session_ = std::move(session);
  sessionOpen_ = true;
  if (session_->ConnectSmtp(settings.outServer, settings.outPort, settings.outOptions, settings.outUser,
                            settings.outPassword, settings.timeout))
    return true;
  if (!sessionOpen_) return true;  // it reported its end, which ended the check
  sessionOpen_ = false;
  RetireSession();
  return false;
}

void MailAccount::EndCheck() {
  std::vector<RefPtr<MailMessage>> arrived;
  bool announce = false;
  {
    // Exclusive: dropping a whole message changes what readers look at.
    ExclusiveGuard g(messageLock_);
    for (const auto& m : messages_) {
      if (m->ClearFlags(MessageFlags::FreeBody) & MessageFlags::FreeBody) releaseBody(*m);
      if (!m->justArrived) continue;
      m->justArrived = 0;
      arrived.emplace_back(m.Get());
      if (announce || !m->HasState(MessageState::New)) continue;
      // A message whose rule played a sound does not announce; the first
      // new one without decides, so the account speaks once per check.
      if (m->ruleSound.IsSet())
        m->ruleSound.Reset();
      else
        announce = true;
    }
  }
  if (owner_) {
    for (auto& m : arrived) owner_->MessageAdded(*this, *m);
    if (announce && settings.sound[0]) owner_->PlayNotifySound(settings.sound);
    if (announce && settings.cmdLine[0])
      owner_->RunAccountCommand(settings.cmdLine, settings.workDir, settings.runHidden != 0);
  }
  sendQueue_.clear();
  sendCurrent_ = RefPtr<MailMessage>();
  sending = 0;
  busy = 0;
  lastCheckTime = owner_ ? owner_->Now() : static_cast<uint32_t>(time(nullptr));
  LogEvent(EventKind::Info, L"Connection closed");
  // The error status carries its code, as OnError reported it.
  const uint32_t error = lastError;
  SetStatus(error ? kStatusError : kStatusReady, error);
  SetSecondsToNext(static_cast<int32_t>(settings.interval / 1000));
  ++checksEnded;
  if (owner_) owner_->CheckEnded(*this);
  PurgeDeleted();
}

}  // namespace pw
