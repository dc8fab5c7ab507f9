// Reading import files as text, and the plain word-list importer.
#include <windows.h>

#include "filter/ConditionTransfer.h"

namespace pw {
namespace {

struct Keyword {
  const wchar_t* word;
  uint32_t searchType;
};

const Keyword kKeywords[] = {
    {L"*=*", 0x0001}, {L"!*=*", 0x1001}, {L"=*", 0x0003},    {L"!=*", 0x1003},  {L"*=", 0x0004},   {L"!*=", 0x1004},
    {L"==", 0x0005},  {L"!=", 0x1005},   {L"__", 0x0006},    {L"!__", 0x1006},  {L"--", 0x0007},   {L"!--", 0x1007},
    {L"szMim", 0x0008}, {L"szMax", 0x0009}, {L"expr", 0x000A}, {L"!expr", 0x100A},
};

bool FindKeyword(const std::wstring& token, uint32_t& searchType) {
  for (const Keyword& k : kKeywords)
    if (_wcsicmp(token.c_str(), k.word) == 0) {
      searchType = k.searchType;
      return true;
    }
  return false;
}

uint32_t LeadingNumber(const std::wstring& s) {
  uint64_t n = 0;
  for (wchar_t c : s) {
    if (c < L'0' || c > L'9') break;
    n = n * 10 + static_cast<uint64_t>(c - L'0');
    if (n > 0xFFFFFFFFu) return 0xFFFFFFFFu;
  }
  return static_cast<uint32_t>(n);
}

bool IsSizeKind(uint32_t searchType) {
  const uint32_t k = searchType & SearchType::KindMask;
  return k == SearchType::MinSize || k == SearchType::MaxSize;
}

}  // namespace

TransferError DecodeImportText(const char* bytes, size_t length, std::wstring& text) {
  text.clear();
  const auto* u = reinterpret_cast<const unsigned char*>(bytes);
  if (length >= 2 && u[0] == 0xFF && u[1] == 0xFE) {
    text.assign(reinterpret_cast<const wchar_t*>(bytes + 2), (length - 2) / 2);
  } else if (length >= 2 && u[0] == 0xFE && u[1] == 0xFF) {
    for (size_t i = 2; i + 1 < length; i += 2) text.push_back(static_cast<wchar_t>((u[i] << 8) | u[i + 1]));
  } else {
    UINT cp = CP_ACP;
    if (length >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) {
      bytes += 3;
      length -= 3;
      cp = CP_UTF8;
    }
    if (memchr(bytes, 0, length)) return TransferError::Binary;
    if (cp == CP_ACP &&
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(length), nullptr, 0) > 0)
      cp = CP_UTF8;
    if (length) {
      const int n = MultiByteToWideChar(cp, 0, bytes, static_cast<int>(length), nullptr, 0);
      if (n <= 0) return TransferError::Binary;
      text.resize(static_cast<size_t>(n));
      MultiByteToWideChar(cp, 0, bytes, static_cast<int>(length), text.data(), n);
    }
  }
  if (text.find(L'\0') != std::wstring::npos) return TransferError::Binary;
  return TransferError::None;
}

bool LooksLikeXml(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == 0xFEFF) continue;
    return c == L'<';
  }
  return false;
}

size_t ImportWordList(FilterRule& rule, const std::wstring& text, const ImportDefaults& defaults) {
  size_t added = 0, conditions = 0;
  size_t pos = 0;
  while (pos < text.size() && added < kMaxImportSets && conditions < kMaxImportConditions) {
    size_t end = text.find(L'\n', pos);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(pos, std::min<size_t>(end - pos, 1024));
    pos = end + 1;
    std::vector<std::wstring> tokens;
    size_t t = 0;
    while (t <= line.size()) {
      size_t tab = line.find(L'\t', t);
      if (tab == std::wstring::npos) tab = line.size();
      std::wstring token = line.substr(t, tab - t);
      while (!token.empty() && (token.back() == L'\r' || token.back() == L'\n')) token.pop_back();
      if (!token.empty()) tokens.push_back(std::move(token));
      t = tab + 1;
    }
    if (tokens.empty()) continue;
    ConditionSet set;
    uint32_t function = defaults.searchType;
    size_t i = 0;
    for (;;) {
      const std::wstring& substring = tokens[i++];
      std::wstring field = defaults.field ? defaults.field : L"";
      // No header field is named like a keyword: "5000 TAB szMax" is a
      // size without a field, not a field called "szMax".
      uint32_t direct = 0;
      if (i < tokens.size() && FindKeyword(tokens[i], direct)) {
        function = direct;
        ++i;
      } else {
        if (i < tokens.size()) field = tokens[i++];
        if (i < tokens.size()) FindKeyword(tokens[i++], function);
      }
      if (IsKnownSearchType(function))
        set.addCondition(field.c_str(), function, substring.c_str(), IsSizeKind(function) ? LeadingNumber(substring) : 0);
      if (i + 1 < tokens.size() && _wcsicmp(tokens[i].c_str(), L"AND") == 0) {
        ++i;
        continue;
      }
      break;
    }
    // An empty set would match every message.
    if (set.conditions.empty()) continue;
    conditions += set.conditions.size();
    rule.sets.push_back(std::make_unique<ConditionSet>(set));
    ++added;
  }
  return added;
}

std::wstring XmlSafe(const wchar_t* text) {
  std::wstring out;
  if (!text) return out;
  for (size_t i = 0; text[i]; ++i) {
    wchar_t c = text[i];
    if ((c < 0x20 && c != L'\t' && c != L'\r' && c != L'\n') || c == 0xFFFE || c == 0xFFFF) {
      c = L'?';
    } else if (c >= 0xD800 && c <= 0xDBFF) {
      if (text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        out.push_back(c);
        out.push_back(text[++i]);
        continue;
      }
      c = L'?';
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      c = L'?';
    }
    out.push_back(c);
  }
  return out;
}

}  // namespace pw
