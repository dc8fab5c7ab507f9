#include "filter/HeaderSeam.h"

#include "filter/MailMessage.h"

namespace pw {

void ParseMessageHeader(MailMessage&) {}

}  // namespace pw
