// MIME body text: transfer decoding (Base64, quoted-printable), HTML turned
// into plain text, and the charset conversion.
#pragma once

#include <cstddef>
#include <string>

namespace pw {

// Readable text of `length` bytes with the given charset (null: the ANSI
// code page) and Content-Transfer-Encoding (null: none).
std::wstring decodeBody(const char* bytes, size_t length, const wchar_t* charset, const wchar_t* encoding,
                        bool isHtml);

// Quoted-printable of RFC 2045: soft line breaks vanish, "=" and two
// hexadecimal digits give a byte, any other "=" is kept as written.
std::string decodeQuotedPrintable(const char* bytes, size_t length);
// The plain text of an HTML byte string.
std::string htmlToText(std::string text);

}  // namespace pw
