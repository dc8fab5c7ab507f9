// Mail addresses in header values (RFC 5322 3.4): finding the bare address of
// a field, its display name, and message ids for threading.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pw {

// A bare RFC 5322 address (local-part@domain) in ASCII: a dot-atom or quoted-string local part,
// '@', and a domain of letter-digit-hyphen labels or an address literal.
bool IsAddrSpec(std::wstring_view text);
// The address of a field value: the first "<local-part@domain>", else the first
// word (between blanks, commas, semicolons, brackets and parentheses) that
// is such an address; empty when there is none.
std::wstring FindAddress(std::wstring_view value);
// The display name before "<...>": quotes, brackets and line breaks
// removed, blanks trimmed; empty when the value is a bare address.
std::wstring DisplayName(std::wstring_view value);
// The well-formed message ids "<left@right>" of a field value (In-Reply-To,
// References, Message-ID), brackets included, in order.
std::vector<std::string> MessageIds(std::wstring_view value);

}  // namespace pw
