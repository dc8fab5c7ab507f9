// The DNSBL record in the settings tree, and the "dnsbl.ini" reader.
#include <windows.h>

#include <cwctype>
#include <string>

#include "base/Module.h"
#include "base/Scoped.h"
#include "base/SettingsTree.h"
#include "filter/DnsblService.h"

namespace pw {
namespace {

std::wstring Indexed(const wchar_t* stem, int i) { return std::wstring(stem) + L"#" + std::to_wstring(i); }

std::wstring Decode(const char* bytes, size_t length) {
  const auto* u = reinterpret_cast<const unsigned char*>(bytes);
  if (length >= 2 && u[0] == 0xFF && u[1] == 0xFE)
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes + 2), (length - 2) / 2);
  if (length >= 2 && u[0] == 0xFE && u[1] == 0xFF) {
    std::wstring out;
    for (size_t i = 2; i + 1 < length; i += 2) out.push_back(static_cast<wchar_t>((u[i] << 8) | u[i + 1]));
    return out;
  }
  UINT cp = CP_ACP;
  if (length >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) {
    bytes += 3;
    length -= 3;
    cp = CP_UTF8;
  } else if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(length), nullptr, 0) > 0) {
    cp = CP_UTF8;
  }
  if (!length) return std::wstring();
  int n = MultiByteToWideChar(cp, 0, bytes, static_cast<int>(length), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(cp, 0, bytes, static_cast<int>(length), out.data(), n);
  return out;
}

bool Blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The text after the first word and the blanks that follow it.
std::wstring AfterFirstWord(const std::wstring& line) {
  size_t i = 0;
  while (i < line.size() && !Blank(line[i])) ++i;
  while (i < line.size() && Blank(line[i])) ++i;
  return line.substr(i);
}

// Strict dotted quad to a host-order number.
bool ParseQuad(const std::wstring& text, uint32_t& out) {
  uint32_t value = 0;
  int parts = 0;
  size_t i = 0;
  while (parts < 4) {
    if (i >= text.size() || !iswdigit(text[i])) return false;
    uint32_t part = 0;
    int digits = 0;
    while (i < text.size() && iswdigit(text[i]) && digits < 4) part = part * 10 + (text[i++] - L'0'), ++digits;
    if (digits > 3 || part > 255) return false;
    value = (value << 8) | part;
    if (++parts < 4) {
      if (i >= text.size() || text[i] != L'.') return false;
      ++i;
    }
  }
  if (i != text.size()) return false;
  out = value;
  return true;
}

}  // namespace

void DnsblService::Save(SettingsTree& t) const {
  if (name.IsSet()) t.SetString(L"name", name.Get());
  if (zone.IsSet()) t.SetString(L"zone", zone.Get());
  t.SetInt(L"count", static_cast<int32_t>(results.size()));
  for (size_t i = 0; i < results.size(); ++i) {
    t.CreateNode(Indexed(L"result", static_cast<int>(i)).c_str());
    t.SetString(L"resone", results[i].reason.Str());
    t.SetInt(L"code", static_cast<int32_t>(results[i].code));
    t.CloseNode();
  }
}

void DnsblService::Load(SettingsTree& t) {
  name.Set(t.GetString(L"name", nullptr));
  zone.Set(t.GetString(L"zone", nullptr));
  results.clear();
  int32_t n = t.GetInt(L"count", 0);
  if (n < 0) n = 0;
  if (static_cast<size_t>(n) > t.Entries().size()) n = static_cast<int32_t>(t.Entries().size());
  for (int i = 0; i < n; ++i) {
    if (!t.EnterNode(Indexed(L"result", i).c_str())) continue;
    DnsblResult r;
    r.reason.Set(t.GetString(L"resone", L""));
    r.code = static_cast<uint32_t>(t.GetInt(L"code", 0));
    results.push_back(std::move(r));
    t.LeaveNode();
  }
}

std::vector<DnsblDefinition> ParseDnsblDefinitions(const char* bytes, size_t length) {
  std::vector<DnsblDefinition> out;
  const std::wstring text = Decode(bytes, length);
  bool open = false;
  DnsblDefinition current;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(L'\n', pos);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (line.size() > 1024) line.resize(1024);
    if (line.size() >= 5 && _wcsnicmp(line.c_str(), L"DNSBL", 5) == 0) {
      if (open) out.push_back(std::move(current));
      current = DnsblDefinition();
      size_t i = 5;
      while (i < line.size() && Blank(line[i])) ++i;
      current.name = line.substr(i);
      open = true;
      continue;
    }
    if (!open || line.empty()) continue;
    switch (line[0]) {
      case L'E':
        out.push_back(std::move(current));
        current = DnsblDefinition();
        open = false;
        break;
      case L'D': current.description = AfterFirstWord(line); break;
      case L'W': current.webPage = AfterFirstWord(line); break;
      case L'Z': current.zone = AfterFirstWord(line); break;
      case L'R': {
        const std::wstring rest = AfterFirstWord(line);
        size_t i = 0;
        while (i < rest.size() && !Blank(rest[i])) ++i;
        DnsblResult r;
        if (!ParseQuad(rest.substr(0, i), r.code)) break;
        while (i < rest.size() && Blank(rest[i])) ++i;
        r.reason.Set(rest.substr(i).c_str());
        current.results.push_back(std::move(r));
        break;
      }
      default: break;
    }
  }
  if (open) out.push_back(std::move(current));
  return out;
}

std::vector<DnsblDefinition> loadDefinitions() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(DllModule(), path, MAX_PATH);
  if (!n || n >= MAX_PATH) return {};
  std::wstring p(path, n);
  p.resize(p.find_last_of(L"\\/") + 1);
  p += L"dnsbl.ini";
  ScopedHandle file(CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  LARGE_INTEGER size;
  // A definitions file is a few kilobytes; anything huge is not one.
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > (1 << 20)) return {};
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!bytes.empty() && !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) return {};
  bytes.resize(got);
  return ParseDnsblDefinitions(bytes.data(), bytes.size());
}

}  // namespace pw
