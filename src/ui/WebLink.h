// A one-line link whose window text is a little markup:
//   Visit <a href="https://example.org/">our pages</a> &amp; more
#pragma once

#include <windows.h>
#include <string>

namespace pw::ui {

inline constexpr wchar_t kWebLinkClass[] = L"DKRWEBLINK";
inline constexpr UINT WLM_SETURL = WM_USER + 1;  // lParam: text or null

struct LinkMarkup {
  std::wstring text;  // plain text shown
  std::wstring url;
  size_t start = 0, end = 0;  // link part of `text`; end 0 = no link
};

// Reads at most 500 characters of markup.
LinkMarkup ParseLinkMarkup(const wchar_t* markup);

class WebLink {
 public:
  static constexpr wchar_t kProp[] = L"CWebLinkCtl_this";
  explicit WebLink(HWND window);
  ~WebLink();
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  const LinkMarkup& Markup() const { return link_; }

 private:
  void Paint(HDC dc);
  bool InLink(int x) const;
  void SetHot(bool hot);
  void Open();

  HWND window_;
  LinkMarkup link_;
  HFONT underlined_ = nullptr;
  bool hot_ = false;
  bool focused_ = false;
  int linkLeft_ = 0, linkRight_ = 0;  // measured at the last paint
};

}  // namespace pw::ui
