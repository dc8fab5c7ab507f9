// Where the account hands a header block to the header parser. The parser
// fills the message's header fields and date from its raw header.
#pragma once

namespace pw {

class MailMessage;

// Fills headerFields and date from rawHeader (see filter/HeaderFields.h).
void ParseMessageHeader(MailMessage& message);

}  // namespace pw
