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

class MimePart {
 public:
  HeaderFieldList headerFields;
  const char* content = nullptr;  // borrowed from the message's whole text
  size_t length = 0;
  std::vector<std::shared_ptr<MimePart>> parts;
};

using MimePartList = std::vector<std::shared_ptr<MimePart>>;

// Multiparts nested deeper than this are not split further.
inline constexpr int kMaxMimeDepth = 24;

// Splits `text` into `parts` when `fields` name a multipart with a boundary.
void splitParts(const HeaderFieldList& fields, const char* text, size_t length, MimePartList& parts, int depth = 0);

struct AttachmentName {
  std::wstring name;
  std::shared_ptr<MimePart> part;  // null for the message itself
};
// Readable text of leaf `index` (depth-first from 0) of a whole message
// (header and body) with its header fields and parts, or nothing.
std::optional<std::wstring> leafText(const HeaderFieldList& fields, const char* text, size_t length,
                                     const MimePartList& parts, int index);
// Appends the filename of every part with one in Content-Disposition, the
// message first, then each part before its sub-parts.
void attachmentNames(const HeaderFieldList& fields, const MimePartList& parts, std::vector<AttachmentName>& list);

}  // namespace pw
