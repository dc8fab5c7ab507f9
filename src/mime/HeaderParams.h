// Parameters of structured field values (Content-Type, Content-Disposition):
// RFC 2045 tokens and quoted strings, RFC 2231 charsets and continuations.
#pragma once

#include <optional>
#include <string>

namespace pw {

// The value of parameter `name` (letter case ignored) in a structured field
// value, or nothing when it is absent or empty. Only whole parameter names
// after a ';' match, never text inside a quoted value. A quoted value is
// unquoted (quoted-pairs resolved, semicolons and white space kept). The
// RFC 2231 forms `name*=charset'lang'%XX`, `name*0=`, `name*1*=`... are
// joined in number order and converted from their charset; they win over a
// plain `name=` given beside them for older readers.
std::optional<std::wstring> headerParameter(const wchar_t* value, const wchar_t* name);

}  // namespace pw
