#include "support/Rbldnsd.h"

#include <windows.h>

#include <atomic>

namespace pwtest {

uint32_t FreshLoopback53() {
  // The process id spreads concurrent test programs over the third byte.
  static std::atomic<uint32_t> next{(GetCurrentProcessId() * 7919u) % 60000u};
  const uint32_t n = next++ % 60000u;
  return (127u << 24) | (53u << 16) | ((n / 250 + 1) << 8) | (n % 250 + 2);
}

Rbldnsd::Rbldnsd(const std::string& zone, const std::string& data) {
  address_ = FreshLoopback53();
  const std::string ip = "127.53." + std::to_string((address_ >> 8) & 0xFF) + "." + std::to_string(address_ & 0xFF);
  const std::string dir = dir_.Path();
  if (!WriteNewLinuxFile(dir + "/zone.txt", data)) {
    error_ = "cannot write the zone file";
    return;
  }
  // It reads its data as "nobody", after binding; -p backgrounds it once
  // the socket is bound, so the zone answers when the command returns.
  const std::string cmd = "chmod 777 " + dir + " && chmod 644 " + dir + "/zone.txt && /usr/sbin/rbldnsd -u nobody:nogroup -b " +
                          ip + "/53 -p " + dir + "/pid -w " + dir + " " + zone + ":generic:zone.txt 2>" + dir + "/err";
  const int rc = RunLinux(cmd, 20000);
  if (rc != 0) {
    error_ = "rbldnsd did not start (" + std::to_string(rc) + "): " + ReadLinuxFile(dir + "/err") + cmd;
    return;
  }
  ok_ = true;
}

SilentDns::SilentDns() {
  address_ = FreshLoopback53();
  const std::string ip = "127.53." + std::to_string((address_ >> 8) & 0xFF) + "." + std::to_string(address_ & 0xFF);
  const std::string dir = dir_.Path();
  // Binds, reports its pid, and then only waits (at most ten minutes).
  const std::string script = "import os,socket,time\n"
                             "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
                             "s.bind(('" + ip + "',53))\n"
                             "open('" + dir + "/pid','w').write(str(os.getpid()))\n"
                             "time.sleep(600)\n";
  if (!WriteNewLinuxFile(dir + "/silent.py", script)) return;
  if (RunLinux("python3 " + dir + "/silent.py & for i in $(seq 100); do [ -s " + dir + "/pid ] && exit 0; sleep 0.05; done; exit 1",
               20000) != 0)
    return;
  ok_ = true;
}

SilentDns::~SilentDns() {
  if (ok_) RunLinux("kill $(cat " + dir_.Path() + "/pid)", 10000);
}

Rbldnsd::~Rbldnsd() {
  if (ok_) RunLinux("kill $(cat " + dir_.Path() + "/pid)", 10000);
}

}  // namespace pwtest
