// A message record saved to a file (on request or by a rule) and a rule's
// command run on it.
#pragma once

#include <string>

namespace pw {

class MailMessage;

// Writes the whole text, up to its first NUL, to `path` (created or
// truncated); false when there is no text or the file cannot be written.
bool saveRaw(const MailMessage& message, const wchar_t* path);
// The rule's save step: into a fresh file of the folder once, or to
// savePath; clears SaveToFile.
void saveByRule(MailMessage& message);
// The message's command with "%msgfile%" replaced by the saved file
// (quoted when it holds blanks).
std::wstring commandLine(const MailMessage& message);
// The rule's command step: once per message, started through the shell.
void runCommand(MailMessage& message);

}  // namespace pw
