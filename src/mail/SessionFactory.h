// Where the account meets the protocol session, which the session module
// defines: the texts of session error codes and the end of a session.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace pw {

// The protocol session an account runs for a check or a send pass.
class IMailSession;

// The text shown for a session error code, with " (param)" appended when a
// text exists and param is not 0. Empty until the session module is built.
std::wstring SessionErrorText(uint32_t code, uint32_t param);
// A new protocol session for the calling thread, or null.
IMailSession* CreateMailSession();
// Frees a session; a session that still runs is closed first.
void DestroyMailSession(IMailSession* session);

struct SessionDeleter {
  void operator()(IMailSession* session) const { DestroyMailSession(session); }
};
using SessionPtr = std::unique_ptr<IMailSession, SessionDeleter>;

}  // namespace pw
