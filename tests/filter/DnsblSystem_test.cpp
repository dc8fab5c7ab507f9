// The production resolver path, unchanged: the test program runs itself
// again in a private mount namespace whose /etc/resolv.conf names a local
// rbldnsd, so that the system's resolver (DnsQuery_W without servers) asks
// it. Needs root (unshare, mount); skipped where unshare is missing.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "filter/Dnsbl.h"
#include "filter/FilterTestUtil.h"
#include "support/Rbldnsd.h"

namespace {

std::string UnixPath(const wchar_t* dos) {
  using Convert = char*(CDECL*)(LPCWSTR);
  static const auto convert =
      reinterpret_cast<Convert>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
  if (!convert) return std::string();
  char* p = convert(dos);
  if (!p) return std::string();
  std::string out(p);
  HeapFree(GetProcessHeap(), 0, p);
  return out;
}

bool Listed(const char* address) {
  auto m = pwtest::MakeMessage(std::string("Received: from h (h [") + address + "]) by mx\r\nSubject: s\r\n\r\n");
  auto list = std::make_unique<pw::RuleList>();
  pw::ConditionSet& set = list->addRule(L"bl", pw::RuleResult::MarkSpam).addSet();
  set.dnsbl = std::make_unique<pw::DnsblService>();
  set.dnsbl->zone.Set(L"system.test");
  pwtest::Run(std::move(list), *m);
  return m->Type() == pw::MessageType::Spam;
}

}  // namespace

TEST(DnsblSystemResolver, ProductionPathInAPrivateMountNamespace) {
  if (getenv("PW_DNSBL_CHILD")) {
    // The child: the system's resolver, no servers named.
    pw::DnsblLookup::Instance().Reset();
    EXPECT_TRUE(Listed("192.0.2.7"));
    EXPECT_FALSE(Listed("192.0.2.99"));
    return;
  }
  if (pwtest::RunLinux("command -v unshare && [ $(id -u) -eq 0 ]", 20000) != 0) GTEST_SKIP() << "needs unshare as root";
  pwtest::Rbldnsd server("system.test", "7.2.0.192 A 127.0.0.2\n");
  ASSERT_TRUE(server.Ok()) << server.Error();
  const uint32_t a = server.Address();
  const std::string ip = std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
                         std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
  pwtest::LinuxTempDir dir;
  ASSERT_TRUE(pwtest::WriteNewLinuxFile(dir.Path() + "/resolv.conf",
                                        "nameserver " + ip + "\noptions timeout:2 attempts:1\n"));
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  const std::string self = UnixPath(exe);
  ASSERT_FALSE(self.empty());
  wchar_t prefix[1024] = {};
  GetEnvironmentVariableW(L"WINEPREFIX", prefix, 1024);
  std::string env = "PW_DNSBL_CHILD=1 WINEDEBUG=-all";
  if (prefix[0]) env += " WINEPREFIX=" + UnixPath(prefix);
  const std::string out = dir.Path() + "/child.txt";
  const int rc = pwtest::RunLinux("unshare -m sh -c 'mount --bind " + dir.Path() + "/resolv.conf /etc/resolv.conf && " +
                                      env + " wine " + self +
                                      " --gtest_filter=DnsblSystemResolver.ProductionPathInAPrivateMountNamespace' >" +
                                      out + " 2>&1",
                                  120000);
  const std::string text = pwtest::ReadLinuxFile(out);
  EXPECT_EQ(rc, 0) << text;
  EXPECT_NE(text.find("[  PASSED  ] 1 test"), std::string::npos) << text;
}
