// The MIME decoders applied to a message record: its whole text split into
// parts, and the texts and attachment names read from them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "mime/MimePart.h"

namespace pw {

class MailMessage;

// Keeps a copy of `bytes` as the message's whole text and splits it.
void parseMessage(MailMessage& message, const char* bytes, size_t length);
// Splits the whole text the message already holds.
void splitMessage(MailMessage& message);
// Releases the parts and the whole text.
void releaseBody(MailMessage& message);

// Readable text of leaf `index` (depth-first from 0), or nothing.
std::optional<std::wstring> leafText(const MailMessage& message, int index);
// Appends the filename of every part with one in Content-Disposition, the
// message first, then each part before its sub-parts.
void attachmentNames(const MailMessage& message, std::vector<AttachmentName>& list);

}  // namespace pw
