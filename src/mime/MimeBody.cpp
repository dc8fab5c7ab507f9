#include "mime/MimeBody.h"

#include <windows.h>

#include <cstring>

#include "mime/Charset.h"
#include "mime/HeaderScan.h"
#include "mime/HeaderWords.h"

namespace pw {

namespace {

void ReplaceAll(std::string& s, const char* from, const char* to) {
  const size_t n = strlen(from), m = strlen(to);
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + m)) s.replace(at, n, to);
}

bool EqualsNoCase(const std::string& a, const char* b) { return _stricmp(a.c_str(), b) == 0; }

struct TagReplacement {
  const char* tag;
  const char* text;
};

const TagReplacement kTags[] = {
    {"<title>", "TITLE: "}, {"</title>", "\r\n"}, {"<p>", "\r\n"},      {"</p>", "\r\n"},     {"<div>", "\r\n"},
    {"</div>", "\r\n"},     {"<br>", "\r\n"},     {"<br />", "\r\n"},   {"<br/>", "\r\n"},    {"</li>", "\r\n"},
    {"<body>", "\r\n"},     {"</body>", "\r\n"},  {"<table>", "\r\n"},  {"</table>", "\r\n"}, {"<tr>", "\r\n"},
    {"</tr>", "\r\n"},      {"</td>", "\r\n"},    {"<hr>", "\r\n"},     {"<li>", "* "},
};

const TagReplacement kEntities[] = {
    {"&nbsp;", " "}, {"&gt;", ">"}, {"&lt;", "<"}, {"&quot;", ""}, {"&laquo;", ""}, {"&raquo;", ""}, {"&amp;", "&"},
};

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

}  // namespace

std::string decodeQuotedPrintable(const char* p, size_t length) {
  std::string out;
  out.reserve(length);
  const char* const end = p + length;
  while (p < end) {
    if (*p == '=' && end - p >= 3 && p[1] == '\r' && p[2] == '\n') {
      p += 3;
    } else if (*p == '=' && end - p >= 3 && HexValue(p[1]) >= 0 && HexValue(p[2]) >= 0) {
      out += static_cast<char>(HexValue(p[1]) * 16 + HexValue(p[2]));
      p += 3;
    } else {
      out += *p++;
    }
  }
  return out;
}

std::string htmlToText(std::string s) {
  // 1. Line breaks and tabs become blanks.
  ReplaceAll(s, "\r\n", " ");
  for (char& c : s)
    if (c == '\t') c = ' ';
  // 2. Style and script blocks, tags written exactly.
  for (const char* name : {"style", "script"}) {
    const std::string open = std::string("<") + name + ">", close = std::string("</") + name + ">";
    for (;;) {
      const size_t a = s.find(open);
      if (a == std::string::npos) break;
      const size_t b = s.find(close, a + open.size());
      if (b == std::string::npos) break;
      s.erase(a, b + close.size() - a);
    }
  }
  // 3. Runs of blanks to one.
  {
    std::string t;
    t.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i)
      if (!(s[i] == ' ' && i + 1 < s.size() && s[i + 1] == ' ')) t += s[i];
    s.swap(t);
  }
  // 4. Tags removed, the known ones replaced.
  {
    std::string t;
    t.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
      const size_t lt = s.find('<', i);
      if (lt == std::string::npos) {
        t.append(s, i, std::string::npos);
        break;
      }
      t.append(s, i, lt - i);
      const size_t gt = s.find('>', lt);
      if (gt == std::string::npos) break;
      const std::string tag = s.substr(lt, gt + 1 - lt);
      for (const auto& r : kTags)
        if (EqualsNoCase(tag, r.tag)) {
          t += r.text;
          break;
        }
      i = gt + 1;
    }
    s.swap(t);
  }
  // 5. White space runs and entities.
  {
    std::string t;
    t.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
      if (IsWhite(s[i])) {
        size_t j = i;
        while (j < s.size() && IsWhite(s[j])) ++j;
        if (j - i >= 2) {
          const bool lineStart = t.empty() || (t.size() >= 2 && t.compare(t.size() - 2, 2, "\r\n") == 0);
          if (!lineStart) t += ' ';
        } else {
          t += s[i];
        }
        i = j;
      } else if (s[i] == '&') {
        bool replaced = false;
        for (const auto& e : kEntities)
          if (s.compare(i, strlen(e.tag), e.tag) == 0) {
            t += e.text;
            i += strlen(e.tag);
            replaced = true;
            break;
          }
        if (!replaced) t += s[i++];
      } else {
        t += s[i++];
      }
    }
    s.swap(t);
  }
  // 6. Blanks at the start of a line.
  {
    std::string t;
    t.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] == ' ' && t.size() >= 2 && t.compare(t.size() - 2, 2, "\r\n") == 0) continue;
      t += s[i];
    }
    s.swap(t);
  }
  return s;
}

std::wstring decodeBody(const char* bytes, size_t length, const wchar_t* charset, const wchar_t* encoding,
                        bool isHtml) {
  if (!bytes) return {};
  std::string text;
  if (encoding && _wcsicmp(encoding, L"base64") == 0) {
    text = decodeBase64(bytes, length);
    if (text.empty()) text.assign(bytes, length);
  } else if (encoding && _wcsicmp(encoding, L"quoted-printable") == 0) {
    text = decodeQuotedPrintable(bytes, length);
  } else {
    text.assign(bytes, length);
  }
  if (isHtml) text = htmlToText(std::move(text));
  return CharsetToUnicode(text.data(), text.size(), charset && *charset ? charset : nullptr);
}

}  // namespace pw
