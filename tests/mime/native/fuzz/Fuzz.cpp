// libFuzzer target over the header and MIME readers: the bytes are taken as
// a whole message (as RETR hands it over), whose header fields, parameters,
// encoded words, date and parts are all read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mime/DateFields.h"
#include "mime/HeaderFields.h"
#include "mime/HeaderWords.h"
#include "mime/MimePart.h"

namespace {

void Walk(const pw::MimePartList& parts, const char* text, size_t length) {
  for (const auto& part : parts) {
    // A part's content lies inside the message's text.
    if (part->content < text || part->content + part->length > text + length) __builtin_trap();
    for (const auto& f : part->headerFields) {
      (void)pw::headerParameter(f.second.c_str(), L"filename");
      (void)pw::headerParameter(f.second.c_str(), L"name");
    }
    Walk(part->parts, text, length);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly `size` bytes, so that reading past it is caught.
  const std::string copy(reinterpret_cast<const char*>(data), size);
  const char* text = copy.data();
  pw::HeaderFieldList fields;
  const size_t body = pw::parseFieldList(text, size, fields);
  if (body > size) __builtin_trap();
  for (const auto& f : fields) {
    pw::DateFields d;
    (void)pw::parseDateFields(f.second.c_str(), d);
    (void)pw::headerParameter(f.second.c_str(), L"charset");
    (void)pw::headerParameter(f.second.c_str(), L"boundary");
  }
  (void)pw::decodeValue(text, size, L"utf-8");
  (void)pw::decodeValue(text, size, nullptr);
  (void)pw::rawFieldValue(text, size, L"Subject");
  pw::MimePartList parts;
  pw::splitParts(fields, text + body, size - body, parts);
  Walk(parts, text, size);
  // The bytes once more as a part: no status line, digest children.
  pw::HeaderFieldList partFields;
  const size_t partBody = pw::parseFieldList(text, size, partFields, false);
  pw::splitParts(partFields, text + partBody, size - partBody, parts, 0, pw::kDigestDefaultType);
  Walk(parts, text, size);
  return 0;
}
