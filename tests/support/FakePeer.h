// A scripted TCP peer on 127.0.0.1, only for replies that no real server
// sends (a proxy choosing a method that was not offered, a reply that is not
// HTTP, a reply cut short). It accepts one connection and plays its script
// on a thread of its own; it records every byte it received.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/NetHandles.h"

namespace pwtest {

class FakePeer {
 public:
  FakePeer() = default;
  ~FakePeer();
  FakePeer(const FakePeer&) = delete;
  FakePeer& operator=(const FakePeer&) = delete;

  FakePeer& Expect(size_t bytes);            // read exactly that many bytes
  FakePeer& ExpectLine();                    // read through the next CR LF
  FakePeer& Reply(const std::string& bytes); // send them in one call
  FakePeer& Hangup();                        // close the connection
  FakePeer& Pause(DWORD ms);                 // wait before the next step
  // Listens and starts the script; the port to connect to, or 0.
  int Start();
  std::string Received() const;

 private:
  struct Step {
    enum Kind { kExpect, kReply, kHangup, kPause, kExpectLine } kind;
    size_t count = 0;
    std::string bytes;
  };
  void Run();

  std::vector<Step> script_;
  pw::ScopedSocket listener_;
  pw::ScopedSocket peer_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::string received_;
  pw::ScopedHandle stopEvent_;
};

}  // namespace pwtest
