#include "filter/HeaderSeam.h"

#include "filter/HeaderFields.h"
#include "filter/MailMessage.h"

namespace pw {

void ParseMessageHeader(MailMessage& message) { parseHeaderFields(message); }

}  // namespace pw
