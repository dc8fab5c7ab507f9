// Splitting a body into MIME parts (RFC 2046 5.1.1).
#include <string_view>

#include "mime/Charset.h"
#include "mime/HeaderScan.h"
#include "mime/MimePart.h"

namespace pw {

namespace {

struct Delimiter {
  size_t start;  // the "--" at a line start
  size_t next;   // just after the line's line break (or the end)
  bool closing;
  bool ended;    // the line has a line break
};

// The next delimiter line at or after `from`: "--" boundary at the start of
// a line, followed by "--" (closing) or not, then only white space
// (transport padding) up to the line break.
bool NextDelimiter(std::string_view all, std::string_view delimiter, size_t from, Delimiter& d) {
  for (size_t pos = from;;) {
    const size_t at = all.find(delimiter, pos);
    if (at == std::string_view::npos) return false;
    pos = at + 1;
    if (at != 0 && all[at - 1] != '\n') continue;
    size_t k = at + delimiter.size();
    const bool closing = all.size() - k >= 2 && all[k] == '-' && all[k + 1] == '-';
    if (closing) k += 2;
    while (k < all.size() && (all[k] == ' ' || all[k] == '\t')) ++k;
    if (k < all.size() && all[k] == '\r') ++k;
    if (k < all.size() && all[k] != '\n') continue;
    d.start = at;
    d.closing = closing;
    d.ended = k < all.size();
    d.next = d.ended ? k + 1 : all.size();
    return true;
  }
}

bool Encoded(const HeaderFieldList& fields) {
  const int i = findField(fields, L"Content-Transfer-Encoding");
  if (i < 0) return false;
  const std::wstring_view e = fields[static_cast<size_t>(i)].second;
  return StartsNoCase(e, L"base64") || StartsNoCase(e, L"quoted-printable");
}

}  // namespace

std::wstring contentType(const HeaderFieldList& fields, const wchar_t* defaultType) {
  const int i = findField(fields, L"Content-Type");
  if (i < 0) return defaultType ? defaultType : kDefaultType;
  return fields[static_cast<size_t>(i)].second;
}

void splitParts(const HeaderFieldList& fields, const char* text, size_t length, MimePartList& parts, int depth,
                const wchar_t* defaultType) {
  parts.clear();
  if (!text || depth >= kMaxMimeDepth) return;
  const std::wstring type = contentType(fields, defaultType);
  if (StartsNoCase(type, L"message/rfc822")) {
    // The enclosed message is read unless it was (wrongly) transfer-encoded.
    if (Encoded(fields)) return;
    auto inner = std::make_shared<MimePart>();
    const size_t body = parseFieldList(text, length, inner->headerFields, false);
    inner->content = text + body;
    inner->length = length - body;
    splitParts(inner->headerFields, inner->content, inner->length, inner->parts, depth + 1);
    parts.push_back(std::move(inner));
    return;
  }
  if (!StartsNoCase(type, L"multipart")) return;
  const std::optional<std::wstring> boundary = headerParameter(type.c_str(), L"boundary");
  if (!boundary || boundary->empty()) return;
  const wchar_t* childType = StartsNoCase(type, L"multipart/digest") ? kDigestDefaultType : kDefaultType;
  const std::string delimiter = "--" + UnicodeToAnsi(boundary->data(), boundary->size());
  const std::string_view all(text, length);
  // The preamble before the first delimiter and the epilogue after the
  // closing one are no parts.
  Delimiter d;
  if (!NextDelimiter(all, delimiter, 0, d)) return;
  while (!d.closing && d.ended) {
    const size_t start = d.next;
    Delimiter n;
    const bool more = NextDelimiter(all, delimiter, start, n);
    // The line break before a delimiter belongs to the delimiter; without
    // a closing delimiter the last part runs to the end of the text, whose
    // last line break stands for the missing delimiter's.
    size_t end = more ? n.start : all.size();
    if (end > start && all[end - 1] == '\n') --end;
    if (end > start && all[end - 1] == '\r') --end;
    auto part = std::make_shared<MimePart>();
    part->defaultType = childType;
    // A part may have no header at all: its content then starts with the
    // blank line.
    const size_t body = parseFieldList(text + start, end - start, part->headerFields, false);
    part->content = text + start + body;
    part->length = end - start - body;
    splitParts(part->headerFields, part->content, part->length, part->parts, depth + 1, childType);
    parts.push_back(std::move(part));
    if (!more) return;
    d = n;
  }
}

}  // namespace pw
