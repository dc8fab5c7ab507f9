// Pieces of an outgoing message: the Date value, header fields folded at 78
// columns, RFC 2047 encoded words of at most 75 characters, display names,
// quoted-printable bodies (RFC 2045 6.7), and the charset a text fits in.
#pragma once

#include <windows.h>
#include <string>
#include <string_view>

namespace pw {

// "Wed, 09 Dec 2026 07:05:09 -0500" (RFC 5322 3.3) for a local time and its
// offset from UTC in minutes.
std::string FormatMailDate(const SYSTEMTIME& local, int offsetMinutes);
// The same for now, local time and offset taken from one clock reading.
std::string MailDateNow();

// True for text that is printable ASCII and blanks only.
bool IsPlainAsciiText(std::wstring_view text);
// `charset` when every character of `text` survives the way there and back
// (ISO-8859-1 strictly: Windows-1252's extra characters do not fit), else
// "utf-8". Null or empty charset: "iso-8859-1".
std::wstring FittingCharset(std::wstring_view text, const wchar_t* charset);
// `text` in `charset` (a name FittingCharset returned).
std::string ToCharsetBytes(std::wstring_view text, const std::wstring& charset);

// "Name: value" ending with CR LF, folded at blanks so that lines stay
// within 78 columns where the value allows.
std::string HeaderField(const char* name, const std::string& value);
// A phrase (subject or display name) as header text: as it is when plain
// ASCII, else encoded words in `charset`, each at most 75 characters,
// joined by a folding blank; the first one fits after `lead` columns.
std::string EncodedPhrase(std::wstring_view text, const std::wstring& charset, size_t lead);
// "display name <address>" (or "<address>"): the name plain, quoted or
// encoded as it needs. CR and LF never pass.
std::string AddressField(std::wstring_view name, std::wstring_view address, const std::wstring& charset,
                         size_t lead);

// CR LF line ends for any of CR LF, CR or LF.
std::wstring NormalizeLineEnds(std::wstring_view text);
// Quoted-printable of CR LF-separated bytes, encoded lines at most 76
// characters.
std::string QuotedPrintable(std::string_view bytes);
// True when the bytes can go as 7bit: ASCII, lines at most 76 characters.
bool Fits7Bit(std::string_view bytes);

}  // namespace pw
