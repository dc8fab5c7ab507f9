#include "mime/CharsetList.h"

#include <mlang.h>

#include "base/Scoped.h"

namespace pw {

namespace {

const CLSID kClsidMultiLanguage = {0x275C23E2, 0x3747, 0x11D0, {0x9F, 0xEA, 0x00, 0xAA, 0x00, 0x3F, 0x86, 0x46}};
const IID kIidMultiLanguage = {0x275C23E1, 0x3747, 0x11D0, {0x9F, 0xEA, 0x00, 0xAA, 0x00, 0x3F, 0x86, 0x46}};

}  // namespace

std::vector<CharsetChoice> MailCharsets(size_t* selected) {
  std::vector<CharsetChoice> list;
  if (selected) *selected = 0;
  ComPtr<IMultiLanguage> ml;
  if (FAILED(CoCreateInstance(kClsidMultiLanguage, nullptr, CLSCTX_INPROC_SERVER, kIidMultiLanguage,
                              ml.OutVoid())) ||
      !ml)
    return list;
  ComPtr<IEnumCodePage> pages;
  if (FAILED(ml->EnumCodePages(MIMECONTF_MAILNEWS, pages.Out())) || !pages) return list;
  const UINT ansi = GetACP();
  MIMECPINFO info[16];
  for (;;) {
    ULONG got = 0;
    if (FAILED(pages->Next(16, info, &got)) || got == 0) break;
    for (ULONG i = 0; i < got; ++i) {
      if (!info[i].wszHeaderCharset[0]) continue;
      if (selected && info[i].uiCodePage == ansi && *selected == 0) *selected = list.size();
      list.push_back({info[i].wszDescription, info[i].wszHeaderCharset, info[i].uiCodePage});
    }
  }
  return list;
}

}  // namespace pw
