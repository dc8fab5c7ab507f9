#include "filter/MimeSeam.h"

#include "filter/MailMessage.h"
#include "filter/MimePart.h"
#include "filter/MimeSave.h"

namespace pw {

void ParseWholeMessage(MailMessage& message) { splitMessage(message); }
void SaveMessageToFile(MailAccount&, MailMessage& message) { saveByRule(message); }
void RunMessageCommand(MailAccount&, MailMessage& message) { runCommand(message); }

}  // namespace pw
