// DNS black lists: the addresses taken from Received fields, the answers
// that count, "dnsbl.ini", and lookups against a real rbldnsd (listed, not
// listed, refusal codes, chosen categories, several records), a silent
// server and the circuit breaker, and merged queries.
#include <winsock2.h>
#include <gtest/gtest.h>

#include <thread>

#include "filter/Dnsbl.h"
#include "filter/FilterTestUtil.h"
#include "support/Rbldnsd.h"

namespace RR = pw::RuleResult;
using pwtest::MakeMessage;

namespace {

uint32_t Quad(const wchar_t* s) {
  uint32_t a = 0;
  EXPECT_TRUE(pw::ParseDottedQuad(s, wcslen(s), a)) << s;
  return a;
}

// Points the process's lookup at one server, with a clean cache, for the
// life of the object.
class LookupAt {
 public:
  explicit LookupAt(uint32_t server) : resolver_(pw::ResolverForServer(server)) {
    pw::DnsblLookup::Instance().Reset();
    pw::DnsblLookup::Instance().SetResolver(resolver_.get());
  }
  ~LookupAt() {
    pw::DnsblLookup::Instance().SetResolver(nullptr);
    pw::DnsblLookup::Instance().Reset();
  }

 private:
  std::unique_ptr<pw::DnsblResolver> resolver_;
};

std::unique_ptr<pw::RuleList> BlackListRule(const wchar_t* zone, std::vector<uint32_t> ticked = {}) {
  auto list = std::make_unique<pw::RuleList>();
  pw::ConditionSet& set = list->addRule(L"black list", RR::MarkSpam).addSet();
  set.dnsbl = std::make_unique<pw::DnsblService>();
  set.dnsbl->name.Set(L"Test BL");
  set.dnsbl->zone.Set(zone);
  for (uint32_t code : ticked)
    set.dnsbl->results.push_back({code, pw::OwnedWText(code == 0x7F000002u ? L"spam source" : L"other")});
  return list;
}

std::string Hop(const std::string& address) {
  return "Received: from h.example (h.example [" + address + "]) by mx.example\r\n";
}

const char kZoneData[] =
    "7.2.0.192 A 127.0.0.2\n"
    "8.2.0.192 A 127.255.255.254\n"    // "public resolver"
    "9.2.0.192 A 127.0.0.1\n"          // a test entry, not a listing
    "10.2.0.192 A 203.0.113.5\n"       // what a rewriting resolver answers
    "11.2.0.192 A 127.0.0.4\n"
    "11.2.0.192 A 127.0.0.2\n"         // two records: both are read
    "12.2.0.192 A 127.0.0.4\n";

}  // namespace

TEST(DnsblAddresses, OnlyStrictDottedQuadsAndAtMostFive) {
  auto m = MakeMessage(
      "Received: from a (a [IPv6:2001:db8::1]) by b\r\n"
      "Received: from c (userid 1000) by d\r\n"
      "Received: from mail.example.org by e\r\n"     // no usable address: passed over
      "Received: from f (f [198.51.100.300]) by g\r\n"  // not an address
      "Received: from h (h [192.0.2.1]) by i\r\n"
      "Received: from unknown (HELO x) (192.0.2.2) by j\r\n"
      "Received: from k (k [192.0.2.1]) by l\r\n"    // the same address again
      "Received: from m ([192.0.2.3]) by n\r\n"
      "Received: from o ([192.0.2.4]) by p\r\n"
      "Received: from q ([192.0.2.5]) by r\r\n"
      "Received: from s ([192.0.2.6]) by t\r\n"
      "\r\n");
  std::vector<uint32_t> expected = {Quad(L"192.0.2.1"), Quad(L"192.0.2.2"), Quad(L"192.0.2.3"), Quad(L"192.0.2.4"),
                                    Quad(L"192.0.2.5")};
  EXPECT_EQ(pw::ReceivedAddresses(*m), expected);
  EXPECT_EQ(pw::DnsblQueryName(Quad(L"192.0.2.99"), L"bl.example"), L"99.2.0.192.bl.example");
}

TEST(DnsblAnswers, WhatCountsAsListed) {
  pw::DnsblService any;
  pw::DnsblService ticked;
  ticked.results.push_back({0x7F000002u, pw::OwnedWText(L"spam source")});
  auto answer = [](std::vector<uint32_t> codes) {
    pw::DnsblAnswer a;
    a.state = pw::DnsblState::Listed;
    a.codes = std::move(codes);
    return a;
  };
  std::wstring reason = L"x";
  EXPECT_TRUE(pw::DnsblListed(any, answer({0x7F000002u}), &reason));
  EXPECT_EQ(reason, L"");
  for (uint32_t refused : {0x7F000001u, 0x7FFFFFFCu, 0x7FFFFFFEu, 0x7FFFFFFFu, 0xCB007105u, 0x0A000001u})
    EXPECT_FALSE(pw::DnsblListed(any, answer({refused}), nullptr)) << std::hex << refused;
  EXPECT_FALSE(pw::DnsblListed(ticked, answer({0x7F000004u}), nullptr));
  EXPECT_TRUE(pw::DnsblListed(ticked, answer({0x7F000004u, 0x7F000002u}), &reason));
  EXPECT_EQ(reason, L"spam source");
  pw::DnsblAnswer unknown;
  EXPECT_FALSE(pw::DnsblListed(any, unknown, nullptr));
}

TEST(DnsblDefinitions, FileWithByteOrderMark) {
  const std::wstring text =
      L"\xFEFF; lists\r\nDNSBL Test BL\r\nD The test list\r\nW http://bl.example/\r\nZ bl.example\r\n"
      L"R 127.0.0.2 Spam source\r\nr 127.0.0.3 lower case: ignored\r\nR 127.0.0.300 bad address\r\n"
      L"R 127.0.0.4 Dynamic\r\nE\r\nDNSBL  Second\r\nZ two.example\r\n";
  std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  auto defs = pw::ParseDnsblDefinitions(bytes.data(), bytes.size());
  ASSERT_EQ(defs.size(), 2u);
  EXPECT_EQ(defs[0].name, L"Test BL");
  EXPECT_EQ(defs[0].description, L"The test list");
  EXPECT_EQ(defs[0].webPage, L"http://bl.example/");
  EXPECT_EQ(defs[0].zone, L"bl.example");
  ASSERT_EQ(defs[0].results.size(), 2u);
  EXPECT_EQ(defs[0].results[0].code, 0x7F000002u);
  EXPECT_STREQ(defs[0].results[1].reason.Get(), L"Dynamic");
  EXPECT_EQ(defs[1].name, L"Second");  // ended by the end of the file
  EXPECT_EQ(defs[1].zone, L"two.example");
  const std::string ansi = "DNSBL Plain\nZ plain.example\nE\n";
  EXPECT_EQ(pw::ParseDnsblDefinitions(ansi.data(), ansi.size()).at(0).zone, L"plain.example");
}

TEST(DnsblRbldnsd, ListedNotListedRefusedAndCategories) {
  pwtest::Rbldnsd server("bl.test", kZoneData);
  ASSERT_TRUE(server.Ok()) << server.Error();
  LookupAt at(server.Address());

  auto classify = [](const std::string& address, std::vector<uint32_t> ticked = {}) {
    auto m = MakeMessage(Hop(address) + "From: a@example.org\r\nSubject: s\r\n\r\n");
    pwtest::Run(BlackListRule(L"bl.test", std::move(ticked)), *m);
    return std::make_pair(m->Type() == pw::MessageType::Spam, std::wstring(m->filterText.Str()));
  };
  auto listed = classify("192.0.2.7", {0x7F000002u});
  EXPECT_TRUE(listed.first);
  EXPECT_EQ(listed.second, L"reported by 'Test BL': spam source");
  EXPECT_TRUE(classify("192.0.2.7").first);
  EXPECT_FALSE(classify("192.0.2.99").first);  // not in the list
  EXPECT_FALSE(classify("192.0.2.8").first);   // refusal code
  EXPECT_FALSE(classify("192.0.2.9").first);   // 127.0.0.1
  EXPECT_FALSE(classify("192.0.2.10").first);  // a public address
  EXPECT_TRUE(classify("192.0.2.11", {0x7F000002u}).first);  // the second record counts
  EXPECT_FALSE(classify("192.0.2.12", {0x7F000002u}).first);  // only an unticked category
  EXPECT_TRUE(classify("192.0.2.12").first);

  // Answers are cached: a window re-applying the rules needs no network.
  pw::DnsblQuery q{L"BL.TEST", Quad(L"192.0.2.7")};
  auto cached = pw::DnsblLookup::Instance().Resolve({q}, 0, true);
  ASSERT_EQ(cached.size(), 1u);
  EXPECT_EQ(cached[0].state, pw::DnsblState::Listed);
  pw::DnsblQuery miss{L"bl.test", Quad(L"192.0.2.99")};
  EXPECT_EQ(pw::DnsblLookup::Instance().Resolve({miss}, 0, true)[0].state, pw::DnsblState::NotListed);
}

TEST(DnsblRbldnsd, ColdMessageAsksAllHopsAtOnce) {
  pwtest::Rbldnsd one("one.test", kZoneData);
  ASSERT_TRUE(one.Ok()) << one.Error();
  LookupAt at(one.Address());
  std::string header;
  for (int i = 20; i < 25; ++i) header += Hop("192.0.2." + std::to_string(i));
  header += Hop("192.0.2.7") + "Subject: s\r\n\r\n";
  auto m = MakeMessage(header);
  // Five hops at most: the listed sixth is never asked.
  pwtest::Run(BlackListRule(L"one.test"), *m);
  EXPECT_EQ(m->Type(), pw::MessageType::Normal);
  EXPECT_EQ(pw::DnsblLookup::Instance().CacheSize(), 5u);
}

TEST(DnsblSilentServer, BoundedWaitAndCircuitBreaker) {
  // A server that never answers.
  pwtest::SilentDns silent;
  ASSERT_TRUE(silent.Ok());
  const uint32_t address = silent.Address();
  LookupAt at(address);

  auto m = MakeMessage(Hop("192.0.2.7") + Hop("192.0.2.8") + "Subject: s\r\n\r\n");
  std::vector<std::wstring> log;
  for (int i = 0; i < 3; ++i) {
    const ULONGLONG t0 = GetTickCount64();
    pw::ApplyOptions options;
    pw::RuleSnapshot snap(BlackListRule(L"silent.test"));
    auto o = pw::EvaluateRules(snap, *m, options);
    const ULONGLONG took = GetTickCount64() - t0;
    EXPECT_EQ(o.type.has_value(), false);
    log.insert(log.end(), o.log.begin(), o.log.end());
    if (i < 2) {
      EXPECT_GE(took, 1400u) << i;
      EXPECT_LT(took, 3000u) << i;  // both hops in one wait, not one each
    } else {
      EXPECT_LT(took, 200u) << "the zone is skipped after two time-outs";
    }
  }
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find(L"silent.test"), std::wstring::npos);
}

namespace {

// Slow answers from memory, counting what is asked.
class CountingResolver final : public pw::DnsblResolver {
 public:
  DWORD ResolveA(const std::wstring& name, std::vector<uint32_t>& codes, DWORD& ttl) override {
    ++calls;
    Sleep(300);
    if (name.rfind(L"7.", 0) != 0) return DNS_ERROR_RCODE_NAME_ERROR;
    codes.push_back(0x7F000002u);
    ttl = 60;
    return 0;
  }
  std::atomic<int> calls{0};
};

}  // namespace

TEST(DnsblLookup, DuplicateQueriesInFlightAreMerged) {
  CountingResolver resolver;
  pw::DnsblLookup::Instance().Reset();
  pw::DnsblLookup::Instance().SetResolver(&resolver);
  const pw::DnsblQuery q{L"z.test", Quad(L"192.0.2.7")};
  std::vector<pw::DnsblAnswer> a1, a2;
  std::thread t1([&] { a1 = pw::DnsblLookup::Instance().Resolve({q, q}, 2000, false); });
  std::thread t2([&] { a2 = pw::DnsblLookup::Instance().Resolve({q}, 2000, false); });
  t1.join();
  t2.join();
  EXPECT_EQ(resolver.calls, 1);
  EXPECT_EQ(a1.at(1).state, pw::DnsblState::Listed);
  EXPECT_EQ(a2.at(0).state, pw::DnsblState::Listed);
  // Not-listed answers are kept too, for a short while.
  const pw::DnsblQuery n{L"z.test", Quad(L"192.0.2.8")};
  EXPECT_EQ(pw::DnsblLookup::Instance().Resolve({n}, 2000, false)[0].state, pw::DnsblState::NotListed);
  EXPECT_EQ(pw::DnsblLookup::Instance().Resolve({n}, 2000, false)[0].state, pw::DnsblState::NotListed);
  EXPECT_EQ(resolver.calls, 2);
  pw::DnsblLookup::Instance().SetResolver(nullptr);
  pw::DnsblLookup::Instance().Reset();
}

namespace {

ULONGLONG g_now = 1000000;
ULONGLONG FakeClock() { return g_now; }

// Instant answers from memory: addresses ending in 7 are listed (TTL 60 s).
class MemoryResolver final : public pw::DnsblResolver {
 public:
  DWORD ResolveA(const std::wstring& name, std::vector<uint32_t>& codes, DWORD& ttl) override {
    ++calls;
    if (name.rfind(L"7.", 0) != 0) return DNS_ERROR_RCODE_NAME_ERROR;
    codes.push_back(0x7F000002u);
    ttl = 60;
    return 0;
  }
  std::atomic<int> calls{0};
};

}  // namespace

TEST(DnsblLookup, CacheExpiryAndLeastRecentlyUsedEviction) {
  MemoryResolver resolver;
  auto& lookup = pw::DnsblLookup::Instance();
  lookup.Reset();
  lookup.SetResolver(&resolver);
  lookup.SetClock(&FakeClock);
  const pw::DnsblQuery listed{L"z.test", Quad(L"192.0.2.7")};
  const pw::DnsblQuery clean{L"z.test", Quad(L"192.0.2.8")};
  EXPECT_EQ(lookup.Resolve({listed, clean}, 2000, false)[0].state, pw::DnsblState::Listed);
  EXPECT_EQ(resolver.calls, 2);
  // The listing lives for its TTL, the negative answer a little longer.
  g_now += 59 * 1000;
  lookup.Resolve({listed, clean}, 2000, false);
  EXPECT_EQ(resolver.calls, 2);
  g_now += 2 * 1000;
  lookup.Resolve({listed, clean}, 2000, false);
  EXPECT_EQ(resolver.calls, 3);
  g_now += pw::DnsblLookup::kNegativeMs;
  lookup.Resolve({clean}, 2000, false);
  EXPECT_EQ(resolver.calls, 4);

  // One entry per query however often it is asked; the least recently used
  // goes first when the cache is full.
  lookup.Reset();
  lookup.Resolve({listed}, 2000, false);
  for (uint32_t i = 0; i < pw::DnsblLookup::kCacheEntries; ++i) {
    if (i == 500) lookup.Resolve({listed}, 0, true);  // used again: now recent
    lookup.Resolve({{L"z.test", (10u << 24) | i}}, 2000, false);
  }
  EXPECT_EQ(lookup.CacheSize(), pw::DnsblLookup::kCacheEntries);
  const int before = resolver.calls;
  EXPECT_EQ(lookup.Resolve({listed}, 0, true)[0].state, pw::DnsblState::Listed);
  EXPECT_EQ(lookup.Resolve({{L"z.test", 10u << 24}}, 0, true)[0].state, pw::DnsblState::Unknown);  // evicted
  EXPECT_EQ(resolver.calls, before);
  lookup.SetClock(nullptr);
  lookup.SetResolver(nullptr);
  lookup.Reset();
}

namespace {

// "dead" zones hang for 2 s, others answer at once (everything listed).
class HangingResolver final : public pw::DnsblResolver {
 public:
  DWORD ResolveA(const std::wstring& name, std::vector<uint32_t>& codes, DWORD& ttl) override {
    if (name.find(L"dead") != std::wstring::npos) {
      Sleep(2000);
      return ERROR_TIMEOUT;
    }
    codes.push_back(0x7F000002u);
    ttl = 60;
    return 0;
  }
};

}  // namespace

// Queries waiting for a busy pool are not held against their zone: a dead
// list that occupies every worker must not get a healthy one skipped.
TEST(DnsblLookup, QueuedQueriesDoNotTripTheBreaker) {
  HangingResolver resolver;
  auto& lookup = pw::DnsblLookup::Instance();
  lookup.Reset();
  lookup.SetResolver(&resolver);
  std::vector<pw::DnsblQuery> dead;
  for (uint32_t i = 0; i < 12; ++i) dead.push_back({L"dead.test", (10u << 24) | i});
  std::vector<std::wstring> log;
  lookup.Resolve(dead, 100, false, &log);
  const pw::DnsblQuery live{L"live.test", Quad(L"192.0.2.7")};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(lookup.Resolve({live}, 50, false, &log)[0].state, pw::DnsblState::Unknown);
  // The live zone is asked as soon as a worker is free.
  EXPECT_EQ(lookup.Resolve({live}, 5000, false, &log)[0].state, pw::DnsblState::Listed);
  for (const auto& line : log) EXPECT_EQ(line.find(L"live.test"), std::wstring::npos) << line;
  lookup.SetResolver(nullptr);
  lookup.Reset();
}
