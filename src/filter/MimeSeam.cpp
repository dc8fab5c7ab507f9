#include "filter/MimeSeam.h"

#include "account/MailMessage.h"
#include "mime/MimePart.h"
#include "mime/MimeSave.h"

namespace pw {

void ParseWholeMessage(MailMessage& message) { splitMessage(message); }
void SaveMessageToFile(MailAccount&, MailMessage& message) { saveByRule(message); }
void RunMessageCommand(MailAccount&, MailMessage& message) { runCommand(message); }

}  // namespace pw
