// The text the windows show for an account's status: progress of a check
// ("Loading header 3 (of 10)"), "Ready...", or "Error: " with the error.
#pragma once

#include <cstdint>
#include <string>

namespace pw {

class MailAccount;

// status and arg as the account last reported them; a waiting or suspended
// account shows that instead of "Ready..." or its error.
std::wstring AccountStatusText(const MailAccount& account, uint32_t status, uint32_t arg);

}  // namespace pw
