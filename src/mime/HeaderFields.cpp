#include "mime/HeaderFields.h"

#include <algorithm>
#include <cctype>
#include <cwctype>
#include <string_view>
#include <vector>

#include "mime/Charset.h"
#include "mime/HeaderDate.h"
#include "mime/HeaderScan.h"
#include "mime/HeaderWords.h"

namespace pw {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The first CR LF at or after p, or end.
const char* FindCrLf(const char* p, const char* end) { return FindPair(p, end, '\r', '\n'); }

// Names equal ignoring letter case, as _wcsicmp compares them; ASCII, by
// far the most common, without its locale.
bool SameName(const wchar_t* a, const wchar_t* b) {
  for (size_t i = 0;; ++i) {
    wchar_t c = a[i], d = b[i];
    if (c >= 0x80 || d >= 0x80) return _wcsicmp(a, b) == 0;
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    if (d >= L'A' && d <= L'Z') d = static_cast<wchar_t>(d + 32);
    if (c != d) return false;
    if (!c) return true;
  }
}

}  // namespace

namespace {

// Calls add(field) for every field of a header block; an unterminated last
// value is dropped with its name.
template <typename Add>
void ScanFields(const char* p, size_t length, Add&& add) {
  if (!p) return;
  const char* const end = p + length;
  // A header handed over from a TOP reply begins with the CR LF that ended
  // the status line: it would become part of the first field's name.
  while (end - p >= 2 && p[0] == '\r' && p[1] == '\n') p += 2;
  while (p < end) {
    const char* colon = FindByte(p, end, ':');
    if (colon == end) break;
    const char* v = colon + 1;
    if (v < end && SpaceByte(static_cast<unsigned char>(*v)))
      while (v < end && *v != '\r' && SpaceByte(static_cast<unsigned char>(*v))) ++v;
    const char* vEnd = FindCrLf(v, end);
    while (vEnd != end && vEnd + 2 < end && IsBlank(vEnd[2])) vEnd = FindCrLf(vEnd + 2, end);
    if (vEnd == end) break;
    add(RawField{p, static_cast<size_t>(colon - p), v, static_cast<size_t>(vEnd - v)});
    p = vEnd + 2;
  }
}

}  // namespace

void splitFields(const char* p, size_t length, std::vector<RawField>& fields) {
  fields.clear();
  ScanFields(p, length, [&](const RawField& f) { fields.push_back(f); });
}

// Appends text as the list keeps it: ASCII (nearly every name, most
// Content-Type values) widened as it is, anything else through the ANSI
// code page.
void WidenAnsi(const char* p, size_t length, std::wstring& out) {
  const size_t at = out.size();
  for (size_t i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(p[i]) >= 0x80) {
      out.resize(at);
      out += AnsiToUnicode(p, length);
      return;
    }
    out.push_back(static_cast<wchar_t>(p[i]));
  }
}

bool IsContentType(const RawField& f) {
  static const char kName[] = "content-type";
  if (f.nameLength != sizeof kName - 1) return false;
  for (size_t i = 0; i < f.nameLength; ++i) {
    char c = f.name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != kName[i]) return false;
  }
  return true;
}

namespace {

// Few headers have more fields than this: theirs stay on the stack.
constexpr size_t kLocalFields = 64;

}  // namespace

void parseFieldList(const char* p, size_t length, HeaderFieldList& fields) {
  fields.clear();
  RawField local[kLocalFields];
  size_t count = 0;
  bool more = false;
  ScanFields(p, length, [&](const RawField& f) {
    if (count < kLocalFields)
      local[count++] = f;
    else
      more = true;
  });
  std::vector<RawField> all;
  const RawField* raw = local;
  if (more) {
    splitFields(p, length, all);
    raw = all.data();
    count = all.size();
  }
  // Content-Type is converted at once: its charset decodes the other values.
  int contentType = -1;
  for (size_t i = 0; i < count && contentType < 0; ++i)
    if (IsContentType(raw[i])) contentType = static_cast<int>(i);
  std::optional<std::wstring> charset;
  std::wstring typeValue;
  if (contentType >= 0) {
    const RawField& f = raw[static_cast<size_t>(contentType)];
    WidenAnsi(f.value, f.valueLength, typeValue);
    charset = headerParameter(typeValue.c_str(), L"charset");
  }
  // No value grows in decoding: a byte gives at most one UTF-16 unit.
  size_t units = 0;
  for (size_t i = 0; i < count; ++i) units += raw[i].nameLength + raw[i].valueLength;
  fields.reserve(count, units);
  ValueDecoder decoder(charset ? charset->c_str() : nullptr);
  for (size_t i = 0; i < count; ++i) {
    const RawField& f = raw[i];
    fields.emplace_back([&](std::wstring& out) { WidenAnsi(f.name, f.nameLength, out); },
                        [&](std::wstring& out) {
                          if (static_cast<int>(i) == contentType)
                            out += typeValue;
                          else
                            decoder.Decode(f.value, f.valueLength, out);
                        });
  }
}

int findField(const HeaderFieldList& fields, const wchar_t* name, int start) {
  if (!name || start < 0) return -1;
  for (size_t i = static_cast<size_t>(start); i < fields.size(); ++i)
    if (SameName(fields[i].first.c_str(), name)) return static_cast<int>(i);
  return -1;
}

const wchar_t* nextFieldValue(const HeaderFieldList& fields, const wchar_t* name, size_t* iterator) {
  const size_t from = iterator ? *iterator : 0;
  if (from >= fields.size()) return nullptr;
  const int i = findField(fields, name, static_cast<int>(from));
  if (i < 0) {
    if (iterator) *iterator = fields.size();
    return nullptr;
  }
  if (iterator) *iterator = static_cast<size_t>(i) + 1;
  return fields[static_cast<size_t>(i)].second.c_str();
}

std::optional<std::wstring> rawFieldValue(const char* block, size_t length, const wchar_t* name) {
  if (!block || !name) return std::nullopt;
  const std::string key = UnicodeToAnsi(name, wcslen(name)) + ": ";
  const std::string_view text(block, length);
  const size_t at = text.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  const char* v = block + at + key.size();
  const char* const end = block + text.size();
  const char* vEnd = FindCrLf(v, end);
  while (vEnd != end && vEnd + 2 < end && IsBlank(vEnd[2])) vEnd = FindCrLf(vEnd + 2, end);
  return AnsiToUnicode(v, static_cast<size_t>(vEnd - v));
}

std::optional<std::wstring> headerParameter(const wchar_t* value, const wchar_t* name) {
  if (!value || !name || !*name) return std::nullopt;
  const std::wstring_view v(value), n(name);
  // The first place where the name stands, letter case ignored.
  size_t at = std::wstring_view::npos;
  for (size_t i = 0; i + n.size() <= v.size() && at == std::wstring_view::npos; ++i) {
    size_t k = 0;
    while (k < n.size() && LowerChar(v[i + k]) == LowerChar(n[k])) ++k;
    if (k == n.size()) at = i;
  }
  if (at == std::wstring_view::npos) return std::nullopt;
  at = v.find(L'=', at + n.size());
  if (at == std::wstring_view::npos) return std::nullopt;
  size_t from = at + 1;
  while (from < v.size() && v[from] == L' ') ++from;
  size_t to = v.find(L';', from);
  if (to == std::wstring_view::npos) to = v.size();
  std::wstring out(v.substr(from, to - from));
  if (out.empty()) return std::nullopt;
  if (out.front() == L'"') out.erase(0, 1);
  if (!out.empty() && out.back() == L'"') out.pop_back();
  return out;
}

std::optional<std::wstring> fieldsCharset(const HeaderFieldList& fields) {
  const int i = findField(fields, L"Content-Type");
  if (i < 0) return std::nullopt;
  return headerParameter(fields[static_cast<size_t>(i)].second.c_str(), L"charset");
}

}  // namespace pw
