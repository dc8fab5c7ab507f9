// The process-wide black-list lookup: cache, merged in-flight queries, the
// worker pool and the per-zone circuit breaker.
#include <windows.h>
#include <windns.h>

#include <algorithm>
#include <deque>
#include <list>
#include <memory>
#include <unordered_map>

#include "base/Scoped.h"
#include "filter/Dnsbl.h"
#include "filter/RuleSnapshot.h"

namespace pw {
namespace {

// Enough for every query of one message (5 hops x 2 zones) at once.
constexpr int kMaxWorkers = 10;
constexpr DWORD kWorkerIdleMs = 3000;
constexpr int kTimeoutsBeforeSkip = 2;

ULONGLONG SystemClock() { return GetTickCount64(); }

struct Pending {
  std::wstring key, zone, name;
  bool started = false;  // a worker is asking
  bool done = false;
  DnsblAnswer answer;
};

struct ZoneHealth {
  int timeouts = 0;
  ULONGLONG skipUntil = 0;
  bool skipping = false;
};

struct CacheEntry {
  std::wstring key;
  DnsblAnswer answer;
  ULONGLONG expires = 0;
};

// Zones are host names: ASCII letters are all that case can change.
void LowerAscii(std::wstring& s) {
  for (wchar_t& c : s)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
}

std::wstring Key(const std::wstring& foldedZone, uint32_t address) {
  std::wstring k;
  k.reserve(foldedZone.size() + 12);
  k += foldedZone;
  k += L'|';
  k += std::to_wstring(address);
  return k;
}

struct DnsRecordListTraits {
  static PDNS_RECORD Invalid() { return nullptr; }
  static bool Valid(PDNS_RECORD r) { return r != nullptr; }
  static void Close(PDNS_RECORD r) { DnsRecordListFree(r, DnsFreeRecordList); }
};
using ScopedDnsRecords = ScopedHandleT<PDNS_RECORD, DnsRecordListTraits>;

// DnsQuery_W, with the servers given or the system's.
class WindowsResolver final : public DnsblResolver {
 public:
  explicit WindowsResolver(uint32_t server = 0) : server_(server) {}

  DWORD ResolveA(const std::wstring& name, std::vector<uint32_t>& codes, DWORD& ttl) override {
    ScopedDnsRecords records;
    // The server list travels in pExtra as an IP4_ARRAY (network order).
    IP4_ARRAY servers = {};
    servers.AddrCount = 1;
    servers.AddrArray[0] = htonl_(server_);
    DNS_STATUS s = DnsQuery_W(name.c_str(), DNS_TYPE_A, DNS_QUERY_STANDARD, server_ ? &servers : nullptr,
                              reinterpret_cast<PDNS_RECORD*>(records.Out()), nullptr);
    if (s != 0) return static_cast<DWORD>(s);
    ttl = 0xFFFFFFFFu;
    for (PDNS_RECORD r = records.Get(); r; r = r->pNext) {
      if (r->wType != DNS_TYPE_A || r->Flags.S.Section != DnsSectionAnswer) continue;
      const IP4_ADDRESS a = r->Data.A.IpAddress;  // network order in memory
      const auto* b = reinterpret_cast<const unsigned char*>(&a);
      codes.push_back((uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3]);
      if (r->dwTtl < ttl) ttl = r->dwTtl;
    }
    if (codes.empty()) return DNS_INFO_NO_RECORDS;
    return 0;
  }

 private:
  static IP4_ADDRESS htonl_(uint32_t a) {
    IP4_ADDRESS out;
    auto* b = reinterpret_cast<unsigned char*>(&out);
    b[0] = static_cast<unsigned char>(a >> 24);
    b[1] = static_cast<unsigned char>(a >> 16);
    b[2] = static_cast<unsigned char>(a >> 8);
    b[3] = static_cast<unsigned char>(a);
    return out;
  }
  uint32_t server_;
};

}  // namespace

DnsblResolver& SystemResolver() {
  static WindowsResolver resolver;
  return resolver;
}

std::unique_ptr<DnsblResolver> ResolverForServer(uint32_t server) {
  return std::make_unique<WindowsResolver>(server);
}

struct DnsblLookup::Impl {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE work = CONDITION_VARIABLE_INIT;
  CONDITION_VARIABLE done = CONDITION_VARIABLE_INIT;
  DnsblResolver* resolver = nullptr;
  ULONGLONG (*clock)() = SystemClock;
  std::list<CacheEntry> lru;  // most recent first
  std::unordered_map<std::wstring, std::list<CacheEntry>::iterator> cache;
  std::unordered_map<std::wstring, std::shared_ptr<Pending>> inFlight;
  std::deque<std::shared_ptr<Pending>> queue;
  std::unordered_map<std::wstring, ZoneHealth> zones;  // by folded zone
  int workers = 0;
  int idle = 0;

  static DWORD WINAPI Worker(void* param);
  void StartWorker();
  void Finish(Pending& p, DWORD status, std::vector<uint32_t>& codes, DWORD ttl);
  void NoteTimeout(const std::wstring& zone, std::vector<std::wstring>* log);
};

DnsblLookup::DnsblLookup() : impl_(new Impl) {}  // lives as long as the process

DnsblLookup& DnsblLookup::Instance() {
  static DnsblLookup* instance = new DnsblLookup;
  return *instance;
}

void DnsblLookup::SetResolver(DnsblResolver* resolver) {
  AcquireSRWLockExclusive(&impl_->lock);
  impl_->resolver = resolver;
  ReleaseSRWLockExclusive(&impl_->lock);
}

void DnsblLookup::SetClock(ULONGLONG (*clock)()) {
  AcquireSRWLockExclusive(&impl_->lock);
  impl_->clock = clock ? clock : SystemClock;
  ReleaseSRWLockExclusive(&impl_->lock);
}

void DnsblLookup::Reset() {
  AcquireSRWLockExclusive(&impl_->lock);
  impl_->lru.clear();
  impl_->cache.clear();
  impl_->zones.clear();
  impl_->queue.clear();
  ReleaseSRWLockExclusive(&impl_->lock);
}

size_t DnsblLookup::CacheSize() const {
  AcquireSRWLockShared(&impl_->lock);
  size_t n = impl_->cache.size();
  ReleaseSRWLockShared(&impl_->lock);
  return n;
}

// Each worker holds a reference on the module its code lives in, so the
// DLL stays loaded until the last worker has returned from it.
void DnsblLookup::Impl::StartWorker() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&Impl::Worker), &self);
  ScopedHandle thread(CreateThread(nullptr, 256 * 1024, &Impl::Worker, self, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (thread) {
    ++workers;
  } else if (self) {
    FreeLibrary(self);
  }
}

DWORD WINAPI DnsblLookup::Impl::Worker(void* param) {
  Impl& d = *DnsblLookup::Instance().impl_;
  AcquireSRWLockExclusive(&d.lock);
  for (;;) {
    if (d.queue.empty()) {
      ++d.idle;
      BOOL woke = SleepConditionVariableSRW(&d.work, &d.lock, kWorkerIdleMs, 0);
      --d.idle;
      if (!woke && d.queue.empty()) break;
      continue;
    }
    std::shared_ptr<Pending> p = std::move(d.queue.front());
    d.queue.pop_front();
    p->started = true;
    DnsblResolver& resolver = d.resolver ? *d.resolver : SystemResolver();
    ReleaseSRWLockExclusive(&d.lock);
    std::vector<uint32_t> codes;
    DWORD ttl = 0;
    DWORD status = resolver.ResolveA(p->name, codes, ttl);
    AcquireSRWLockExclusive(&d.lock);
    d.Finish(*p, status, codes, ttl);
  }
  --d.workers;
  ReleaseSRWLockExclusive(&d.lock);
  if (param) FreeLibraryAndExitThread(static_cast<HMODULE>(param), 0);
  return 0;
}

// Called with the lock held exclusively.
void DnsblLookup::Impl::Finish(Pending& p, DWORD status, std::vector<uint32_t>& codes, DWORD ttl) {
  const ULONGLONG now = clock();
  ULONGLONG life = 0;
  if (status == 0) {
    p.answer.state = DnsblState::Listed;
    p.answer.codes = std::move(codes);
    life = std::min<ULONGLONG>(ULONGLONG(ttl) * 1000, kMaxPositiveMs);
  } else if (status == DNS_ERROR_RCODE_NAME_ERROR || status == DNS_INFO_NO_RECORDS) {
    p.answer.state = DnsblState::NotListed;
    life = kNegativeMs;
  } else {
    p.answer.state = DnsblState::Unknown;  // failures are not kept
  }
  // A zone that answers is healthy again; time-outs are counted by the
  // callers that waited in vain.
  if (p.answer.state != DnsblState::Unknown) zones[p.zone].timeouts = 0;
  if (life) {
    auto old = cache.find(p.key);
    if (old != cache.end()) {
      lru.erase(old->second);
      cache.erase(old);
    }
    lru.push_front({p.key, p.answer, now + life});
    cache[p.key] = lru.begin();
    while (cache.size() > kCacheEntries) {
      cache.erase(lru.back().key);
      lru.pop_back();
    }
  }
  p.done = true;
  inFlight.erase(p.key);
  WakeAllConditionVariable(&done);
}

void DnsblLookup::Impl::NoteTimeout(const std::wstring& zone, std::vector<std::wstring>* log) {
  ZoneHealth& z = zones[zone];
  if (z.skipping) return;
  if (++z.timeouts < kTimeoutsBeforeSkip) return;
  z.skipping = true;
  z.skipUntil = clock() + kSkipMs;
  if (log) log->push_back(L"DNS black list '" + zone + L"' does not answer; not asked for 5 minutes");
}

std::vector<DnsblAnswer> DnsblLookup::Resolve(const std::vector<DnsblQuery>& queries, DWORD waitMs, bool cacheOnly,
                                              std::vector<std::wstring>* log) {
  Impl& d = *impl_;
  std::vector<DnsblAnswer> out(queries.size());
  std::vector<std::shared_ptr<Pending>> waiting(queries.size());
  AcquireSRWLockExclusive(&d.lock);
  const ULONGLONG now = d.clock();
  bool queued = false;
  for (size_t i = 0; i < queries.size(); ++i) {
    std::wstring zone = queries[i].zone;
    LowerAscii(zone);
    const std::wstring key = Key(zone, queries[i].address);
    auto hit = d.cache.find(key);
    if (hit != d.cache.end()) {
      if (hit->second->expires > now) {
        out[i] = hit->second->answer;
        d.lru.splice(d.lru.begin(), d.lru, hit->second);
        continue;
      }
      d.lru.erase(hit->second);
      d.cache.erase(hit);
    }
    ZoneHealth& z = d.zones[zone];
    if (z.skipping) {
      if (now < z.skipUntil) continue;
      z.skipping = false;
      z.timeouts = 0;
    }
    if (cacheOnly) continue;
    auto flying = d.inFlight.find(key);
    if (flying != d.inFlight.end()) {
      waiting[i] = flying->second;
      continue;
    }
    auto p = std::make_shared<Pending>();
    p->key = key;
    p->zone = zone;
    p->name = DnsblQueryName(queries[i].address, queries[i].zone);
    d.inFlight[key] = p;
    d.queue.push_back(p);
    waiting[i] = p;
    queued = true;
  }
  if (queued) {
    // Enough workers for what is queued, within the pool's size.
    const int busy = d.workers - d.idle;
    int need = std::min<int>(kMaxWorkers, busy + static_cast<int>(d.queue.size())) - d.workers;
    for (; need > 0; --need) d.StartWorker();
    WakeAllConditionVariable(&d.work);
  }
  const ULONGLONG deadline = GetTickCount64() + waitMs;
  for (;;) {
    bool all = true;
    for (const auto& p : waiting) all = all && (!p || p->done);
    if (all) break;
    const ULONGLONG t = GetTickCount64();
    if (t >= deadline) break;
    SleepConditionVariableSRW(&d.done, &d.lock, static_cast<DWORD>(deadline - t), 0);
  }
  std::vector<std::wstring> slowZones;
  for (size_t i = 0; i < waiting.size(); ++i) {
    const auto& p = waiting[i];
    if (!p) continue;
    if (p->done) {
      out[i] = p->answer;
      continue;
    }
    // A query still waiting for a worker says nothing about its zone.
    if (!p->started) continue;
    bool noted = false;
    for (const auto& z : slowZones) noted = noted || z == p->zone;
    if (!noted) slowZones.push_back(p->zone);
  }
  // A zone that kept this message waiting counts one time-out.
  for (const auto& z : slowZones) d.NoteTimeout(z, log);
  ReleaseSRWLockExclusive(&d.lock);
  return out;
}

}  // namespace pw
