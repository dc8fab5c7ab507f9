// The rules a fresh configuration starts with, and the friends list.
#pragma once

#include "filter/RuleModel.h"

namespace pw {

// The project's own domains and support address, approved by "Friends".
extern const wchar_t* const kFriendAddresses[3];

// Appends the four built-in rules to the list.
void AddBuiltinRules(RuleList& list);

}  // namespace pw
