// Messages built from real header and message bytes through the plug-in's
// own parsers, and a one-condition rule list to try them with.
#pragma once

#include <memory>
#include <string>

#include "account/MailMessage.h"
#include "account/MessageBody.h"
#include "account/MessageHeader.h"
#include "filter/RuleEngine.h"
#include "filter/RuleModel.h"

namespace pwtest {

// A received message: the header as TOP n 0 delivers it, and the whole text
// when `body` is given.
inline pw::RefPtr<pw::MailMessage> MakeMessage(const std::string& header, const std::string* body = nullptr,
                                               uint32_t size = 1000) {
  auto m = pw::MailMessage::Create(L"uidl-1");
  pw::parseHeader(*m, header.data(), header.size());
  if (body) {
    const std::string whole = header + *body;
    pw::parseMessage(*m, whole.data(), whole.size());
  }
  m->size = size;
  m->ReplaceState(pw::MessageState::New);
  return m;
}

// Runs the rules over the message and stores what they decide.
inline pw::RuleOutcome Run(std::unique_ptr<pw::RuleList> list, pw::MailMessage& m) {
  pw::RuleSnapshot snap(std::move(list));
  pw::RuleOutcome o = pw::EvaluateRules(snap, m);
  pw::StoreOutcome(nullptr, m, o);
  return o;
}

// Whether a single condition holds: a rule marking Spam with one set holding it.
inline bool Holds(pw::MailMessage& m, const wchar_t* field, uint32_t searchType, const wchar_t* substring,
                  uint32_t size = 0) {
  auto list = std::make_unique<pw::RuleList>();
  list->addRule(L"t", pw::RuleResult::MarkSpam).addSet().addCondition(field, searchType, substring, size);
  m.SetType(pw::MessageType::Normal);
  Run(std::move(list), m);
  return m.Type() == pw::MessageType::Spam;
}

}  // namespace pwtest
