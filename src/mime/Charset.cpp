#include "mime/Charset.h"

#include <mlang.h>
#include <oleauto.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <map>
#include <string_view>
#include <cwctype>

#include "base/Scoped.h"
#include "mime/HeaderScan.h"

namespace pw {

namespace {

// CMultiLanguage and IMultiLanguage, spelled out so that no import library
// is needed for their GUIDs.
const CLSID kClsidMultiLanguage = {0x275C23E2, 0x3747, 0x11D0, {0x9F, 0xEA, 0x00, 0xAA, 0x00, 0x3F, 0x86, 0x46}};
const IID kIidMultiLanguage = {0x275C23E1, 0x3747, 0x11D0, {0x9F, 0xEA, 0x00, 0xAA, 0x00, 0x3F, 0x86, 0x46}};

bool CreateService(ComPtr<IMultiLanguage>& ml) {
  return SUCCEEDED(CoCreateInstance(kClsidMultiLanguage, nullptr, CLSCTX_INPROC_SERVER, kIidMultiLanguage,
                                    ml.OutVoid())) &&
         ml;
}

UINT LookUp(IMultiLanguage* ml, const wchar_t* charset) {
  BSTR name = SysAllocString(charset);
  if (!name) return 0;
  MIMECSETINFO info = {};
  const HRESULT hr = ml->GetCharsetInfo(name, &info);
  SysFreeString(name);
  return SUCCEEDED(hr) ? info.uiInternetEncoding : 0;
}

struct NamedCodePage {
  const wchar_t* name;
  UINT codePage;
};

// Names real mail uses that the service may not know, with code pages that
// MultiByteToWideChar converts on every Windows version.
const NamedCodePage kTable[] = {
    {L"utf-8", 65001},        {L"utf8", 65001},           {L"utf-7", 65000},       {L"us-ascii", 20127},
    {L"ascii", 20127},        {L"iso-8859-1", 28591},     {L"latin1", 28591},      {L"iso8859-1", 28591},
    {L"iso-8859-2", 28592},   {L"latin2", 28592},         {L"iso-8859-3", 28593},  {L"iso-8859-4", 28594},
    {L"iso-8859-5", 28595},   {L"iso-8859-6", 28596},     {L"iso-8859-7", 28597},  {L"iso-8859-8", 28598},
    {L"iso-8859-9", 28599},   {L"iso-8859-13", 28603},    {L"iso-8859-15", 28605}, {L"latin9", 28605},
    {L"windows-1250", 1250},  {L"windows-1251", 1251},    {L"windows-1252", 1252}, {L"windows-1253", 1253},
    {L"windows-1254", 1254},  {L"windows-1255", 1255},    {L"windows-1256", 1256}, {L"windows-1257", 1257},
    {L"windows-1258", 1258},  {L"cp1250", 1250},          {L"cp1251", 1251},       {L"cp1252", 1252},
    {L"cp1253", 1253},        {L"cp1254", 1254},          {L"cp1255", 1255},       {L"cp1256", 1256},
    {L"cp1257", 1257},        {L"cp1258", 1258},          {L"windows-874", 874},   {L"tis-620", 874},
    {L"koi8-r", 20866},       {L"koi8-u", 21866},         {L"iso-2022-jp", 50220}, {L"shift_jis", 932},
    {L"sjis", 932},           {L"x-sjis", 932},           {L"cp932", 932},         {L"euc-jp", 20932},
    {L"gb2312", 936},         {L"gbk", 936},              {L"cp936", 936},         {L"gb18030", 54936},
    {L"big5", 950},           {L"euc-kr", 949},           {L"ks_c_5601-1987", 949}, {L"cp949", 949},
};

// Appends the conversion to `out`; on failure `out` is left as it was.
template <typename Out>
bool TableAppendUnicode(UINT codePage, const char* bytes, size_t length, Out& out) {
  if (length > INT_MAX) return false;
  if (length == 0) return true;
  const size_t at = out.size();
  // One unit per byte is room enough for every code page in practice; ask
  // for the size only when it is not.
  out.resize(at + length);
  int n = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(length), out.data() + at, static_cast<int>(length));
  if (n <= 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    n = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(length), nullptr, 0);
    if (n > 0) {
      out.resize(at + static_cast<size_t>(n));
      if (MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(length), out.data() + at, n) != n) n = 0;
    }
  }
  if (n <= 0) {
    out.resize(at);
    return false;
  }
  out.resize(at + static_cast<size_t>(n));
  return true;
}

bool TableFromUnicode(UINT codePage, const wchar_t* text, size_t length, std::string& out) {
  if (length > INT_MAX) return false;
  if (length == 0) {
    out.clear();
    return true;
  }
  const int n = WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  out.resize(static_cast<size_t>(n));
  return WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), out.data(), n, nullptr, nullptr) == n;
}

bool Named(const wchar_t* charset) { return charset && *charset && wcslen(charset) <= kMaxCharsetName; }

// The route of each name asked so far: creating the service is far slower
// than any conversion, so each name is looked up once a process. Keys are
// lower case.
class RouteCache {
 public:
  bool Find(std::wstring_view key, CharsetRoute& route) {
    AcquireSRWLockShared(&lock_);
    const auto it = known_.find(key);
    const bool found = it != known_.end();
    if (found) route = it->second;
    ReleaseSRWLockShared(&lock_);
    return found;
  }
  void Add(std::wstring_view key, const CharsetRoute& route) {
    AcquireSRWLockExclusive(&lock_);
    if (known_.size() < kMaxNames) known_.emplace(key, route);  // hostile mail cannot grow it without end
    ReleaseSRWLockExclusive(&lock_);
  }

 private:
  static constexpr size_t kMaxNames = 512;
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::map<std::wstring, CharsetRoute, std::less<>> known_;
};

RouteCache& Cache() {
  static RouteCache cache;
  return cache;
}

// Routes by the exact bytes of a name, as mail spells them: filled once,
// never changed, and read without a lock. Entries are published by the
// count, so a reader sees only whole entries.
class SpelledRoutes {
 public:
  bool Find(const char* name, size_t length, CharsetRoute& route) const {
    const size_t n = count_.load(std::memory_order_acquire);
    for (size_t i = 0; i < n; ++i) {
      const Entry& e = entries_[i];
      if (e.length == length && memcmp(e.name, name, length) == 0) {
        route = e.route;
        return true;
      }
    }
    return false;
  }
  void Add(const char* name, size_t length, const CharsetRoute& route) {
    AcquireSRWLockExclusive(&lock_);
    CharsetRoute known;
    const size_t n = count_.load(std::memory_order_relaxed);
    if (n < kEntries && !Find(name, length, known)) {
      Entry& e = entries_[n];
      memcpy(e.name, name, length);
      e.length = length;
      e.route = route;
      count_.store(n + 1, std::memory_order_release);
    }
    ReleaseSRWLockExclusive(&lock_);
  }

 private:
  static constexpr size_t kEntries = 64;  // beyond that, names go the slower way
  struct Entry {
    char name[kMaxCharsetName];
    size_t length;
    CharsetRoute route;
  };
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::atomic<size_t> count_{0};
  Entry entries_[kEntries];
};

SpelledRoutes& Spellings() {
  static SpelledRoutes spellings;
  return spellings;
}

// Code pages whose bytes each stand for one character by themselves, so a
// table of 256 read from the system converts them as the system does.
bool OneByteCodePage(UINT cp) {
  switch (cp) {
    case 1250: case 1251: case 1252: case 1253: case 1254: case 1256: case 1257: case 874:
    case 20127: case 20866: case 21866: case 28591: case 28592: case 28593: case 28594: case 28595:
    case 28596: case 28597: case 28598: case 28599: case 28603: case 28605:
      return true;
    default:
      return false;
  }
}

// The tables read so far; they stay for the life of the process.
class ByteTables {
 public:
  const wchar_t* For(UINT cp) {
    if (!OneByteCodePage(cp)) return nullptr;
    AcquireSRWLockExclusive(&lock_);
    const wchar_t* found = nullptr;
    size_t i = 0;
    for (; i < count_ && !found; ++i)
      if (tables_[i].cp == cp) found = tables_[i].map;
    if (!found && count_ < kTables && Read(cp, tables_[count_].map)) {
      tables_[count_].cp = cp;
      found = tables_[count_++].map;
    }
    ReleaseSRWLockExclusive(&lock_);
    return found;
  }

 private:
  static constexpr size_t kTables = 24;
  struct Table {
    UINT cp;
    wchar_t map[256];
  };
  static bool Read(UINT cp, wchar_t (&map)[256]) {
    CPINFO info;
    if (!GetCPInfo(cp, &info) || info.MaxCharSize != 1) return false;
    for (int b = 0; b < 256; ++b) {
      const char c = static_cast<char>(b);
      if (MultiByteToWideChar(cp, 0, &c, 1, &map[b], 1) != 1) return false;
    }
    return true;
  }
  SRWLOCK lock_ = SRWLOCK_INIT;
  Table tables_[kTables];
  size_t count_ = 0;
};

ByteTables& Tables() {
  static ByteTables tables;
  return tables;
}

// Well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF)
// converted here: every system version reads it the same way. Anything else
// is left to the system, whose handling of broken sequences varies.
template <typename Out>
bool AppendWellFormedUtf8(const char* bytes, size_t length, Out& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  const auto* const end = p + length;
  const size_t at = out.size();
  out.resize(at + length);
  wchar_t* w = out.data() + at;
  auto tail = [](unsigned char c) { return (c & 0xC0) == 0x80; };
  while (p < end) {
    const unsigned char c = *p;
    if (c < 0x80) {
      *w++ = c;
      ++p;
    } else if (c >= 0xC2 && c <= 0xDF && end - p >= 2 && tail(p[1])) {
      *w++ = static_cast<wchar_t>((c & 0x1F) << 6 | (p[1] & 0x3F));
      p += 2;
    } else if (c >= 0xE0 && c <= 0xEF && end - p >= 3 && tail(p[1]) && tail(p[2]) && (c != 0xE0 || p[1] >= 0xA0) &&
               (c != 0xED || p[1] < 0xA0)) {
      *w++ = static_cast<wchar_t>((c & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F));
      p += 3;
    } else if (c >= 0xF0 && c <= 0xF4 && end - p >= 4 && tail(p[1]) && tail(p[2]) && tail(p[3]) &&
               (c != 0xF0 || p[1] >= 0x90) && (c != 0xF4 || p[1] < 0x90)) {
      const unsigned v = ((c & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu)) - 0x10000;
      *w++ = static_cast<wchar_t>(0xD800 | v >> 10);
      *w++ = static_cast<wchar_t>(0xDC00 | (v & 0x3FF));
      p += 4;
    } else {
      out.resize(at);
      return false;
    }
  }
  out.resize(static_cast<size_t>(w - out.data()));
  return true;
}

bool AsciiCompatible(UINT cp) {
  if ((cp >= 1250 && cp <= 1258) || (cp >= 28591 && cp <= 28605) || (cp >= 50220 && cp <= 50222)) return true;
  switch (cp) {
    case 65001: case 65000: case 20127: case 20866: case 21866: case 874: case 932: case 936: case 949:
    case 950: case 20932: case 51932: case 51949: case 54936: case 52936:
      return true;
    default:
      return false;
  }
}

template <typename Out>
void AppendWidened(const char* bytes, size_t length, Out& out) {
  const size_t at = out.size();
  out.resize(at + length);
  WidenAscii(bytes, length, out.data() + at);
}

template <typename Out>
bool AnsiAppendUnicode(const char* bytes, size_t length, Out& out) {
  // Every ANSI code page keeps the ASCII range as it is.
  if (IsPlainAscii(bytes, length)) {
    AppendWidened(bytes, length, out);
    return true;
  }
  return TableAppendUnicode(CP_ACP, bytes, length, out);
}

}  // namespace

UINT MlangCodePage(const wchar_t* charset) {
  if (!Named(charset)) return 0;
  ComPtr<IMultiLanguage> ml;
  if (!CreateService(ml)) return 0;
  return LookUp(ml.Get(), charset);
}

bool MlangToUnicode(UINT codePage, const char* bytes, size_t length, std::wstring& out) {
  if (length >= INT_MAX / 2) return false;
  ComPtr<IMultiLanguage> ml;
  if (!CreateService(ml)) return false;
  DWORD mode = 0;
  UINT srcSize = static_cast<UINT>(length);
  UINT dstSize = static_cast<UINT>(length * 2 + 1);
  std::wstring buffer(dstSize, L'\0');
  const HRESULT hr = ml->ConvertStringToUnicode(&mode, codePage, const_cast<CHAR*>(bytes), &srcSize,
                                                buffer.data(), &dstSize);
  if (hr != S_OK || dstSize > buffer.size()) return false;
  buffer.resize(dstSize);
  out = std::move(buffer);
  return true;
}

bool MlangFromUnicode(UINT codePage, const wchar_t* text, size_t length, std::string& out) {
  if (length >= INT_MAX / 4) return false;
  ComPtr<IMultiLanguage> ml;
  if (!CreateService(ml)) return false;
  DWORD mode = 0;
  UINT srcSize = static_cast<UINT>(length);
  // Room for the longest sequences: four bytes a unit, plus escapes.
  UINT dstSize = static_cast<UINT>(length * 4 + 16);
  std::string buffer(dstSize, '\0');
  const HRESULT hr = ml->ConvertStringFromUnicode(&mode, codePage, const_cast<WCHAR*>(text), &srcSize,
                                                  buffer.data(), &dstSize);
  if (hr != S_OK || dstSize > buffer.size()) return false;
  buffer.resize(dstSize);
  out = std::move(buffer);
  return true;
}

UINT TableCodePage(const wchar_t* charset) {
  if (!Named(charset)) return 0;
  for (const auto& entry : kTable)
    if (_wcsicmp(entry.name, charset) == 0) return entry.codePage;
  return 0;
}

bool IsPlainAscii(const char* bytes, size_t length) { return PlainAsciiBytes(bytes, length); }

std::wstring AnsiToUnicode(const char* bytes, size_t length) {
  std::wstring out;
  if (!AnsiAppendUnicode(bytes, length, out)) out.clear();
  return out;
}

std::string UnicodeToAnsi(const wchar_t* text, size_t length) {
  std::string out;
  if (!TableFromUnicode(CP_ACP, text, length, out)) out.clear();
  return out;
}

namespace {

// `settled` tells whether the answer is final (the service could be asked).
CharsetRoute Resolve(const wchar_t* charset, bool& settled) {
  CharsetRoute route;
  settled = true;
  if (!Named(charset)) return route;
  route.named = true;
  wchar_t key[kMaxCharsetName + 1];
  size_t n = 0;
  for (; charset[n]; ++n) key[n] = LowerChar(charset[n]);
  const std::wstring_view name(key, n);
  if (Cache().Find(name, route)) return route;
  // A service that cannot be created (COM not initialised on this thread)
  // is no answer and is not remembered; an unknown name is.
  ComPtr<IMultiLanguage> ml;
  const bool service = CreateService(ml);
  if (service) route.service = LookUp(ml.Get(), charset);
  route.systemConverts = route.service && IsValidCodePage(route.service);
  if (route.systemConverts) route.singleByte = Tables().For(route.service);
  route.table = TableCodePage(charset);
  settled = service;
  if (service) Cache().Add(name, route);
  return route;
}

}  // namespace

CharsetRoute ResolveCharset(const wchar_t* charset) {
  bool settled;
  return Resolve(charset, settled);
}

CharsetRoute ResolveCharsetName(const char* name, size_t length) {
  CharsetRoute route;
  if (length > kMaxCharsetName) return route;  // too long to be a name: the ANSI code page
  if (Spellings().Find(name, length, route)) return route;
  wchar_t wide[kMaxCharsetName + 1];
  for (size_t i = 0; i < length; ++i) wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(name[i]));
  wide[length] = 0;
  bool settled;
  route = Resolve(wide, settled);
  if (settled) Spellings().Add(name, length, route);
  return route;
}

bool KeepsAscii(const CharsetRoute& route) {
  return !route.named || (route.service ? AsciiCompatible(route.service) : !route.table);
}

namespace {

template <typename Out>
void AppendConverted(const CharsetRoute& route, const char* bytes, size_t length, Out& out) {
  if (length == 0) return;
  if (route.named) {
    if (const UINT cp = route.service) {
      // Both short cuts read plain ASCII as itself, as the system does.
      if (const wchar_t* map = route.singleByte) {
        const size_t at = out.size();
        out.resize(at + length);
        wchar_t* w = out.data() + at;
        for (size_t i = 0; i < length; ++i) w[i] = map[static_cast<unsigned char>(bytes[i])];
        return;
      }
      if (cp == CP_UTF8 && route.systemConverts && AppendWellFormedUtf8(bytes, length, out)) return;
      if (AsciiCompatible(cp) && IsPlainAscii(bytes, length)) return AppendWidened(bytes, length, out);
      // The system converts most code pages itself; the service does the rest.
      if (route.systemConverts && TableAppendUnicode(cp, bytes, length, out)) return;
      std::wstring converted;
      if (MlangToUnicode(cp, bytes, length, converted)) {
        out += converted;
        return;
      }
    }
    if (route.table && TableAppendUnicode(route.table, bytes, length, out)) return;
  }
  AnsiAppendUnicode(bytes, length, out);
}

}  // namespace

void AppendToUnicode(const CharsetRoute& route, const char* bytes, size_t length, std::wstring& out) {
  AppendConverted(route, bytes, length, out);
}

void AppendToUnicode(const CharsetRoute& route, const char* bytes, size_t length, WideBuffer& out) {
  AppendConverted(route, bytes, length, out);
}

std::wstring CharsetToUnicode(const char* bytes, size_t length, const wchar_t* charset) {
  std::wstring out;
  if (length == 0) return out;
  AppendToUnicode(ResolveCharset(charset), bytes, length, out);
  return out;
}

std::string UnicodeToCharset(const wchar_t* text, size_t length, const wchar_t* charset) {
  if (length == 0) return {};
  const CharsetRoute route = ResolveCharset(charset);
  if (route.named) {
    std::string out;
    if (const UINT cp = route.service) {
      if (route.systemConverts && TableFromUnicode(cp, text, length, out)) return out;
      if (MlangFromUnicode(cp, text, length, out)) return out;
    }
    if (route.table && TableFromUnicode(route.table, text, length, out)) return out;
  }
  return UnicodeToAnsi(text, length);
}

}  // namespace pw
