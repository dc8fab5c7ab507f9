#include "mime/HeaderFields.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cwctype>
#include <string_view>
#include <vector>

#include "mime/Charset.h"
#include "mime/HeaderScan.h"
#include "mime/HeaderWords.h"

namespace pw {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The first CR LF at or after p, or end.
const char* FindCrLf(const char* p, const char* end) { return FindPair(p, end, '\r', '\n'); }

// Names equal ignoring letter case; most differ at their first letter, so
// neither length is measured first.
bool SameName(const wchar_t* a, const wchar_t* b) {
  for (size_t i = 0;; ++i) {
    const wchar_t c = LowerChar(a[i]), d = LowerChar(b[i]);
    if (c != d) return false;
    if (!c) return true;
  }
}

// Calls add(field) for every field of a header block and returns where its
// body begins. The block is read line by line (CR LF, or LF alone, ends a
// line): fields and their continuation lines, up to a blank line, which
// belongs to neither, or up to the first line that is neither a field nor a
// continuation, which begins the body. A POP3 reply's text begins with the
// CR LF of its status line: with `afterStatusLine` one leading line break
// is skipped, never taken into a name. An unterminated last line is kept.
template <typename Add>
size_t ScanFields(const char* const base, size_t length, bool afterStatusLine, Add&& add) {
  if (!base) return 0;
  const char* p = base;
  const char* const end = base + length;
  if (afterStatusLine) {
    if (end - p >= 2 && p[0] == '\r' && p[1] == '\n')
      p += 2;
    else if (p < end && p[0] == '\n')
      ++p;
  }
  // An mbox separator line ("From sender date") is no field; "From :" is.
  if (end - p >= 5 && memcmp(p, "From ", 5) == 0) {
    const char* q = p + 5;
    while (q < end && IsBlank(*q)) ++q;
    if (q < end && *q != ':') {
      const char* lf = FindByte(p, end, '\n');
      p = lf == end ? end : lf + 1;
    }
  }
  while (p < end) {
    if (*p == '\n') return static_cast<size_t>(p + 1 - base);
    if (*p == '\r' && end - p >= 2 && p[1] == '\n') return static_cast<size_t>(p + 2 - base);
    const char* q = SkipNameBytes(p, end);
    const char* nameEnd = q;
    while (q < end && IsBlank(*q)) ++q;  // obsolete white space before the colon
    if (nameEnd == p || q == end || *q != ':') return static_cast<size_t>(p - base);
    const char* v = q + 1;
    while (v < end && *v != '\r' && *v != '\n' && SpaceByte(static_cast<unsigned char>(*v))) ++v;
    const char* lf = FindByte(v, end, '\n');
    while (lf != end && end - lf >= 2 && IsBlank(lf[1])) lf = FindByte(lf + 1, end, '\n');
    const char* vEnd = lf;
    if (vEnd > v && vEnd[-1] == '\r') --vEnd;
    add(RawField{p, static_cast<size_t>(nameEnd - p), v, static_cast<size_t>(vEnd - v)});
    p = lf == end ? end : lf + 1;
  }
  return length;
}

}  // namespace

void splitFields(const char* p, size_t length, std::vector<RawField>& fields) {
  fields.clear();
  ScanFields(p, length, true, [&](const RawField& f) { fields.push_back(f); });
}

size_t bodyOffset(const char* bytes, size_t length, bool afterStatusLine) {
  return ScanFields(bytes, length, afterStatusLine, [](const RawField&) {});
}

namespace {

// Appends text as the list keeps it, line breaks left out: ASCII (nearly
// every Content-Type value) widened as it is, anything else through the
// ANSI code page.
template <typename Out>
void WidenAnsiUnfolded(const char* p, size_t length, Out& out) {
  const size_t at = out.size();
  out.resize(at + length);
  wchar_t* w = out.data() + at;
  for (size_t i = 0; i < length; ++i) {
    const auto c = static_cast<unsigned char>(p[i]);
    if (c >= 0x80) {
      out.resize(at);
      for (const wchar_t u : AnsiToUnicode(p, length))
        if (u != L'\r' && u != L'\n') out.push_back(u);
      return;
    }
    if (c != '\r' && c != '\n') *w++ = static_cast<wchar_t>(c);
  }
  out.resize(static_cast<size_t>(w - out.data()));
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

// Few headers have more fields than this: theirs stay on the stack.
constexpr size_t kLocalFields = 64;

}  // namespace

size_t parseFieldList(const char* p, size_t length, HeaderFieldList& fields, bool afterStatusLine) {
  fields.clear();
  RawField local[kLocalFields];
  size_t count = 0;
  bool more = false;
  const size_t body = ScanFields(p, length, afterStatusLine, [&](const RawField& f) {
    if (count < kLocalFields)
      local[count++] = f;
    else
      more = true;
  });
  std::vector<RawField> all;
  const RawField* raw = local;
  if (more) {
    ScanFields(p, length, afterStatusLine, [&](const RawField& f) { all.push_back(f); });
    raw = all.data();
    count = all.size();
  }
  // Content-Type is converted at once: its charset decodes the other values.
  int contentType = -1;
  for (size_t i = 0; i < count && contentType < 0; ++i)
    if (IsContentType(raw[i])) contentType = static_cast<int>(i);
  std::optional<std::wstring> charset;
  GrowBuffer<wchar_t, 256> typeValue;  // most values fit: no allocation
  if (contentType >= 0) {
    const RawField& f = raw[static_cast<size_t>(contentType)];
    // Unfolded (CR LF removed) but not decoded: its parameters are read
    // from it, and a boundary may hold "=?" (the raw value, as a
    // compat32-like reader keeps an undecodable field).
    WidenAnsiUnfolded(f.value, f.valueLength, typeValue);
    typeValue.push_back(L'\0');
    charset = headerParameter(typeValue.data(), L"charset");
    typeValue.resize(typeValue.size() - 1);
  }
  // No value grows in decoding: a byte gives at most one UTF-16 unit.
  size_t units = 0;
  for (size_t i = 0; i < count; ++i) units += raw[i].nameLength + raw[i].valueLength;
  fields.reserve(count, units);
  ValueDecoder decoder(charset ? charset->c_str() : nullptr);
  const char* const blockEnd = p + length;
  for (size_t i = 0; i < count; ++i) {
    const RawField& f = raw[i];
    // Names hold printable ASCII only (the reader stops at any other byte).
    fields.emplace_back([&](WideBuffer& out) {
                          const size_t at = out.size();
                          // A short name is widened in one step when the
                          // block goes on sixteen bytes and the room kept
                          // for this field takes sixteen units.
                          if (f.nameLength <= 16 && blockEnd - f.name >= 16 &&
                              f.nameLength + f.valueLength + 2 >= 16) {
                            out.resize(at + 16);
                            WidenAsciiShort(f.name, f.nameLength, out.data() + at);
                            out.resize(at + f.nameLength);
                            return;
                          }
                          out.resize(at + f.nameLength);
                          WidenAscii(f.name, f.nameLength, out.data() + at);
                        },
                        [&](WideBuffer& out) {
                          if (static_cast<int>(i) == contentType)
                            out += typeValue.view();
                          else
                            decoder.Decode(f.value, f.valueLength, out, blockEnd);
                        });
  }
  return body;
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

std::optional<std::wstring> fieldsCharset(const HeaderFieldList& fields) {
  const int i = findField(fields, L"Content-Type");
  if (i < 0) return std::nullopt;
  return headerParameter(fields[static_cast<size_t>(i)].second.c_str(), L"charset");
}

}  // namespace pw
