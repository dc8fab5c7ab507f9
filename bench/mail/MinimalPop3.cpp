#include "mail/MinimalPop3.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

namespace pwbench {

bool MinimalPop3::Open(int port) {
  socket_.Reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!socket_) return false;
  sockaddr_in sin = {};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = inet_addr("127.0.0.1");
  sin.sin_port = htons(static_cast<u_short>(port));
  if (connect(socket_.Get(), reinterpret_cast<sockaddr*>(&sin), sizeof(sin)) != 0) return false;
  return ReadReply(false);
}

bool MinimalPop3::Command(const std::string& line, bool multiLine) {
  const std::string out = line + "\r\n";
  if (send(socket_.Get(), out.data(), static_cast<int>(out.size()), 0) != static_cast<int>(out.size())) return false;
  return ReadReply(multiLine);
}

bool MinimalPop3::Login(const std::string& user, const std::string& password) {
  return Command("USER " + user, false) && Command("PASS " + password, false);
}

bool MinimalPop3::Quit() {
  const bool ok = Command("QUIT", false);
  socket_.Reset();
  return ok;
}

bool MinimalPop3::Pipelined(const std::vector<std::string>& lines, bool multiLine, size_t batch) {
  pending_.clear();
  for (size_t first = 0; first < lines.size(); first += batch) {
    const size_t end = std::min(lines.size(), first + batch);
    std::string out;
    for (size_t i = first; i < end; ++i) out += lines[i] + "\r\n";
    if (send(socket_.Get(), out.data(), static_cast<int>(out.size()), 0) != static_cast<int>(out.size())) return false;
    char chunk[4096];
    size_t from = 0, head = 0;
    for (size_t i = first; i < end;) {
      const bool block = multiLine && pending_.compare(head, 4, "-ERR") != 0;
      const char* terminator = block ? "\r\n.\r\n" : "\r\n";
      const size_t length = block ? 5 : 2;
      const size_t at = pending_.find(terminator, std::max(from, head), length);
      if (at != std::string::npos) {
        if (pending_.compare(head, 3, "+OK") != 0) return false;
        head = from = at + length;
        ++i;
        continue;
      }
      from = pending_.size() >= head + length ? pending_.size() - length + 1 : head;
      const int n = recv(socket_.Get(), chunk, sizeof(chunk), 0);
      ++receives_;
      if (n <= 0) return false;
      pending_.append(chunk, static_cast<size_t>(n));
    }
    pending_.clear();  // each batch's replies end with its last reply
  }
  return true;
}

// The terminator search resumes where the last one stopped, so a long reply
// costs linear time, as in the plug-in.
bool MinimalPop3::ReadReply(bool multiLine) {
  reply_.clear();
  size_t from = 0;
  char chunk[4096];
  for (;;) {
    const int n = recv(socket_.Get(), chunk, sizeof(chunk), 0);
    ++receives_;
    if (n <= 0) return false;
    reply_.append(chunk, static_cast<size_t>(n));
    const bool block = multiLine && reply_.compare(0, 4, "-ERR") != 0;
    const char* terminator = block ? "\r\n.\r\n" : "\r\n";
    const size_t length = block ? 5 : 2;
    const size_t at = reply_.find(terminator, from, length);
    if (at != std::string::npos) {
      reply_.resize(at);
      return reply_.compare(0, 3, "+OK") == 0;
    }
    from = reply_.size() >= length ? reply_.size() - length + 1 : 0;
  }
}

}  // namespace pwbench
