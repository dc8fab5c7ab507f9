// MIME parts of a whole message: each part's own header fields and its
// content, borrowed from the message's whole text (a part never outlives
// that text), with nested multiparts as sub-parts.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mime/HeaderFields.h"

namespace pw {

// The type of a part without Content-Type (RFC 2046 5.1): text/plain with
// charset us-ascii, or message/rfc822 inside a multipart/digest.
inline constexpr const wchar_t* kDefaultType = L"text/plain; charset=us-ascii";
inline constexpr const wchar_t* kDigestDefaultType = L"message/rfc822";

class MimePart {
 public:
  HeaderFieldList headerFields;
  const char* content = nullptr;  // the body after the part's header, borrowed from the message's whole text
  size_t length = 0;
  // Sub-parts: the parts of a multipart, or the one enclosed message of a
  // message/rfc822 part (its header as fields, its body as content).
  std::vector<std::shared_ptr<MimePart>> parts;
  const wchar_t* defaultType = kDefaultType;
};

using MimePartList = std::vector<std::shared_ptr<MimePart>>;

// Multiparts nested deeper than this are not split further.
inline constexpr int kMaxMimeDepth = 24;

// Splits the body `text` into `parts` when `fields` name a multipart with a
// boundary (RFC 2046 5.1.1), or a message/rfc822 (one part: the enclosed
// message). `defaultType` is the type when `fields` have no Content-Type.
void splitParts(const HeaderFieldList& fields, const char* text, size_t length, MimePartList& parts, int depth = 0,
                const wchar_t* defaultType = kDefaultType);
// The Content-Type value of `fields`, or `defaultType`.
std::wstring contentType(const HeaderFieldList& fields, const wchar_t* defaultType = kDefaultType);

struct AttachmentName {
  std::wstring name;
  std::shared_ptr<MimePart> part;  // null for the message itself
};
// Readable text of leaf `index` (depth-first from 0) of a whole message
// (header and body, as RETR hands it over) with its header fields and
// parts, or nothing. Enclosed messages are descended into.
std::optional<std::wstring> leafText(const HeaderFieldList& fields, const char* text, size_t length,
                                     const MimePartList& parts, int index);
// Appends the attachments, the message first, then each part before its
// sub-parts: every part with a file name (Content-Disposition filename,
// else Content-Type name) except inline text, which is shown; and every
// enclosed message (named by its Subject when it has no file name).
void attachmentNames(const HeaderFieldList& fields, const MimePartList& parts, std::vector<AttachmentName>& list);

}  // namespace pw
