// A real DNS black-list server for the tests: rbldnsd serving one zone from
// a data file of its "generic" kind ("7.2.0.192 A 127.0.0.2", one record a
// line, several lines for several records), on port 53 of an address of its
// own in 127.53.0.0/16 (the system resolver cannot be told another port).
#pragma once

#include <cstdint>
#include <string>

#include "support/Services.h"

namespace pwtest {

class Rbldnsd {
 public:
  Rbldnsd(const std::string& zone, const std::string& data);
  ~Rbldnsd();
  Rbldnsd(const Rbldnsd&) = delete;
  Rbldnsd& operator=(const Rbldnsd&) = delete;

  bool Ok() const { return ok_; }
  const std::string& Error() const { return error_; }
  // The server's address, host order.
  uint32_t Address() const { return address_; }

 private:
  LinuxTempDir dir_;
  uint32_t address_ = 0;
  bool ok_ = false;
  std::string error_;
};

// A DNS server that never answers: a Linux UDP socket on port 53 of its own
// 127.53.x.y that reads nothing, for the time-out cases.
class SilentDns {
 public:
  SilentDns();
  ~SilentDns();
  SilentDns(const SilentDns&) = delete;
  SilentDns& operator=(const SilentDns&) = delete;
  bool Ok() const { return ok_; }
  uint32_t Address() const { return address_; }

 private:
  LinuxTempDir dir_;
  uint32_t address_ = 0;
  bool ok_ = false;
};

// A fresh 127.53.x.y, host order, not handed out before in this process.
uint32_t FreshLoopback53();

}  // namespace pwtest
