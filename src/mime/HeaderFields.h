// The header block of a message split into its fields, and the lookups the
// filters and windows use on them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mime/HeaderFieldList.h"

namespace pw {

// One field as it stands in a header block: the name up to its ':', the
// value up to its final CR LF (inner folding kept).
struct RawField {
  const char* name;
  size_t nameLength;
  const char* value;
  size_t valueLength;
};
// Splits a header block into raw fields, replacing `fields`; an
// unterminated last value is dropped with its name.
void splitFields(const char* bytes, size_t length, std::vector<RawField>& fields);

// Splits a header block into decoded fields (the block's own Content-Type
// charset for plain text), replacing `fields`.
void parseFieldList(const char* bytes, size_t length, HeaderFieldList& fields);
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
// The value of parameter `name` in a structured field value.
std::optional<std::wstring> headerParameter(const wchar_t* value, const wchar_t* name);

}  // namespace pw
