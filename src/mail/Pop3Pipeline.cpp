// Pipelined POP3 (RFC 2449 PIPELINING): the fetch and delete passes keep a
// window of commands in flight instead of waiting for each reply. Replies
// are assembled, checked and handed to the account one by one in the order
// their commands went out, with the reports of the lockstep conversation.
// A body the account asks for after a header is fetched once the TOPs
// already sent are answered; deletions start only when every fetch is done.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "mail/MailSession.h"

namespace pw {

namespace {

constexpr UINT kReplyTimer = 1;
constexpr int kSendChunk = 64 * 1024;
constexpr int kWritesPerEvent = 16;
// Reply bytes counted for a command before its reply is seen: a header is
// rarely larger, a deletion's "+OK" is a line.
constexpr size_t kTopGuess = 4 * 1024;
constexpr size_t kLineGuess = 64;
// Bytes of handled replies kept before the buffer is compacted.
constexpr size_t kCompactAt = 256 * 1024;

bool Positive(const std::string& reply) { return reply.size() >= 3 && _strnicmp(reply.c_str(), "+OK", 3) == 0; }

std::string FirstLine(const std::string& reply) {
  const size_t end = reply.find("\r\n");
  return end == std::string::npos ? reply : reply.substr(0, end);
}

}  // namespace

void MailSession::PipeStart() {
  SetState(kPop3Pipeline);
  buffer_.clear();
  head_ = searchFrom_ = 0;
  searchingError_ = false;
  nextFetch_ = nextDelete_ = 0;
  PipeFill();
}

void MailSession::RestartReplyTimer() {
  windowBytes_ = SIZE_MAX;  // a reply came: a new window, whatever its size
  SetTimer(kReplyTimer, timeout_);
}

void MailSession::PipeQueue(int command, size_t index, const std::string& text, size_t expect) {
  Status(kStatusSent, text.c_str());
  outbox_ += text;
  outbox_ += "\r\n";
  // The oldest command's reply is due within the time-out from now.
  if (inFlight_.empty()) RestartReplyTimer();
  inFlight_.push_back({command, index, expect});
  inFlightBytes_ += expect;
  if (command == kPop3Top || command == kPop3Retr) ++fetchesInFlight_;
}

void MailSession::PipeQuit() {
  Status(kStatusQuitting, nullptr);
  PipeQueue(kPop3Quit, SIZE_MAX, "QUIT", kLineGuess);
}

// Tops up the window: bodies asked for first, then the next headers or
// bodies of the listing, then - once no fetch is left or in flight - the
// deletions, and QUIT when every reply is in.
void MailSession::PipeFill() {
  // Refilled only once half the window is answered: the commands then go
  // out in one send instead of one each, under Wine a server call apiece.
  if (inFlight_.size() > kPipeCommands / 2) {
    PipeFlush();
    return;
  }
  char number[16];
  while (!draining_ && inFlight_.size() < kPipeCommands && (inFlight_.empty() || inFlightBytes_ < kPipeBytes)) {
    size_t index = SIZE_MAX;
    if (!bodiesDue_.empty()) {
      index = bodiesDue_.front();
      bodiesDue_.pop_front();
    } else {
      while (nextFetch_ < messages_.size() && messages_[nextFetch_].action != 1 && messages_[nextFetch_].action != 2)
        ++nextFetch_;
      if (nextFetch_ < messages_.size()) index = nextFetch_++;
    }
    if (index != SIZE_MAX) {
      const ServerMessage& m = messages_[index];
      snprintf(number, sizeof(number), "%u", static_cast<unsigned>(index + 1));
      if (m.action == 1) {
        Status(kStatusTop, number);
        PipeQueue(kPop3Top, index, std::string("TOP ") + number + " 0", std::min<size_t>(m.size, kTopGuess) + kLineGuess);
      } else if (m.action == 2) {
        Status(kStatusRetr, number);
        PipeQueue(kPop3Retr, index, std::string("RETR ") + number, static_cast<size_t>(m.size) + kLineGuess);
      }
      continue;
    }
    // An answer still due may ask for another body.
    if (fetchesInFlight_ > 0) break;
    while (nextDelete_ < messages_.size() && messages_[nextDelete_].action != 3) ++nextDelete_;
    if (nextDelete_ < messages_.size()) {
      const size_t i = nextDelete_++;
      snprintf(number, sizeof(number), "%u", static_cast<unsigned>(i + 1));
      Status(kStatusDele, number);
      PipeQueue(kPop3Dele, i, std::string("DELE ") + number, kLineGuess);
      continue;
    }
    if (inFlight_.empty()) {
      draining_ = true;  // nothing after QUIT
      PipeQuit();
    }
    break;
  }
  PipeFlush();
}

// Sends what the socket takes now and leaves the rest for its next write
// notification: a server that does not read must never keep the session
// from reading its replies (RFC 2449).
void MailSession::PipeFlush() {
  for (int i = 0; i < kWritesPerEvent && outFrom_ < outbox_.size(); ++i) {
    const int length = static_cast<int>(std::min<size_t>(outbox_.size() - outFrom_, kSendChunk));
    const int sent = Send(outbox_.data() + outFrom_, length);
    if (sent == SOCKET_ERROR) {
      if (GetLastError() != WSAEWOULDBLOCK) {
        Fail(kErrorSend, 0, nullptr);
        return;
      }
      break;
    }
    outFrom_ += static_cast<size_t>(sent);
    if (sent < length) break;
  }
  if (outFrom_ >= outbox_.size()) {
    outbox_.clear();
    outFrom_ = 0;
    return;
  }
  PostEvent(FD_WRITE);
}

void MailSession::PipeReceived() {
  while (!inFlight_.empty() && state_ == kPop3Pipeline) {
    const int command = inFlight_.front().command;
    const bool multiLine = command == kPop3Top || command == kPop3Retr;
    const size_t limit = command == kPop3Top ? kMaxHeaderReply : command == kPop3Retr ? SIZE_MAX : kMaxLineReply;
    std::string reply;
    if (!ReadQueuedReply(multiLine, limit, reply)) {
      if (state_ == kPop3Idle) return;  // too long: the session has ended
      SetTimer(kReplyTimer, timeout_);
      if (readCut_) PostEvent(FD_REREAD);
      return;
    }
    PipeReply(reply);
  }
  if (state_ == kPop3Pipeline) PipeFill();
}

void MailSession::PipeReply(std::string& reply) {
  const InFlight done = inFlight_.front();
  inFlight_.pop_front();
  inFlightBytes_ -= done.expect;
  if (done.command == kPop3Top || done.command == kPop3Retr) --fetchesInFlight_;
  if (!inFlight_.empty()) RestartReplyTimer();
  const bool ok = Positive(reply);
  const std::string first = FirstLine(reply);
  if (done.command == kPop3Quit) {
    if (ok)
      Status(kStatusReply, first.c_str());
    else
      Error(kErrorCommand, 0, first.c_str());
    SetState(kPop3Idle);
    Close();
    return;
  }
  current_ = static_cast<int>(done.index);
  ServerMessage& m = messages_[done.index];
  if (draining_) {
    // After a refusal only what the server will commit at QUIT is told: a
    // deletion it acknowledged. Headers still arriving are not handed over.
    if (done.command == kPop3Dele && ok) {
      m.action = 0;
      Status(kStatusReply, first.c_str());
      if (sink_) sink_->OnDeleted(m.uidl.c_str());
    }
    return;
  }
  if (!ok) {
    const std::string uidl = m.uidl;
    if (done.command == kPop3Dele) m.action = 0;
    Error(kErrorCommand, 0, first.c_str());
    const int which = done.command == kPop3Top ? 1 : done.command == kPop3Retr ? 2 : 3;
    if (sink_) sink_->OnCommandFailed(uidl.c_str(), which, first.c_str());
    if (state_ == kPop3Idle) return;
    draining_ = true;
    PipeQuit();
    PipeFlush();
    return;
  }
  Status(kStatusReply, first.c_str());
  if (done.command == kPop3Dele) {
    m.action = 0;
    if (sink_) sink_->OnDeleted(m.uidl.c_str());
    if (state_ == kPop3Idle) return;
  } else {
    if (!Pop3HandOver(reply, done.command == kPop3Top)) return;
    const uint32_t next = messages_[done.index].action;
    if (next == 1 || next == 2) bodiesDue_.push_back(done.index);
  }
  // Topped up by PipeReceived once every reply at hand is handled.
}

// The reply at head_; bytes after it are the next replies and stay.
bool MailSession::ReadQueuedReply(bool multiLine, size_t limit, std::string& reply) {
  static const char kLine[] = "\r\n";
  static const char kBlock[] = "\r\n.\r\n";
  const size_t have = buffer_.size() - head_;
  if (multiLine && !searchingError_ && have >= 4 && _strnicmp(buffer_.c_str() + head_, "-ERR", 4) == 0) {
    searchingError_ = true;
    searchFrom_ = head_;
  }
  const bool block = multiLine && !searchingError_;
  const char* terminator = block ? kBlock : kLine;
  const size_t termLength = block ? 5 : 2;
  const size_t from = std::max(searchFrom_, head_);
  const size_t at = buffer_.find(terminator, from, termLength);
  if (at == std::string::npos) {
    searchFrom_ = have >= termLength ? buffer_.size() - termLength + 1 : head_;
    if (have > (searchingError_ ? std::min(limit, kMaxLineReply) : limit)) {
      const std::string sofar = buffer_.substr(head_, 256);
      Fail(kErrorReceive, 0, sofar.c_str());
    }
    return false;
  }
  reply.assign(buffer_, head_, at - head_);
  if (!Positive(reply))
    lastLine_ = FirstLine(reply).substr(0, 256);
  else
    lastLine_.clear();
  head_ = at + termLength;
  searchingError_ = false;
  if (head_ >= buffer_.size()) {
    buffer_.clear();
    head_ = 0;
  } else if (head_ >= kCompactAt) {
    buffer_.erase(0, head_);
    head_ = 0;
  }
  searchFrom_ = head_;
  return true;
}

}  // namespace pw
