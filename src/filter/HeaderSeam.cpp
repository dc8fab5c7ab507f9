#include "filter/HeaderSeam.h"

#include "mime/HeaderFields.h"
#include "account/MailMessage.h"

namespace pw {

void ParseMessageHeader(MailMessage& message) { parseHeaderFields(message); }

}  // namespace pw
