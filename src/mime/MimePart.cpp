#include "mime/MimePart.h"

#include <string_view>

#include "mime/Charset.h"
#include "mime/HeaderScan.h"
#include "mime/HeaderWords.h"
#include "mime/MimeBody.h"

namespace pw {

namespace {

std::optional<std::wstring> Parameter(const HeaderFieldList& fields, const wchar_t* field, const wchar_t* name) {
  const int i = findField(fields, field);
  if (i < 0) return std::nullopt;
  return headerParameter(fields[static_cast<size_t>(i)].second.c_str(), name);
}

// Counts leaves until the wanted one; `content` is the node's body.
std::optional<std::wstring> Leaf(const HeaderFieldList& fields, const wchar_t* defaultType, const char* content,
                                 size_t length, const MimePartList& parts, int wanted, int& count) {
  const std::wstring type = contentType(fields, defaultType);
  // A multipart that could not be split reads as one leaf; an enclosed
  // message is read through.
  if ((StartsNoCase(type, L"multipart") || StartsNoCase(type, L"message/rfc822")) && !parts.empty()) {
    for (const auto& part : parts)
      if (auto text = Leaf(part->headerFields, part->defaultType, part->content, part->length, part->parts, wanted,
                           count))
        return text;
    return std::nullopt;
  }
  if (count++ != wanted) return std::nullopt;
  if (StartsNoCase(type, L"text")) {
    // A part without Content-Type is us-ascii text by rule, but old mailers
    // send 8-bit text so: without a written charset it is read in the ANSI
    // code page, which keeps every ASCII byte.
    const std::optional<std::wstring> charset = fieldsCharset(fields);
    const int enc = findField(fields, L"Content-Transfer-Encoding");
    return decodeBody(content, length, charset ? charset->c_str() : nullptr,
                      enc < 0 ? nullptr : fields[static_cast<size_t>(enc)].second.c_str(),
                      StartsNoCase(type, L"text/html"));
  }
  return AnsiToUnicode(content, length);
}

// The first word of a Content-Disposition value.
bool IsAttachmentDisposition(const HeaderFieldList& fields) {
  const int i = findField(fields, L"Content-Disposition");
  if (i < 0) return false;
  std::wstring_view v = fields[static_cast<size_t>(i)].second;
  while (!v.empty() && (v.front() == L' ' || v.front() == L'\t')) v.remove_prefix(1);
  return StartsNoCase(v, L"attachment") &&
         (v.size() == 10 || v[10] == L';' || v[10] == L' ' || v[10] == L'\t');
}

void Names(const HeaderFieldList& fields, const wchar_t* defaultType, const std::shared_ptr<MimePart>& self,
           const MimePartList& parts, std::vector<AttachmentName>& list) {
  const std::wstring type = contentType(fields, defaultType);
  if (!StartsNoCase(type, L"multipart")) {
    std::optional<std::wstring> name = Parameter(fields, L"Content-Disposition", L"filename");
    if (!name) {
      // Content-Type is kept undecoded: an encoded word in its name (as
      // common mailers send it) is decoded here.
      name = headerParameter(type.c_str(), L"name");
      if (name && name->find(L"=?") != std::wstring::npos) {
        const std::string bytes = UnicodeToAnsi(name->data(), name->size());
        name = decodeValue(bytes.data(), bytes.size(), nullptr);
      }
    }
    const bool message = StartsNoCase(type, L"message/rfc822");
    if (!name && message) {
      const wchar_t* subject = parts.empty() ? nullptr : nextFieldValue(parts.front()->headerFields, L"Subject");
      name = subject && *subject ? subject : L"message.eml";
    }
    if (name && !name->empty() && (message || IsAttachmentDisposition(fields) || !StartsNoCase(type, L"text")))
      list.push_back({std::move(*name), self});
  }
  for (const auto& part : parts) Names(part->headerFields, part->defaultType, part, part->parts, list);
}

}  // namespace

std::optional<std::wstring> leafText(const HeaderFieldList& fields, const char* text, size_t length,
                                     const MimePartList& parts, int index) {
  if (!text || index < 0) return std::nullopt;
  const size_t start = bodyOffset(text, length);
  int count = 0;
  return Leaf(fields, kDefaultType, text + start, length - start, parts, index, count);
}

void attachmentNames(const HeaderFieldList& fields, const MimePartList& parts, std::vector<AttachmentName>& list) {
  Names(fields, kDefaultType, nullptr, parts, list);
}

}  // namespace pw
