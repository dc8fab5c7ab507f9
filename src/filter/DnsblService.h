// The DNS black list a condition set asks instead of its conditions, and the
// services offered by "dnsbl.ini" beside the module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/OwnedText.h"

namespace pw {

class SettingsTree;

// One answer category: the IPv4 answer as a host-order number (127.0.0.2 is
// 0x7F000002) and why the list gives it.
struct DnsblResult {
  uint32_t code = 0;
  OwnedWText reason;
};

struct DnsblService {
  // The categories the user chose; none means every listing answer counts.
  std::vector<DnsblResult> results;
  OwnedWText zone;
  OwnedWText name;

  // The node "DNSBL", already open.
  void Save(SettingsTree& tree) const;
  void Load(SettingsTree& tree);
};

// One service described by "dnsbl.ini".
struct DnsblDefinition {
  std::wstring name, description, webPage, zone;
  std::vector<DnsblResult> results;
};

// Reads the definitions from a file's bytes (UTF-16 with a byte-order mark,
// UTF-8 with or without one, else the ANSI code page).
std::vector<DnsblDefinition> ParseDnsblDefinitions(const char* bytes, size_t length);
// Reads "dnsbl.ini" beside the plug-in's module; empty when it is missing.
std::vector<DnsblDefinition> loadDefinitions();

}  // namespace pw
