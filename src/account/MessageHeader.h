// The header decoders applied to a message record: its raw header parsed
// into its fields and date, and the lookups on them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "mime/HeaderFields.h"

namespace pw {

class MailMessage;

// Replaces everything derived from a header (header fields, date, raw
// header, rule results, whole text and parts), keeps a copy of the bytes as
// rawHeader and parses it. Null bytes leave the message empty.
void parseHeader(MailMessage& message, const char* bytes, size_t length);
// Parses the message's rawHeader into headerFields and date, replacing them.
void parseHeaderFields(MailMessage& message);

// Index of the first field at or after `start` named `name` (letter case
// ignored), or -1.
int findField(const MailMessage& message, const wchar_t* name, int start = 0);
// The value of the next field named `name` after *iterator (advanced past
// it); without an iterator the first one. Null when there is none.
const wchar_t* nextFieldValue(const MailMessage& message, const wchar_t* name, size_t* iterator = nullptr);
// The undecoded text after the first "Name: " in rawHeader (exact bytes),
// continuation lines included.
std::optional<std::wstring> rawFieldValue(const MailMessage& message, const wchar_t* name);
// The charset parameter of the message's Content-Type.
std::optional<std::wstring> messageCharset(const MailMessage& message);
// A raw field value decoded with the charset of the message's Content-Type
// for its plain text.
std::wstring decodeFieldValue(const MailMessage& message, const char* raw, size_t length);

}  // namespace pw
