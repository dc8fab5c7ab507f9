#include "filter/MimeSeam.h"

#include "filter/MailMessage.h"

namespace pw {

void ParseWholeMessage(MailMessage&) {}
void SaveMessageToFile(MailAccount&, MailMessage&) {}
void RunMessageCommand(MailAccount&, MailMessage&) {}

}  // namespace pw
