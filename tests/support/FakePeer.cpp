#include "support/FakePeer.h"

namespace pwtest {

FakePeer::~FakePeer() {
  if (stopEvent_) SetEvent(stopEvent_.Get());
  {
    // Unblocks a read that waits for bytes the test never sent.
    std::lock_guard<std::mutex> lock(mutex_);
    if (peer_) shutdown(peer_.Get(), SD_BOTH);
  }
  listener_.Reset();  // unblocks accept
  if (thread_.joinable()) thread_.join();
}

FakePeer& FakePeer::Expect(size_t bytes) {
  script_.push_back({Step::kExpect, bytes, {}});
  return *this;
}

FakePeer& FakePeer::ExpectLine() {
  script_.push_back({Step::kExpectLine, 0, {}});
  return *this;
}

FakePeer& FakePeer::Reply(const std::string& bytes) {
  script_.push_back({Step::kReply, 0, bytes});
  return *this;
}

FakePeer& FakePeer::Hangup() {
  script_.push_back({Step::kHangup, 0, {}});
  return *this;
}

FakePeer& FakePeer::Pause(DWORD ms) {
  script_.push_back({Step::kPause, ms, {}});
  return *this;
}

int FakePeer::Start() {
  stopEvent_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  listener_.Reset(socket(AF_INET, SOCK_STREAM, 0));
  if (!listener_ || !stopEvent_) return 0;
  sockaddr_in sin = {};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(sin);
  if (bind(listener_.Get(), reinterpret_cast<sockaddr*>(&sin), sizeof(sin)) != 0 || listen(listener_.Get(), 1) != 0 ||
      getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&sin), &length) != 0)
    return 0;
  thread_ = std::thread([this] { Run(); });
  return ntohs(sin.sin_port);
}

std::string FakePeer::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

void FakePeer::Run() {
  SOCKET accepted = accept(listener_.Get(), nullptr, nullptr);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    peer_.Reset(accepted);
  }
  if (!peer_) return;
  // Small replies go out as sent, not gathered into one segment.
  const BOOL noDelay = TRUE;
  setsockopt(peer_.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
  for (const Step& step : script_) {
    if (step.kind == Step::kReply) {
      send(peer_.Get(), step.bytes.data(), static_cast<int>(step.bytes.size()), 0);
    } else if (step.kind == Step::kPause) {
      if (WaitForSingleObject(stopEvent_.Get(), static_cast<DWORD>(step.count)) == WAIT_OBJECT_0) return;
    } else if (step.kind == Step::kHangup) {
      std::lock_guard<std::mutex> lock(mutex_);
      peer_.Reset();
      return;
    } else if (step.kind == Step::kExpectLine) {
      // One byte at a time: nothing after the line is taken from the socket.
      std::string line;
      while (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) {
        char c;
        if (recv(peer_.Get(), &c, 1, 0) != 1) return;
        line += c;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      received_ += line;
    } else {
      size_t got = 0;
      while (got < step.count) {
        char buffer[512];
        const int want = static_cast<int>(std::min(sizeof(buffer), step.count - got));
        const int n = recv(peer_.Get(), buffer, want, 0);
        if (n <= 0) return;
        std::lock_guard<std::mutex> lock(mutex_);
        received_.append(buffer, n);
        got += n;
      }
    }
  }
  // Silence until the test ends: the connection stays open.
  WaitForSingleObject(stopEvent_.Get(), INFINITE);
}

}  // namespace pwtest
