#include "core/DeletedLog.h"

#include <cstdio>
#include <memory>

#include "account/MailAccount.h"
#include "account/MailMessage.h"
#include "account/MessageHeader.h"
#include "base/Scoped.h"
#include "base/StrConv.h"
#include "core/GlobalSettings.h"

namespace pw {
namespace {

// The header arrives with CR LF line ends and the file is written in text
// mode, which turns every "\n" into CR LF: without this the record would
// hold CR CR LF.
std::string PlainLineEnds(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p)
    if (!(p[0] == '\r' && p[1] == '\n')) out.push_back(*p);
  return out;
}

struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};

std::string Field(const MailMessage& message, const wchar_t* name) {
  const wchar_t* value = nextFieldValue(message, name);
  return WideToAnsi(value ? value : L"");
}

}  // namespace

std::string FormatDeletedRecord(const MailAccount& account, const MailMessage& message, int32_t logFlags,
                                const SYSTEMTIME& when) {
  char date[96];
  snprintf(date, sizeof(date), "*** Date          : %d-%d-%d %d:%d:%d\n", when.wYear, when.wMonth, when.wDay,
           when.wHour, when.wMinute, when.wSecond);
  std::string r = "**************** Deleted Message ****************\n";
  r += date;
  r += "*** Account       : " + WideToAnsi(account.settings.accountName) + "\n";
  // The rules store the name of the rule that matched.
  SharedGuard g(account.MessageLock());
  if (message.filterText.IsSet()) r += "*** Matched Filter: " + WideToAnsi(message.filterText.Get()) + "\n";
  if (logFlags & LogFlags::RawHeader) {
    r += "*** MESSAGE HEADER:\n";
    if (message.rawHeader.Get()) r += PlainLineEnds(message.rawHeader.Get());
    r += "\n";
  } else {
    // Each line has its own switch.
    if (logFlags & LogFlags::From) r += "*** From          : " + Field(message, L"From") + "\n";
    if (logFlags & LogFlags::To) r += "*** To            : " + Field(message, L"To") + "\n";
    if (logFlags & LogFlags::Subject) r += "*** Subject       : " + Field(message, L"Subject") + "\n";
  }
  r += "********************** END **********************\n\n";
  return r;
}

void LogDeletedMessage(const GlobalSettings& settings, CriticalSection& lock, const MailAccount& account,
                       const MailMessage& message) {
  if (!(settings.filterLogFlags & LogFlags::Deleted) || !settings.filtersLogFile[0]) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::string record = FormatDeletedRecord(account, message, settings.filterLogFlags, now);
  ScopedLock g(lock);
  std::unique_ptr<FILE, FileCloser> file(_wfopen(settings.filtersLogFile, L"at"));
  if (!file) return;
  fwrite(record.data(), 1, record.size(), file.get());
}

}  // namespace pw
