// What counts as a listing, and which addresses of a message are asked about.
#include <string_view>

#include "account/MailMessage.h"
#include "account/MessageHeader.h"
#include "filter/Dnsbl.h"

namespace pw {
namespace {

constexpr size_t kMaxAddresses = 5;

// The first group `open`...`close` of the value whose whole content is a
// dotted quad.
bool QuadInGroups(std::wstring_view v, wchar_t open, wchar_t close, uint32_t& out) {
  size_t at = 0;
  while ((at = v.find(open, at)) != std::wstring_view::npos) {
    const size_t end = v.find(close, at + 1);
    if (end == std::wstring_view::npos) return false;
    if (ParseDottedQuad(v.data() + at + 1, end - at - 1, out)) return true;
    at += 1;
  }
  return false;
}

}  // namespace

bool ParseDottedQuad(const wchar_t* text, size_t length, uint32_t& out) {
  uint32_t value = 0;
  size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    if (part) {
      if (i >= length || text[i] != L'.') return false;
      ++i;
    }
    uint32_t n = 0;
    size_t digits = 0;
    while (i < length && text[i] >= L'0' && text[i] <= L'9') {
      if (++digits > 3) return false;
      n = n * 10 + static_cast<uint32_t>(text[i++] - L'0');
    }
    if (!digits || n > 255) return false;
    value = (value << 8) | n;
  }
  if (i != length) return false;
  out = value;
  return true;
}

std::vector<uint32_t> ReceivedAddresses(const MailMessage& m) {
  std::vector<uint32_t> out;
  size_t it = 0;
  while (out.size() < kMaxAddresses) {
    const wchar_t* value = nextFieldValue(m, L"Received", &it);
    if (!value) break;
    const std::wstring_view v(value);
    uint32_t a = 0;
    // A field without a usable address is passed over, not the end of the walk.
    if (!QuadInGroups(v, L'[', L']', a) && !QuadInGroups(v, L'(', L')', a)) continue;
    bool seen = false;
    for (uint32_t o : out) seen = seen || o == a;
    if (!seen) out.push_back(a);
  }
  return out;
}

bool DnsblListed(const DnsblService& service, const DnsblAnswer& answer, std::wstring* reason) {
  if (answer.state != DnsblState::Listed) return false;
  for (uint32_t code : answer.codes) {
    // Lists answer inside 127.0.0.0/8. 127.0.0.1 is a test entry or a broken
    // resolver; 127.255.255.0/24 are the list's own refusals ("query refused",
    // "public resolver", "too many queries"); anything outside 127/8 is a
    // resolver that rewrites missing names.
    if ((code >> 24) != 127 || code == 0x7F000001u || (code & 0xFFFFFF00u) == 0x7FFFFF00u) continue;
    if (service.results.empty()) {
      if (reason) reason->clear();
      return true;
    }
    for (const DnsblResult& r : service.results)
      if (r.code == code) {
        if (reason) *reason = r.reason.Str();
        return true;
      }
  }
  return false;
}

std::wstring DnsblQueryName(uint32_t a, const std::wstring& zone) {
  return std::to_wstring(a & 0xFF) + L"." + std::to_wstring((a >> 8) & 0xFF) + L"." +
         std::to_wstring((a >> 16) & 0xFF) + L"." + std::to_wstring(a >> 24) + L"." + zone;
}

}  // namespace pw
