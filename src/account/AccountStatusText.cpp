#include "account/AccountStatusText.h"

#include <cwchar>

#include "account/MailAccount.h"
#include "base/Module.h"
#include "mail/SessionFactory.h"
#include "resource.h"

namespace pw {

std::wstring AccountStatusText(const MailAccount& account, uint32_t status, uint32_t arg) {
  if (status == kStatusReady || status == kStatusError) {
    const AccountStatus display = account.GetStatus();
    if (display == AccountStatus::WaitingForConnection) return LoadStr(IDS_STATUS_WAITING);
    if (display == AccountStatus::Suspended) return LoadStr(IDS_STATUS_SUSPENDED);
  }
  wchar_t text[1024];
  switch (status) {
    case kStatusReady: return LoadStr(IDS_STATUS_READY);
    case kStatusConnectingServer: return LoadStr(IDS_STATUS_CONNECTING);
    case kStatusAuthorizing: return LoadStr(IDS_STATUS_AUTHORIZING);
    case kStatusListing: return LoadStr(IDS_STATUS_LISTING);
    case kStatusLoadingHeader:
      swprintf(text, 1024, LoadStr(IDS_STATUS_HEADER).c_str(), static_cast<unsigned long>(arg),
               static_cast<unsigned long>(account.MessageCount()));
      return text;
    case kStatusDeleting:
      swprintf(text, 1024, LoadStr(IDS_STATUS_DELETING).c_str(), static_cast<long>(arg));
      return text;
    case kStatusDisconnecting: return LoadStr(IDS_STATUS_DISCONNECTING);
    case kStatusLoadingMessage:
      swprintf(text, 1024, LoadStr(IDS_STATUS_MESSAGE).c_str(), static_cast<unsigned long>(arg));
      return text;
    case kStatusError: return LoadStr(IDS_STATUS_ERROR) + SessionErrorText(arg, 0);
    default: return std::wstring();
  }
}

}  // namespace pw
