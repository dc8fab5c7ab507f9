#include "mime/MimeSave.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "base/Scoped.h"
#include "account/MailMessage.h"
#include "base/Md5.h"

namespace pw {

bool saveRaw(const MailMessage& message, const wchar_t* path) {
  const char* text = message.rawMessage.Get();
  if (!text || !path) return false;
  ScopedHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const size_t size = strnlen(text, message.rawMessage.Size());
  DWORD written = 0;
  return WriteFile(file.Get(), text, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

std::wstring uniqueSavePath(const std::wstring& folder) {
  std::mt19937 rng(static_cast<uint32_t>(GetTickCount64() ^ GetCurrentThreadId() ^ time(nullptr)));
  std::wstring base = folder;
  if (base.empty() || base.back() != L'\\') base += L'\\';
  for (;;) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    unsigned char seed[40 + sizeof(SYSTEMTIME)];
    for (int i = 0; i < 10; ++i) {
      const int32_t r = static_cast<int32_t>(rng());
      memcpy(seed + i * 4, &r, 4);
    }
    memcpy(seed + 40, &now, sizeof(now));
    uint8_t digest[16];
    Md5::Digest(seed, sizeof(seed), digest);
    wchar_t name[64];
    swprintf(name, 64, L"%d-%02d-%02d-%x%x%x%x%x.msg", now.wYear, now.wMonth, now.wDay, digest[0], digest[1],
             digest[2], digest[3], digest[4]);
    const std::wstring path = base + name;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return path;
  }
}

void saveByRule(MailMessage& message) {
  if (!message.HasFlag(MessageFlags::SaveToFile) || !message.rawMessage.IsSet()) return;
  std::wstring path;
  if (message.HasFlag(MessageFlags::SaveIntoFolder)) {
    if (!message.HasState(MessageState::Saved)) {
      path = uniqueSavePath(message.savePath.Str());
      message.SetState(MessageState::Saved);
    }
  } else {
    path = message.savePath.Str();
  }
  if (!path.empty()) {
    saveRaw(message, path.c_str());
    wchar_t full[MAX_PATH];
    const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    message.savePath.Set(n > 0 && n < MAX_PATH ? full : path.c_str());
  }
  message.ClearFlags(MessageFlags::SaveToFile);
}

std::wstring commandLine(const MailMessage& message) {
  std::wstring command = message.command.Str();
  if (!message.HasState(MessageState::Saved) || !message.savePath.IsSet()) return command;
  std::wstring file = message.savePath.Str();
  if (file.find(L' ') != std::wstring::npos) file = L"\"" + file + L"\"";
  static const std::wstring kToken = L"%msgfile%";
  for (size_t at = command.find(kToken); at != std::wstring::npos; at = command.find(kToken, at + file.size()))
    command.replace(at, kToken.size(), file);
  return command;
}

void runCommand(MailMessage& message) {
  if (!message.HasFlag(MessageFlags::RunCommand) || message.HasState(MessageState::CommandRun)) return;
  message.ClearFlags(MessageFlags::RunCommand);
  message.SetState(MessageState::CommandRun);
  const std::wstring line = commandLine(message);
  if (line.empty()) return;
  std::vector<wchar_t> program(line.begin(), line.end());
  program.push_back(0);
  if (program.size() < MAX_PATH) program.resize(MAX_PATH, 0);
  const std::wstring args = PathGetArgsW(program.data());
  PathRemoveArgsW(program.data());
  PathUnquoteSpacesW(program.data());
  ShellExecuteW(nullptr, nullptr, program.data(), args.empty() ? nullptr : args.c_str(), nullptr,
                message.commandHidden ? SW_HIDE : SW_SHOWNORMAL);
}

}  // namespace pw
