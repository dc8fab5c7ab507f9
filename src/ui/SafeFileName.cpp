// Cleaning a proposed file name: a message chooses its attachments' names,
// so they are treated as hostile input.
#include "ui/SafeFileName.h"

#include <cwchar>
#include <cwctype>

namespace pw::ui {
namespace {

constexpr size_t kMaxName = 200;  // leaves room for the folder within MAX_PATH

bool Dropped(wchar_t c) {
  if (c < 0x20 || c == 0x7F) return true;                    // control characters
  if (c >= 0x80 && c < 0xA0) return true;                     // C1 controls
  if (c == 0x200E || c == 0x200F) return true;                // direction marks
  if (c >= 0x202A && c <= 0x202E) return true;                // embeddings and overrides
  if (c >= 0x2066 && c <= 0x2069) return true;                // isolates
  if (c == 0xFEFF) return true;
  return false;
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension.
bool DeviceName(const std::wstring& name) {
  std::wstring base = name.substr(0, name.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (auto& c : base) c = static_cast<wchar_t>(std::towupper(c));
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" || base == L"CONIN$" ||
      base == L"CONOUT$")
    return true;
  if (base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0))
    return (base[3] >= L'0' && base[3] <= L'9') || base[3] == 0xB9 || base[3] == 0xB2 || base[3] == 0xB3;
  return false;
}

}  // namespace

std::wstring SafeFileName(const std::wstring& proposed, const std::wstring& fallback) {
  // Only the last path element counts; a colon left over (drive, stream
  // name "x:y") becomes a plain character.
  size_t start = proposed.find_last_of(L"\\/");
  std::wstring last = start == std::wstring::npos ? proposed : proposed.substr(start + 1);
  std::wstring out;
  for (wchar_t c : last) {
    if (Dropped(c)) continue;
    out += wcschr(L"*?\"<>|:", c) ? L'_' : c;
  }
  // Leading blanks and dots would make "..", hidden or odd names.
  size_t lead = out.find_first_not_of(L". ");
  out.erase(0, lead == std::wstring::npos ? out.size() : lead);
  if (out.size() > kMaxName) {
    // Keep the extension when it is short, cutting the stem.
    size_t dot = out.rfind(L'.');
    std::wstring ext = (dot != std::wstring::npos && out.size() - dot <= 16) ? out.substr(dot) : L"";
    std::wstring stem = out.substr(0, kMaxName - ext.size());
    // Never end inside a surrogate pair.
    if (!stem.empty() && stem.back() >= 0xD800 && stem.back() <= 0xDBFF) stem.pop_back();
    out = stem + ext;
  }
  while (!out.empty() && (out.back() == L'.' || out.back() == L' ')) out.pop_back();
  if (out.empty()) return fallback;
  if (DeviceName(out)) out.insert(0, L"_");
  return out;
}

}  // namespace pw::ui
