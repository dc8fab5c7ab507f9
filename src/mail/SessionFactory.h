// How an account makes and ends its protocol session, and the texts of the
// session error codes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace pw {

// The protocol session an account runs for a check or a send pass.
class IMailSession;

// The text shown for a session error code, with " (param)" appended when a
// text exists and param is not 0; empty for an unknown code.
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
