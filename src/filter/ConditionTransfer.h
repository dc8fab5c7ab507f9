// Condition sets of a rule written to and read from files: the XML export
// document (root "pwardenfilters", an OR element per set, an AND element per
// condition), and plain word lists (TAB-separated tokens, conditions joined
// by "AND"). Files are read by the plug-in itself, capped in size, and
// checked before any parser sees them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "filter/RuleModel.h"

namespace pw {

enum class TransferError : int {
  // Not an error.
  None = 0,
  // The file could not be opened or read.
  CannotRead,
  // The file is larger than kMaxImportBytes.
  TooLarge,
  // The file holds bytes no text file has (NUL outside UTF-16).
  Binary,
  // The file looks like XML but does not parse as an export document.
  BadXml,
  // The XML carries a document type declaration (entities, external files).
  Unsafe,
  // The XML nests deeper than any export document does.
  TooDeep,
  // No XML DOM class could be created.
  NoXmlParser,
  // The export file could not be written; an existing file was kept.
  CannotWrite,
};

inline constexpr size_t kMaxImportBytes = 2 * 1024 * 1024;
inline constexpr size_t kMaxImportSets = 20000;
inline constexpr size_t kMaxImportConditions = 100000;
inline constexpr int kMaxXmlDepth = 16;

struct ImportDefaults {
  const wchar_t* field = L"From";
  uint32_t searchType = SearchType::Contains;
};

// Writes the rule's sets to `path` (through a temporary file and a rename).
TransferError ExportConditions(const FilterRule& rule, const wchar_t* path);
// Appends the sets read from `path`; `added` counts them.
TransferError ImportConditions(FilterRule& rule, const wchar_t* path, const ImportDefaults& defaults,
                               size_t* added = nullptr);
// The same from bytes already read.
TransferError ImportConditionBytes(FilterRule& rule, const char* bytes, size_t length, const ImportDefaults& defaults,
                                   size_t* added = nullptr);

// Pieces, for the importer and its tests: file bytes as text (byte-order
// marks, UTF-8, else the ANSI code page; Binary for NUL bytes), whether the
// text is XML, and the word-list and XML readers.
TransferError DecodeImportText(const char* bytes, size_t length, std::wstring& text);
bool LooksLikeXml(const std::wstring& text);
size_t ImportWordList(FilterRule& rule, const std::wstring& text, const ImportDefaults& defaults);
TransferError ImportXml(FilterRule& rule, const std::wstring& text, const ImportDefaults& defaults, size_t* added);
// Text that XML 1.0 can carry: control characters other than TAB, CR and LF,
// U+FFFE, U+FFFF and lone surrogates become '?'.
std::wstring XmlSafe(const wchar_t* text);

}  // namespace pw
