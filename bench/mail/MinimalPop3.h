// The baseline of the mail benchmark: a minimal blocking Winsock POP3 client
// that sends the same commands as the plug-in and reads each reply with
// 4096-byte recv calls until its terminator, parsing nothing.
#pragma once

#include <winsock2.h>

#include <string>
#include <vector>

#include "net/NetHandles.h"

namespace pwbench {

class MinimalPop3 {
 public:
  // Connects to 127.0.0.1:port and reads the greeting.
  bool Open(int port);
  // Sends line + CR LF and reads the reply (multi-line: through CR LF "."
  // CR LF, unless it starts with "-ERR"). False on a failure or a negative
  // reply. The reply stays in Reply() until the next command.
  bool Command(const std::string& line, bool multiLine);
  const std::string& Reply() const { return reply_; }
  size_t Receives() const { return receives_; }  // recv calls so far
  // Pipelining: sends the commands in batches of `batch` and reads each
  // batch's replies before the next batch goes. False on a failure or a
  // negative reply.
  bool Pipelined(const std::vector<std::string>& lines, bool multiLine, size_t batch);
  // Closes without QUIT: the server commits no deletion.
  void Drop() { socket_.Reset(); }
  // USER/PASS.
  bool Login(const std::string& user, const std::string& password);
  // QUIT and close.
  bool Quit();

 private:
  bool ReadReply(bool multiLine);

  pw::ScopedSocket socket_;
  std::string reply_;
  std::string pending_;  // received bytes after the last reply read (pipelining)
  size_t receives_ = 0;
};

}  // namespace pwbench
