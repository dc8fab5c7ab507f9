#include "mime/MailCompose.h"

#include <cstdio>
#include <cwctype>

#include "mime/Charset.h"
#include "mime/HeaderWords.h"

namespace pw {

namespace {

constexpr size_t kFoldColumn = 76;  // RFC 2047 2: lines with encoded words
constexpr size_t kMaxWord = 75;     // RFC 2047 2: one encoded word

std::wstring Lower(std::wstring_view s) {
  std::wstring out(s);
  for (auto& c : out) c = static_cast<wchar_t>(towlower(c));
  return out;
}

bool IsLatin1(const std::wstring& name) {
  return name == L"iso-8859-1" || name == L"latin1" || name == L"iso8859-1" || name == L"iso_8859-1";
}

bool IsUtf8(const std::wstring& name) { return name == L"utf-8" || name == L"utf8"; }

std::string Narrow(const std::wstring& ascii) {
  std::string out;
  out.reserve(ascii.size());
  for (const wchar_t c : ascii) out += static_cast<char>(c < 128 ? c : '?');
  return out;
}

// encodeWord leaves some specials literal that a phrase must not hold
// (RFC 2047 5(3)): they become =XX, which is the same in every
// ASCII-compatible charset.
std::string StrictWord(std::wstring_view text, const std::wstring& charset) {
  static const char kHex[] = "0123456789ABCDEF";
  const std::string word = Narrow(encodeWord(std::wstring(text).c_str(), charset.c_str()));
  const size_t open = word.find("?Q?");
  if (open == std::string::npos || word.size() < open + 5) return word;
  std::string out = word.substr(0, open + 3);
  for (size_t i = open + 3; i + 2 < word.size(); ++i) {
    const auto c = static_cast<unsigned char>(word[i]);
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '!' ||
                      c == '*' || c == '+' || c == '-' || c == '/' || c == '=' || c == '_';
    if (keep) {
      out += static_cast<char>(c);
    } else {
      out += '=';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  out += "?=";
  return out;
}

// Characters of a text without splitting a surrogate pair.
size_t NextChar(std::wstring_view text, size_t i) {
  if (i + 1 < text.size() && text[i] >= 0xD800 && text[i] <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
    return i + 2;
  return i + 1;
}

std::wstring Clean(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (const wchar_t c : text) {
    if (c == L'\r' || c == L'\n') continue;  // never a header line of its own
    out += c == L'\t' ? L' ' : c;
  }
  return out;
}

}  // namespace

std::string FormatMailDate(const SYSTEMTIME& local, int offsetMinutes) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[64];
  snprintf(text, sizeof(text), "%s, %02u %s %04u %02u:%02u:%02u %c%02d%02d", kDays[local.wDayOfWeek % 7],
           local.wDay, kMonths[(local.wMonth + 11) % 12], local.wYear, local.wHour, local.wMinute, local.wSecond,
           offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
  return text;
}

std::string MailDateNow() {
  // One reading of the clock: the local time and the offset belong together.
  FILETIME utcFile;
  GetSystemTimeAsFileTime(&utcFile);
  SYSTEMTIME utc, local;
  FileTimeToSystemTime(&utcFile, &utc);
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) local = utc;
  FILETIME localFile;
  SystemTimeToFileTime(&local, &localFile);
  FileTimeToSystemTime(&localFile, &local);  // fills in the weekday
  const auto ticks = [](const FILETIME& f) {
    return static_cast<long long>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
  };
  const long long difference = ticks(localFile) - ticks(utcFile);
  // Whole minutes, rounded: the two readings differ in milliseconds only.
  const long long minutes = (difference + (difference < 0 ? -300000000LL : 300000000LL)) / 600000000LL;
  return FormatMailDate(local, static_cast<int>(minutes));
}

bool IsPlainAsciiText(std::wstring_view text) {
  for (const wchar_t c : text)
    if (c < 32 || c > 126) return false;
  return true;
}

std::wstring FittingCharset(std::wstring_view text, const wchar_t* charset) {
  std::wstring name = Lower(charset && *charset ? charset : L"iso-8859-1");
  bool ascii = true;
  for (const wchar_t c : text)
    if (c >= 128) ascii = false;
  if (ascii || IsUtf8(name)) return name;
  if (IsLatin1(name)) {
    // 0x80-0x9F are control characters in ISO-8859-1, not Windows-1252's
    // quotes and euro sign.
    for (const wchar_t c : text)
      if (c > 0xFF || (c >= 0x80 && c <= 0x9F)) return L"utf-8";
    return name;
  }
  if (name == L"us-ascii" || name == L"ascii") return L"utf-8";
  if (!MlangCodePage(name.c_str()) && !TableCodePage(name.c_str())) return L"utf-8";
  const std::string bytes = UnicodeToCharset(text.data(), text.size(), name.c_str());
  const std::wstring back = CharsetToUnicode(bytes.data(), bytes.size(), name.c_str());
  return back == text ? name : L"utf-8";
}

std::string ToCharsetBytes(std::wstring_view text, const std::wstring& charset) {
  std::string out;
  if (text.empty()) return out;
  const std::wstring name = Lower(charset);
  if (IsUtf8(name)) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    out.resize(static_cast<size_t>(n > 0 ? n : 0));
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                                   nullptr);
    return out;
  }
  if (IsLatin1(name)) {
    out.reserve(text.size());
    for (const wchar_t c : text) out += static_cast<char>(c <= 0xFF ? c : '?');
    return out;
  }
  return UnicodeToCharset(text.data(), text.size(), name.c_str());
}

std::string HeaderField(const char* name, const std::string& value) {
  std::string out = std::string(name) + ":";
  size_t column = out.size();
  size_t i = 0;
  bool first = true;
  while (i < value.size()) {
    size_t end = value.find(' ', i);
    if (end == std::string::npos) end = value.size();
    const size_t length = end - i;
    if (!first && column + 1 + length > kFoldColumn) {
      out += "\r\n";
      column = 0;
    }
    out += ' ';
    out.append(value, i, length);
    column += 1 + length;
    first = false;
    i = end + 1;
  }
  out += "\r\n";
  return out;
}

std::string EncodedPhrase(std::wstring_view raw, const std::wstring& charset, size_t lead) {
  const std::wstring text = Clean(raw);
  if (IsPlainAsciiText(text) && text.find(L"=?") == std::wstring::npos) {
    bool shortWords = true;
    size_t run = 0;
    for (const wchar_t c : text) {
      run = c == L' ' ? 0 : run + 1;
      if (run > kMaxWord) shortWords = false;
    }
    if (shortWords) return Narrow(text);
  }
  std::string out;
  size_t budget = lead + 1 < kFoldColumn ? kFoldColumn - lead - 1 : kMaxWord;
  if (budget > kMaxWord) budget = kMaxWord;
  size_t start = 0;
  while (start < text.size()) {
    // The longest piece whose word fits: the rest when it does, else a
    // binary search over character boundaries.
    std::wstring_view rest(text.data() + start, text.size() - start);
    std::string word = StrictWord(rest, charset);
    size_t taken = rest.size();
    if (word.size() > budget) {
      size_t good = NextChar(rest, 0);
      std::string goodWord = StrictWord(rest.substr(0, good), charset);
      size_t low = good, high = rest.size();
      while (low < high) {
        size_t mid = low + (high - low + 1) / 2;
        if (mid > 0 && mid < rest.size() && rest[mid] >= 0xDC00 && rest[mid] <= 0xDFFF) --mid;
        if (mid <= low) {
          high = low;
          break;
        }
        std::string candidate = StrictWord(rest.substr(0, mid), charset);
        if (candidate.size() <= budget) {
          low = mid;
          good = mid;
          goodWord = std::move(candidate);
        } else {
          high = mid - 1;
        }
      }
      word = std::move(goodWord);
      taken = good;
    }
    if (!out.empty()) out += ' ';
    out += word;
    start += taken;
    budget = kMaxWord;
  }
  return out;
}

std::string AddressField(std::wstring_view rawName, std::wstring_view address, const std::wstring& charset,
                         size_t lead) {
  std::wstring name;
  for (const wchar_t c : Clean(rawName))
    if (c != L'"' && c != L'<' && c != L'>') name += c;
  while (!name.empty() && name.back() == L' ') name.pop_back();
  while (!name.empty() && name.front() == L' ') name.erase(0, 1);
  const std::string angle = "<" + Narrow(Clean(address)) + ">";
  if (name.empty()) return angle;
  if (IsPlainAsciiText(name)) {
    bool atoms = true;
    for (const wchar_t c : name)
      if (!(iswalnum(c) || c == L' ' || wcschr(L"!#$%&'*+-/=?^_`{|}~", c))) atoms = false;
    if (atoms) return Narrow(name) + " " + angle;
    // A quoted string (RFC 5322 3.2.4) for names with specials.
    std::string quoted = "\"";
    for (const wchar_t c : name) {
      if (c == L'\\') quoted += '\\';
      quoted += static_cast<char>(c);
    }
    return quoted + "\" " + angle;
  }
  // Encoded words stand for themselves, never inside quotes (RFC 2047 5(3)).
  return EncodedPhrase(name, charset, lead) + " " + angle;
}

std::wstring NormalizeLineEnds(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size() + text.size() / 32);
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'\r' || c == L'\n') {
      if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
      out += L"\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string QuotedPrintable(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  size_t column = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      out += "\r\n";
      column = 0;
      ++i;
      continue;
    }
    const bool lineEnd = i + 1 == bytes.size() || bytes[i + 1] == '\r';
    const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !lineEnd);
    const size_t width = literal ? 1 : 3;
    // A soft break keeps each line at 76 with its "=" (RFC 2045 6.7 (5)).
    if (column + width > 75 && !(lineEnd && column + width <= 76)) {
      out += "=\r\n";
      column = 0;
    }
    if (literal) {
      out += static_cast<char>(c);
    } else {
      out += '=';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
    column += width;
  }
  return out;
}

bool Fits7Bit(std::string_view bytes) {
  size_t column = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == 0 || c >= 128) return false;
    if (c == '\r' || c == '\n') {
      column = 0;
      continue;
    }
    if (++column > 76) return false;
  }
  return true;
}

}  // namespace pw
