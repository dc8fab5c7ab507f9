#include "account/MessageHeader.h"

#include "account/MailMessage.h"
#include "mime/HeaderDate.h"
#include "mime/HeaderWords.h"

namespace pw {

void parseHeaderFields(MailMessage& message) {
  message.date = {};
  const char* p = message.rawHeader.Get();
  size_t n = message.rawHeader.Size();
  // The stored header begins as the TOP reply did, with the CR LF that ended
  // the status line; the field reader skips it.
  parseFieldList(p, n, message.headerFields, true);
  const int date = findField(message.headerFields, L"DATE");
  if (date >= 0) message.date = parseDate(message.headerFields[static_cast<size_t>(date)].second.c_str());
}

void parseHeader(MailMessage& message, const char* bytes, size_t length) {
  message.rawHeader.Reset();
  message.filterText.Reset();
  message.icon.Reset();
  message.savePath.Reset();
  message.command.Reset();
  message.parts.clear();
  message.rawMessage.Reset();
  message.headerFields.clear();
  message.date = {};
  if (!bytes) return;
  message.rawHeader.Set(bytes, length);
  parseHeaderFields(message);
}

int findField(const MailMessage& message, const wchar_t* name, int start) {
  return findField(message.headerFields, name, start);
}

const wchar_t* nextFieldValue(const MailMessage& message, const wchar_t* name, size_t* iterator) {
  return nextFieldValue(message.headerFields, name, iterator);
}

std::optional<std::wstring> rawFieldValue(const MailMessage& message, const wchar_t* name) {
  return rawFieldValue(message.rawHeader.Get(), message.rawHeader.Size(), name);
}

std::optional<std::wstring> messageCharset(const MailMessage& message) {
  return fieldsCharset(message.headerFields);
}

std::wstring decodeFieldValue(const MailMessage& message, const char* raw, size_t length) {
  const std::optional<std::wstring> charset = messageCharset(message);
  return decodeValue(raw, length, charset ? charset->c_str() : nullptr);
}

}  // namespace pw
