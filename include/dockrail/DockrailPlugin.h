// The contract between the Dockrail toolbar (the host) and its button
// plug-ins. Both sides are plain COM: IUnknown-derived interfaces whose
// methods sit in fixed vtable slots. No virtual destructors here: GCC would
// give a destructor two slots and shift everything after it.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <cstddef>
#include <cstdint>

namespace dockrail {

// {5D1C7E2A-8B43-4F6E-9A21-3C7B0E94D1A5}
inline constexpr CLSID CLSID_PostwardenPlugin = {
    0x5d1c7e2a, 0x8b43, 0x4f6e, {0x9a, 0x21, 0x3c, 0x7b, 0x0e, 0x94, 0xd1, 0xa5}};
// {A7E3F0C4-2D19-4B8A-B6F5-91C2D8E4A063}
inline constexpr IID IID_IDockPlugin = {
    0xa7e3f0c4, 0x2d19, 0x4b8a, {0xb6, 0xf5, 0x91, 0xc2, 0xd8, 0xe4, 0xa0, 0x63}};
// Component category of the host's button plug-ins.
// {3F8B6D21-C5E7-4A90-8D3C-6E1F2A7B9C48}
inline constexpr GUID CATID_DockrailPlugins = {
    0x3f8b6d21, 0xc5e7, 0x4a90, {0x8d, 0x3c, 0x6e, 0x1f, 0x2a, 0x7b, 0x9c, 0x48}};

// Host slot 3: the button record the host fills.
struct ButtonInfo {
  uint32_t size;      // 28
  uint32_t reserved1;
  uint32_t flags;     // bit 0: the button is large
  uint32_t reserved2;
  uint32_t reserved3;
  uint32_t reserved4;
  uint32_t iconSize;  // pixels
};
static_assert(sizeof(ButtonInfo) == 28);
static_assert(offsetof(ButtonInfo, flags) == 8);
static_assert(offsetof(ButtonInfo, iconSize) == 24);
inline constexpr uint32_t kButtonLarge = 1;

// Slot 24: the tooltip record. The host says what it wants through flags.
inline constexpr size_t kTooltipTextSize = 1024;  // ANSI bytes, terminator included
struct TooltipInfo {
  uint32_t flags;
  uint32_t reserved1;
  uint32_t field8;   // set to 5 for flag 2
  uint32_t reserved2;
  uint32_t reserved3;
  uint32_t field20;  // set to 0 for flags 8 and 16
  char text[kTooltipTextSize];
};
static_assert(offsetof(TooltipInfo, field8) == 8);
static_assert(offsetof(TooltipInfo, field20) == 20);
static_assert(offsetof(TooltipInfo, text) == 24);
enum TooltipFlags : uint32_t {
  kTipField8 = 2,
  kTipClear20a = 8,
  kTipClear20b = 16,
  kTipPlainText = 32,
  kTipTitle = 64,
};

// QueryInfo id 4: one hotkey the plug-in offers.
struct HotkeyInfo {
  int32_t number;          // 1 = messages list, 2 = mail reader
  wchar_t label[260];
  uint16_t hotkey;         // as the hotkey control reports it; 0 = none
  uint16_t pad;
  int32_t numberAgain;
};
static_assert(sizeof(wchar_t) == 2);
static_assert(offsetof(HotkeyInfo, label) == 4);
static_assert(offsetof(HotkeyInfo, hotkey) == 524);
static_assert(offsetof(HotkeyInfo, numberAgain) == 528);
static_assert(sizeof(HotkeyInfo) == 532);

// Slot 22 writes at most this many ANSI bytes, terminator included.
inline constexpr size_t kIconLocationSize = MAX_PATH;

// Host command of slot 17 that opens the plug-in's properties.
inline constexpr UINT kHostCommandProperties = 1;

// The host's side, as the plug-in calls it.
struct IDockHost : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetButtonInfo(ButtonInfo* info) = 0;           // 3
  virtual HWND STDMETHODCALLTYPE GetOwnerWindow() = 0;                            // 4
  virtual HRESULT STDMETHODCALLTYPE SettingsChanged() = 0;                        // 5
  virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;                              // 6
  virtual HRESULT STDMETHODCALLTYPE GetDrawOffset(POINT* offset) = 0;              // 7
  virtual HRESULT STDMETHODCALLTYPE Reserved8() = 0;                              // 8
  virtual HRESULT STDMETHODCALLTYPE Reserved9() = 0;                              // 9
  virtual HRESULT STDMETHODCALLTYPE Repaint(UINT what) = 0;                       // 10 (what = 2)
  virtual HRESULT STDMETHODCALLTYPE RegisterHotkey(UINT kind, WORD hotkey, UINT number) = 0;  // 11
};
inline constexpr UINT kRepaintButton = 2;
inline constexpr UINT kHotkeyRegister = 2;

// The plug-in's side, as the host calls it. Results: 0 done, 1 not handled.
struct IDockPlugin : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Load(IStream* stream) = 0;                     // 3
  virtual HRESULT STDMETHODCALLTYPE Save(IStream* stream) = 0;                     // 4
  virtual HRESULT STDMETHODCALLTYPE SetButtonRect(const int32_t* rect) = 0;       // 5
  virtual HRESULT STDMETHODCALLTYPE SetHost(IDockHost* host) = 0;                  // 6
  virtual HRESULT STDMETHODCALLTYPE Slot7(UINT_PTR value) = 0;                     // 7
  virtual HRESULT STDMETHODCALLTYPE Draw(HDC dc, const RECT* rect) = 0;            // 8
  virtual HRESULT STDMETHODCALLTYPE Slot9() = 0;                                   // 9
  virtual HRESULT STDMETHODCALLTYPE Slot10(UINT_PTR value) = 0;                    // 10
  virtual HRESULT STDMETHODCALLTYPE Slot11() = 0;                                  // 11
  virtual HRESULT STDMETHODCALLTYPE ShowOptions(IStream* stream) = 0;              // 12
  virtual HRESULT STDMETHODCALLTYPE Slot13(UINT_PTR value, int32_t* flag) = 0;     // 13
  virtual HRESULT STDMETHODCALLTYPE Slot14() = 0;                                  // 14
  virtual HRESULT STDMETHODCALLTYPE Slot15() = 0;                                  // 15
  virtual HRESULT STDMETHODCALLTYPE OnClick() = 0;                                 // 16
  virtual HRESULT STDMETHODCALLTYPE OnHostCommand(UINT command) = 0;               // 17
  virtual HRESULT STDMETHODCALLTYPE SetCaption(const char* caption) = 0;           // 18
  virtual HRESULT STDMETHODCALLTYPE AddMenuItems(HMENU menu, UINT position, UINT firstId) = 0;  // 19
  virtual HRESULT STDMETHODCALLTYPE OnMenuCommand(UINT offset) = 0;                // 20
  virtual HRESULT STDMETHODCALLTYPE SetResourceModule(HMODULE module) = 0;         // 21
  virtual HRESULT STDMETHODCALLTYPE GetIconLocation(char* buffer) = 0;             // 22
  virtual HRESULT STDMETHODCALLTYPE SetIconLocation(const char* location) = 0;     // 23
  virtual HRESULT STDMETHODCALLTYPE GetTooltip(TooltipInfo* info) = 0;             // 24
  virtual HRESULT STDMETHODCALLTYPE QueryInfo(UINT id, UINT_PTR subId, void* out) = 0;  // 25
  virtual HRESULT STDMETHODCALLTYPE Destroy(UINT deleteFlag) = 0;                  // 26
};

}  // namespace dockrail
