// The charsets a reply can be written in: the platform's mail-and-news
// code pages, for the Quick Reply dialog's encoding list.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

namespace pw {

struct CharsetChoice {
  std::wstring description;  // "Western European (ISO)"
  std::wstring charset;      // the header charset name, "iso-8859-1"
  UINT codePage = 0;
};

// The service's list, in its order; `selected` becomes the entry of the
// system's ANSI code page, or 0. Empty when the service cannot be created
// (COM must be initialised on the calling thread).
std::vector<CharsetChoice> MailCharsets(size_t* selected);

}  // namespace pw
