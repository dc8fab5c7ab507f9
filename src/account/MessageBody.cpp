#include "account/MessageBody.h"

#include "account/MailMessage.h"

namespace pw {

void splitMessage(MailMessage& message) {
  // The parts are in the body: the whole text's own header is skipped.
  const char* text = message.rawMessage.Get();
  const size_t length = message.rawMessage.Size();
  if (!text) return message.parts.clear();
  const size_t body = bodyOffset(text, length);
  splitParts(message.headerFields, text + body, length - body, message.parts);
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
  return leafText(message.headerFields, message.rawMessage.Get(), message.rawMessage.Size(), message.parts, index);
}

void attachmentNames(const MailMessage& message, std::vector<AttachmentName>& list) {
  attachmentNames(message.headerFields, message.parts, list);
}

}  // namespace pw
