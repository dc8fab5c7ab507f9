// Where the account hands whole messages to the MIME decoder, and where a
// rule's save and command actions are carried out for a message.
#pragma once

namespace pw {

class MailAccount;
class MailMessage;

// A decoded part of a whole message (filter/MimePart.h).
class MimePart;

// Fills the message's parts from rawMessage.
void ParseWholeMessage(MailMessage& message);
// Saves the whole message under savePath (a folder when SaveIntoFolder is
// set); marks it Saved.
void SaveMessageToFile(MailAccount& account, MailMessage& message);
// Runs the rule's command for the message; marks it CommandRun.
void RunMessageCommand(MailAccount& account, MailMessage& message);

}  // namespace pw
