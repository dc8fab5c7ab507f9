#include "ui/viewer/AttachmentSave.h"

#include <commdlg.h>

#include <algorithm>
#include <cwctype>

#include "base/Scoped.h"
#include "mime/HeaderFields.h"
#include "mime/HeaderWords.h"
#include "mime/MimeBody.h"
#include "mime/MimePart.h"
#include "ui/SafeFileName.h"

namespace pw::ui {

std::string AttachmentBytes(const MimePart& part) {
  const wchar_t* enc = nextFieldValue(part.headerFields, L"Content-Transfer-Encoding");
  std::wstring e = enc ? enc : L"";
  for (auto& c : e) c = static_cast<wchar_t>(towlower(c));
  if (e.find(L"base64") != std::wstring::npos) return decodeBase64(part.content, part.length);
  if (e.find(L"quoted-printable") != std::wstring::npos) return decodeQuotedPrintable(part.content, part.length);
  return std::string(part.content ? part.content : "", part.length);
}

DWORD WriteAttachment(const std::wstring& folder, const std::wstring& name, const std::string& bytes,
                      std::wstring* written) {
  // The name is cleaned here as well, so no caller can leave the folder.
  const std::wstring path = folder + L"\\" + SafeFileName(name, L"attachment.dat");
  if (written) *written = path;
  ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return GetLastError();
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20)), n = 0;
    if (!WriteFile(file.Get(), bytes.data() + done, chunk, &n, nullptr) || n != chunk) {
      DWORD err = GetLastError();
      file.Reset();
      DeleteFileW(path.c_str());  // no half-written file left behind
      return err ? err : ERROR_WRITE_FAULT;
    }
    done += n;
  }
  return 0;
}

bool SaveAttachmentAs(HWND owner, const std::wstring& proposed, const MimePart& part) {
  wchar_t path[MAX_PATH] = L"";
  const std::wstring clean = SafeFileName(proposed, L"attachment.dat");
  wcsncpy(path, clean.c_str(), MAX_PATH - 1);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = L"All files (*.*)\0*.*\0";
  ofn.lpstrFile = path;
  ofn.nMaxFile = MAX_PATH;
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  if (!GetSaveFileNameW(&ofn)) return false;
  std::wstring chosen = path;
  size_t slash = chosen.find_last_of(L"\\/");
  std::wstring folder = slash == std::wstring::npos ? L"." : chosen.substr(0, slash);
  std::wstring name = slash == std::wstring::npos ? chosen : chosen.substr(slash + 1);
  DWORD err = WriteAttachment(folder, name, AttachmentBytes(part));
  if (err) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   err, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring msg = L"The attachment could not be saved to " + chosen + L".\r\n" + (text ? text : L"");
    if (text) LocalFree(text);
    MessageBoxW(owner, msg.c_str(), L"Save Attachment", MB_OK | MB_ICONERROR);
    return false;
  }
  return true;
}

}  // namespace pw::ui
