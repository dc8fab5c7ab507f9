#include "filter/BuiltinRules.h"

namespace pw {
namespace {

constexpr uint32_t kSpamAndRead = RuleResult::MarkSpam | RuleResult::MarkRead;

const wchar_t* const kSpamSubjects[] = {
    L"!!!", L"$$$", L"***", L"18+ only", L"absolutely free", L"accept credit cards", L"incredible deal",
    L"increase sales", L"home shopping", L"home based", L"home business", L"internet market", L"invest",
    L"information you requested", L"increase your sales", L"info you requested", L"Help wanted",
    L"free membership", L"free porn", L"free gift", L"extra income", L"financial freedom", L"hacker alert",
    L"hacker warning", L"free sex", L"limited time offer", L"save $", L"this is for real", L"read twice",
    L"read this twice", L"web traffic", L"watch out for", L"triple your income", L"warn everyone",
    L"potential earnings", L"not a joke", L"online marketing", L"not a hoax", L"live video", L"make $",
    L"please read", L"pleasure", L"phone card", L"password steal", L"password theft", L"double your income",
    L"advert", L"adult entertainment", L"adult material", L"banner exchange", L"adult site", L"adult web",
    L"...", L"call 800", L"call 0800", L"cable descrambler", L"cable TV descrambler", L"chain letter",
    L"bios virus"};
static_assert(sizeof kSpamSubjects / sizeof kSpamSubjects[0] == 59);

const wchar_t* const kSpamRecipients[] = {L"anyone", L"everyone", L"friend", L"nobody", L"promo", L"winner"};

struct FieldTest {
  const wchar_t* field;
  uint32_t kind;
  const wchar_t* substring;
};

const FieldTest kOtherFields[] = {
    {L"X-1", SearchType::IsPresent, L""},
    {L"X-Advertisement", SearchType::IsPresent, L""},
    {L"X-Authentication-Warning", SearchType::IsPresent, L""},
    {L"X-BulkEmail", SearchType::IsPresent, L""},
    {L"X-Distribution", SearchType::IsEqual, L"Bulk"},
    {L"X-Distribution", SearchType::IsEqual, L"Mass"},
    {L"X-Distribution", SearchType::IsEqual, L"Moderate"},
    {L"X-Info", SearchType::Contains, L"Filtered by the Remove List"},
    {L"X-Info", SearchType::Contains, L"Responsible Emailer"},
    {L"X-Info", SearchType::Contains, L"Zenith Bulk Emailer"},
    {L"X-Mailer", SearchType::Contains, L"E-Mail Magnet"},
    {L"X-Mailer", SearchType::Contains, L"Emailer Platinum"},
    {L"X-Mailer", SearchType::Contains, L"eMarksman"},
    {L"X-Mailer", SearchType::Contains, L"Extractor"},
    {L"X-Mailer", SearchType::Contains, L"Floodgate"},
    {L"X-Mailer", SearchType::Contains, L"Group"},  // with "Mail" in the same set
    {L"X-Mailer", SearchType::Contains, L"SuperSpam"},
    {L"X-Sender", SearchType::Contains, L"News Breaker"},
    {L"X-Removal", SearchType::IsPresent, L""},
    {L"X-Reply-To", SearchType::IsPresent, L""},
};

}  // namespace

const wchar_t* const kFriendAddresses[3] = {L"@postwarden.org", L"@postwarden.net", L"support@postwarden.org"};

void AddBuiltinRules(RuleList& list) {
  FilterRule& friends = list.addRule(L"Friends", RuleResult::MarkApproved);
  for (const wchar_t* a : kFriendAddresses) friends.addSet().addCondition(L"From", SearchType::Contains, a, 0);
  friends.addSet().addCondition(L"Subject", SearchType::Contains, L"Dockrail", 0);

  FilterRule& subject = list.addRule(L"spam by subject", kSpamAndRead);
  subject.addSet().addCondition(L"Subject", SearchType::IsBlank, L"", 0);
  for (const wchar_t* s : kSpamSubjects) subject.addSet().addCondition(L"Subject", SearchType::Contains, s, 0);

  FilterRule& toFrom = list.addRule(L"spam by to/from", kSpamAndRead);
  toFrom.addSet().addCondition(L"From", SearchType::IsBlank, L"", 0);
  toFrom.addSet().addCondition(L"To", SearchType::IsBlank, L"", 0);
  for (const wchar_t* s : kSpamRecipients) toFrom.addSet().addCondition(L"To", SearchType::StartsWith, s, 0);

  FilterRule& other = list.addRule(L"spam by other fields", kSpamAndRead);
  for (const FieldTest& t : kOtherFields) {
    ConditionSet& set = other.addSet();
    set.addCondition(t.field, t.kind, t.substring, 0);
    if (t.kind == SearchType::Contains && wcscmp(t.substring, L"Group") == 0)
      set.addCondition(L"X-Mailer", SearchType::Contains, L"Mail", 0);
  }
}

}  // namespace pw
