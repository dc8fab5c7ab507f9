// Header values to readable text: RFC 2047 encoded words (B and Q), the
// message's charset for plain text, unfolding; and the Q encoder for
// outgoing replies.
#pragma once

#include <cstddef>
#include <string>

namespace pw {

class MailMessage;

// Decodes a raw field value with `defaultCharset` (null or empty: the ANSI
// code page) for its plain text.
std::wstring decodeValue(const char* raw, size_t length, const wchar_t* defaultCharset);
// The same with the charset of the message's Content-Type.
std::wstring decodeFieldValue(const MailMessage& message, const char* raw, size_t length);
// "=?charset?Q?...?=" for `text` in `charset`; always encoded.
std::wstring encodeWord(const wchar_t* text, const wchar_t* charset);

// Base64 bytes without the zero bytes the coder writes for "=" padding.
std::string decodeBase64(const char* text, size_t length);

// Removes TAB, CR, LF, any byte after an LF and any byte two after a CR:
// a line break and the first white space of its continuation line vanish.
std::string unfold(const char* text, size_t length);

}  // namespace pw
