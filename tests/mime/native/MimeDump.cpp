// Prints what the header and MIME readers make of a message file, one item a
// line, for the cross-check against Python's email package
// (crosscheck.py): the top-level fields, then every part depth-first with
// its media type, and for leaves the file name and the body bytes.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "mime/Charset.h"
#include "mime/HeaderFields.h"
#include "mime/HeaderScan.h"
#include "mime/MimePart.h"

namespace {

// UTF-8, through the native charset stand-in the readers use.
std::string Utf8(std::wstring_view text) { return pw::UnicodeToCharset(text.data(), text.size(), L"utf-8"); }

// Bytes with CR, LF, backslash and bytes outside ASCII escaped.
std::string Escaped(const char* p, size_t n) {
  std::string out;
  char hex[8];
  for (size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(p[i]);
    if (c == '\\')
      out += "\\\\";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c < 0x20 || c >= 0x7F) {
      snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// The media type: lower case, up to ';', without white space.
std::string MediaType(const std::wstring& type) {
  std::string out;
  for (const wchar_t c : type) {
    if (c == L';') break;
    if (c != L' ' && c != L'\t') out += static_cast<char>(pw::LowerChar(c));
  }
  return out;
}

void Node(const pw::HeaderFieldList& fields, const wchar_t* defaultType, const char* content, size_t length,
          const pw::MimePartList& parts) {
  const std::wstring type = pw::contentType(fields, defaultType);
  printf("N\t%s\n", MediaType(type).c_str());
  const bool container = pw::StartsNoCase(type, L"multipart") || pw::StartsNoCase(type, L"message/rfc822");
  if (!container || parts.empty()) {
    std::optional<std::wstring> name;
    const int d = pw::findField(fields, L"Content-Disposition");
    if (d >= 0) name = pw::headerParameter(fields[static_cast<size_t>(d)].second.c_str(), L"filename");
    if (!name) name = pw::headerParameter(type.c_str(), L"name");
    if (name) printf("F\t%s\n", Utf8(*name).c_str());
    printf("B\t%s\n", Escaped(content, length).c_str());
  }
  for (const auto& part : parts) Node(part->headerFields, part->defaultType, part->content, part->length, part->parts);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::ifstream in(argv[1], std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  pw::HeaderFieldList fields;
  const size_t body = pw::parseFieldList(text.data(), text.size(), fields);
  for (const auto& f : fields) printf("H\t%s\t%s\n", Utf8(f.first).c_str(), Utf8(f.second).c_str());
  pw::MimePartList parts;
  pw::splitParts(fields, text.data() + body, text.size() - body, parts);
  Node(fields, pw::kDefaultType, text.data() + body, text.size() - body, parts);
  return 0;
}
