#include "mime/MimePart.h"

#include <string_view>

#include "mime/Charset.h"
#include "mime/MimeBody.h"

namespace pw {

namespace {

bool StartsWithNoCase(const std::wstring& value, const wchar_t* prefix) {
  const size_t n = wcslen(prefix);
  return value.size() >= n && _wcsnicmp(value.c_str(), prefix, n) == 0;
}

std::wstring FieldOr(const HeaderFieldList& fields, const wchar_t* name) {
  const int i = findField(fields, name);
  return i < 0 ? std::wstring() : fields[static_cast<size_t>(i)].second;
}

// Counts leaves until the wanted one; `content` is what the node holds.
std::optional<std::wstring> Leaf(const HeaderFieldList& fields, const char* content, size_t length,
                                 const MimePartList& parts, int wanted, int& count) {
  const std::wstring type = FieldOr(fields, L"Content-Type");
  // A multipart that could not be split reads as one leaf.
  if (StartsWithNoCase(type, L"multipart") && !parts.empty()) {
    for (const auto& part : parts)
      if (auto text = Leaf(part->headerFields, part->content, part->length, part->parts, wanted, count)) return text;
    return std::nullopt;
  }
  if (count++ != wanted) return std::nullopt;
  if (StartsWithNoCase(type, L"text")) {
    const std::optional<std::wstring> charset = fieldsCharset(fields);
    const int enc = findField(fields, L"Content-Transfer-Encoding");
    return decodeBody(content, length, charset ? charset->c_str() : nullptr,
                      enc < 0 ? nullptr : fields[static_cast<size_t>(enc)].second.c_str(),
                      StartsWithNoCase(type, L"text/html"));
  }
  return AnsiToUnicode(content, length);
}

void Names(const HeaderFieldList& fields, const std::shared_ptr<MimePart>& self, const MimePartList& parts,
           std::vector<AttachmentName>& list) {
  const int i = findField(fields, L"Content-Disposition");
  if (i >= 0)
    if (auto name = headerParameter(fields[static_cast<size_t>(i)].second.c_str(), L"filename"))
      list.push_back({std::move(*name), self});
  for (const auto& part : parts) Names(part->headerFields, part, part->parts, list);
}

}  // namespace

void splitParts(const HeaderFieldList& fields, const char* text, size_t length, MimePartList& parts, int depth) {
  parts.clear();
  if (!text || depth >= kMaxMimeDepth) return;
  const std::wstring type = FieldOr(fields, L"Content-Type");
  if (!StartsWithNoCase(type, L"multipart")) return;
  const std::optional<std::wstring> boundary = headerParameter(type.c_str(), L"boundary");
  if (!boundary) return;
  const std::string delimiter = "--" + UnicodeToAnsi(boundary->data(), boundary->size());
  const std::string_view all(text, length);
  size_t pos = 0;
  for (;;) {
    const size_t d = all.find(delimiter, pos);
    if (d == std::string_view::npos) return;
    const size_t after = d + delimiter.size();
    if (all.size() - after < 2 || all.compare(after, 2, "--") == 0 || all.compare(after, 2, "\r\n") != 0) return;
    const size_t start = after + 2;
    const size_t blank = all.find("\r\n\r\n", start);
    if (blank == std::string_view::npos) {
      pos = start;
      continue;
    }
    auto part = std::make_shared<MimePart>();
    parseFieldList(text + start, blank + 2 - start, part->headerFields);
    const size_t contentStart = blank + 4;
    size_t next = all.find(delimiter, contentStart);
    if (next == std::string_view::npos) next = all.size();
    part->content = text + contentStart;
    part->length = next - contentStart;
    splitParts(part->headerFields, part->content, part->length, part->parts, depth + 1);
    parts.push_back(std::move(part));
    pos = start;
  }
}

std::optional<std::wstring> leafText(const HeaderFieldList& fields, const char* text, size_t length,
                                     const MimePartList& parts, int index) {
  if (!text || index < 0) return std::nullopt;
  const std::string_view all(text, length);
  const size_t blank = all.find("\r\n\r\n");
  const size_t start = blank == std::string_view::npos ? all.size() : blank + 4;
  int count = 0;
  return Leaf(fields, text + start, all.size() - start, parts, index, count);
}

void attachmentNames(const HeaderFieldList& fields, const MimePartList& parts, std::vector<AttachmentName>& list) {
  Names(fields, nullptr, parts, list);
}

}  // namespace pw
