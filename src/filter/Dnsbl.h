// Asking DNS black lists about the hosts a message passed through, without
// holding up the checker: every query of a message goes out at once on a
// small worker pool, duplicate queries in flight are merged, the caller
// waits a bounded time, answers are kept in a process-wide LRU cache, and a
// zone that stops answering is skipped for a while.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "filter/DnsblService.h"

namespace pw {

class MailMessage;

enum class DnsblState : uint32_t {
  NotListed = 0,
  Listed = 1,
  Unknown = 2,  // no answer in time, server failure, or zone skipped
};

struct DnsblAnswer {
  DnsblState state = DnsblState::Unknown;
  std::vector<uint32_t> codes;  // every A record, host order
};

struct DnsblQuery {
  std::wstring zone;
  uint32_t address = 0;  // host order
};

// Resolution of one query name: fills the A records (host order) and the
// smallest TTL. Returns 0, DNS_ERROR_RCODE_NAME_ERROR (9003) for a name that
// does not exist, or another error (9002 server failure, 1460 time-out...).
class DnsblResolver {
 public:
  virtual ~DnsblResolver() = default;
  virtual DWORD ResolveA(const std::wstring& name, std::vector<uint32_t>& codes, DWORD& ttl) = 0;

};

// The system's resolver.
DnsblResolver& SystemResolver();
// The same resolver asking one server (host order) instead of the
// system's: how tests name their own.
std::unique_ptr<DnsblResolver> ResolverForServer(uint32_t server);

class DnsblLookup {
 public:
  // The process's instance.
  static DnsblLookup& Instance();

  // Answers for all queries. Waits at most `waitMs` for what is not cached;
  // with cacheOnly nothing goes to the network. Lines for the account's log
  // (a zone skipped after time-outs) are appended to `log`.
  std::vector<DnsblAnswer> Resolve(const std::vector<DnsblQuery>& queries, DWORD waitMs, bool cacheOnly,
                                   std::vector<std::wstring>* log = nullptr);

  // Tests: the resolver to use (null: the system's), and a clean state.
  void SetResolver(DnsblResolver* resolver);
  void Reset();
  // Tests: the clock in milliseconds (null: GetTickCount64).
  void SetClock(ULONGLONG (*clock)());
  size_t CacheSize() const;

  static constexpr DWORD kWaitMs = 1500;
  static constexpr size_t kCacheEntries = 1000;
  static constexpr ULONGLONG kSkipMs = 5 * 60 * 1000;
  static constexpr ULONGLONG kNegativeMs = 10 * 60 * 1000;
  static constexpr ULONGLONG kMaxPositiveMs = 60 * 60 * 1000;

  struct Impl;

 private:
  DnsblLookup();
  Impl* impl_;
};

// The query name of an address under a zone: "99.2.0.192.zone".
std::wstring DnsblQueryName(uint32_t address, const std::wstring& zone);
// Whether an answer says "listed" to this service; fills the reason of the
// first chosen category with the answer's code. Only 127.0.0.0/8 answers
// count, never 127.0.0.1 nor 127.255.255.0/24 (refusals and errors of the
// list itself); when categories are chosen only their codes count.
bool DnsblListed(const DnsblService& service, const DnsblAnswer& answer, std::wstring* reason);
// The IPv4 addresses of the message's Received fields, in header order: only
// strict dotted quads in [...] or (...), at most five, duplicates dropped.
std::vector<uint32_t> ReceivedAddresses(const MailMessage& message);
// Strict dotted quad ("192.0.2.1") to a host-order number.
bool ParseDottedQuad(const wchar_t* text, size_t length, uint32_t& out);

}  // namespace pw
