#include "account/MessageBody.h"

#include "account/MailMessage.h"

namespace pw {

namespace {

// The whole text without the CR LF that ends a RETR reply's status line,
// which would otherwise read as the blank line that ends the header.
std::pair<const char*, size_t> WholeText(const MailMessage& message) {
  const char* p = message.rawMessage.Get();
  size_t n = message.rawMessage.Size();
  if (p && n >= 2 && p[0] == '\r' && p[1] == '\n') p += 2, n -= 2;
  return {p, n};
}

}  // namespace

void splitMessage(MailMessage& message) {
  const auto [p, n] = WholeText(message);
  splitParts(message.headerFields, p, n, message.parts);
}

void parseMessage(MailMessage& message, const char* bytes, size_t length) {
  releaseBody(message);
  if (!bytes) return;
  message.rawMessage.Set(bytes, length);
  splitMessage(message);
}

void releaseBody(MailMessage& message) {
  message.parts.clear();
  message.rawMessage.Reset();
}

std::optional<std::wstring> leafText(const MailMessage& message, int index) {
  const auto [p, n] = WholeText(message);
  return leafText(message.headerFields, p, n, message.parts, index);
}

void attachmentNames(const MailMessage& message, std::vector<AttachmentName>& list) {
  attachmentNames(message.headerFields, message.parts, list);
}

}  // namespace pw
