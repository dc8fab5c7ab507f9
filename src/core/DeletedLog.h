// The log of messages deleted from a server: one record per message,
// appended to `filtersLogFile` when bit 0 of `filterLogFlags` is set.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>

namespace pw {

class CriticalSection;
class MailAccount;
class MailMessage;
struct GlobalSettings;

namespace LogFlags {
inline constexpr int32_t Deleted = 0x1;   // write the log at all
inline constexpr int32_t RawHeader = 0x2;  // the whole header instead of the lines below
inline constexpr int32_t Subject = 0x4;    // the Subject line
inline constexpr int32_t From = 0x8;       // the From line
inline constexpr int32_t To = 0x10;        // the To line
}  // namespace LogFlags

// The record as ANSI text with "\n" line ends, for the given local time.
std::string FormatDeletedRecord(const MailAccount& account, const MailMessage& message, int32_t logFlags,
                                const SYSTEMTIME& when);
// Appends the record under `lock`; the file is opened in text mode, so each
// "\n" is written as CR LF. A file that cannot be opened is skipped.
void LogDeletedMessage(const GlobalSettings& settings, CriticalSection& lock, const MailAccount& account,
                       const MailMessage& message);

}  // namespace pw
