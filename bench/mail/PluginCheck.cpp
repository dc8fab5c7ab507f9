#include "mail/PluginCheck.h"

#include <cstdlib>
#include <memory>

#include "base/StrConv.h"
#include "common/BenchSupport.h"
#include "mail/MailSession.h"

namespace pwbench {

// The account's reaction to each status code: log entries (kind 0 received,
// 1 sent, 2 information) and the status shown in the windows.
void ForwardingSink::OnStatus(uint32_t code, const char* text) {
  const double t0 = Now();
  Report(code, text);
  inAccount += Now() - t0;
}

void ForwardingSink::Report(uint32_t code, const char* text) {
  if (!account_) {
    if (code == pw::kStatusClosed) closed = true;
    if (code == pw::kStatusRetr) {
      retrNumber_ = static_cast<uint32_t>(atoi(text ? text : "0"));
      retrStart_ = Now();
    }
    return;
  }
  pw::MailAccount& account = *account_;
  pw::AccountOwner* owner = account.Owner();
  auto status = [&](uint32_t value, uint32_t arg) {
    account.statusCode = value;
    account.statusArg = arg;
    if (owner) owner->StatusChanged(account, value, arg);
  };
  switch (code) {
    case pw::kStatusSent: account.LogEvent(pw::EventKind::Sent, pw::AnsiToWide(text ? text : "").c_str()); break;
    case pw::kStatusReply:
      account.LogEvent(pw::EventKind::Received, pw::AnsiToWide(text ? text : "").c_str());
      break;
    case pw::kStatusConnecting:
      account.LogEvent(pw::EventKind::Info, L"Connecting...");
      status(1, 0);
      break;
    case pw::kStatusQuitting: status(6, 0); break;
    case pw::kStatusClosed: closed = true; break;
    case pw::kStatusLogin: status(2, 0); break;
    case pw::kStatusLoggedIn: status(3, 0); break;
    case pw::kStatusTop: status(4, static_cast<uint32_t>(atoi(text ? text : "0"))); break;
    case pw::kStatusRetr:
      retrNumber_ = static_cast<uint32_t>(atoi(text ? text : "0"));
      retrStart_ = Now();
      status(7, retrNumber_);
      break;
    case pw::kStatusDele: status(5, static_cast<uint32_t>(atoi(text ? text : "0"))); break;
    default:
      if (text) account.LogEvent(pw::EventKind::Info, pw::AnsiToWide(text).c_str());
      break;
  }
}

void ForwardingSink::OnError(uint32_t code, uint32_t param, const char* text) {
  ++errors;
  const double t0 = Now();
  if (account_) account_->OnError(code, param, text);
  inAccount += Now() - t0;
}

int ForwardingSink::OnListEntry(const char* uidl, uint32_t size) {
  if (uidl) ++listed;
  const double t0 = Now();
  const int next = account_ ? account_->OnListEntry(uidl, size) : (uidl ? bareListAction : pw::kActionNone);
  inAccount += Now() - t0;
  return next;
}

int ForwardingSink::OnHeader(const char* uidl, const char* text) {
  ++headers;
  const double t0 = Now();
  const int next = account_ ? account_->OnHeader(uidl, text) : bareHeaderAction;
  inAccount += Now() - t0;
  return next;
}

int ForwardingSink::OnMessage(const char* uidl, const char* text) {
  const double arrived = Now();
  ++messages;
  const int next = account_ ? account_->OnMessage(uidl, text) : pw::kActionNone;
  RetrTiming& t = retrs.emplace_back();
  t.number = retrNumber_;
  t.bytes = strlen(text);
  t.transfer = arrived - retrStart_;
  t.account = Now() - arrived;
  inAccount += t.account;
  return next;
}

void ForwardingSink::OnDeleted(const char* uidl) {
  if (account_) account_->OnDeleted(uidl);
  if (++deleted == listed && dropAfterDeletes) {
    dropAfterDeletes->Disconnect();
    closed = true;
  }
}

namespace {

// The checker thread's loop: GetMessage, with its 50 ms thread timer (here
// only a watchdog), until `done` holds or the time is up. A loop that peeks
// and then waits asks the window system for messages twice per event and
// yields the processor whenever the queue is empty, which the plug-in's
// own thread does not.
bool RunLikeChecker(bool& done, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, nullptr);
  MSG msg;
  while (!done && GetTickCount64() < end && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.hwnd == nullptr && msg.message == WM_TIMER && msg.wParam == timer) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  KillTimer(nullptr, timer);
  return done;
}

}  // namespace

CheckResult Run(pw::MailAccount* account, int port, int bareHeaderAction, uint32_t options, int bareListAction) {
  CheckResult r;
  ForwardingSink sink(account);
  sink.bareHeaderAction = bareHeaderAction;
  sink.bareListAction = bareListAction;
  const double cpu0 = ThreadCpu();
  const double t0 = Now();
  {
    auto session = std::make_unique<pw::MailSession>();
    session->SetSink(&sink);
    if (bareListAction == pw::kActionDelete) sink.dropAfterDeletes = session.get();
    if (!session->ConnectPop3(L"127.0.0.1", static_cast<uint32_t>(port), options, L"user", L"secret", 30000))
      return r;
    if (!RunLikeChecker(sink.closed, 600000)) return r;
  }
  r.seconds = Now() - t0;
  r.cpu = ThreadCpu() - cpu0;
  r.ok = sink.errors == 0;
  r.inAccount = sink.inAccount;
  r.listed = sink.listed;
  r.headers = sink.headers;
  r.messages = sink.messages;
  r.deleted = sink.deleted;
  r.retrs = sink.retrs;
  return r;
}

}  // namespace pwbench
