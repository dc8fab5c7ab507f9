// The header block of a message split into its fields, and the lookups the
// filters and windows use on them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mime/HeaderFieldList.h"
#include "mime/HeaderParams.h"

namespace pw {

// One field as it stands in a header block: the name up to its ':', the
// value up to its final CR LF (inner folding kept).
struct RawField {
  const char* name;
  size_t nameLength;
  const char* value;
  size_t valueLength;
};
// Splits a header block (as a POP3 reply hands it over) into raw fields,
// replacing `fields`.
void splitFields(const char* bytes, size_t length, std::vector<RawField>& fields);

// Splits the header at the start of `bytes` into decoded fields (the
// header's own Content-Type charset for plain text), replacing `fields`,
// and returns where the body begins: after the blank line that ends the
// header, or at the first line that is neither a field nor a continuation.
// `afterStatusLine`: the text begins with the CR LF that ended a POP3
// status line (TOP and RETR replies, stored headers), which is skipped.
size_t parseFieldList(const char* bytes, size_t length, HeaderFieldList& fields, bool afterStatusLine = true);
// Where the body of a message (or, without `afterStatusLine`, a MIME part)
// begins; the same reading as parseFieldList.
size_t bodyOffset(const char* bytes, size_t length, bool afterStatusLine = true);
// Index of the first field at or after `start` named `name` (letter case
// ignored), or -1.
int findField(const HeaderFieldList& fields, const wchar_t* name, int start = 0);
// The charset parameter of the list's Content-Type.
std::optional<std::wstring> fieldsCharset(const HeaderFieldList& fields);

// The value of the next field named `name` (letter case ignored) after
// *iterator (advanced past it); without an iterator the first one. Null when
// there is none.
const wchar_t* nextFieldValue(const HeaderFieldList& fields, const wchar_t* name, size_t* iterator = nullptr);
// The undecoded text after the first "Name: " in a header block (exact
// bytes), continuation lines included.
std::optional<std::wstring> rawFieldValue(const char* block, size_t length, const wchar_t* name);

}  // namespace pw
