#include "account/MessageFile.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <vector>

#include "account/MailMessage.h"
#include "mime/MimeSave.h"

namespace pw {

bool saveRaw(const MailMessage& message, const wchar_t* path) {
  return saveRaw(message.rawMessage.Get(), message.rawMessage.Size(), path);
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
