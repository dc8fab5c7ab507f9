// Texts of the session error codes (string table) and the account's way to
// let a session go.
#include <cstdio>

#include "base/Module.h"
#include "mail/MailSession.h"
#include "mail/SessionFactory.h"
#include "resource.h"

namespace pw {

namespace {

struct CodeText {
  uint32_t code;
  UINT id;
};

constexpr CodeText kTexts[] = {
    {kErrorClosed, IDS_ERR_CLOSED},
    {kErrorFatal, IDS_ERR_FATAL},
    {kErrorReceive, IDS_ERR_CLOSED},
    {kErrorConnect, IDS_ERR_CONNECT},
    {kErrorCreate, IDS_ERR_SOCKET},
    {kErrorTimeout, IDS_ERR_TIMEOUT},
    {kErrorLogin, IDS_ERR_LOGIN},
    {kErrorCommand, IDS_ERR_COMMAND},
    {kErrorSend, IDS_ERR_SEND},
    {kErrorProxyConnect, IDS_ERR_PROXY_CONNECT},
    {kErrorProxyRequest, IDS_ERR_PROXY_REQUEST},
    {kErrorProxyAuthType, IDS_ERR_PROXY_AUTH_TYPE},
    {kErrorProxyLogin, IDS_ERR_PROXY_LOGIN},
    {kErrorProxyAuthRequired, IDS_ERR_PROXY_AUTH_REQUIRED},
    {kErrorProxyResolve, IDS_ERR_PROXY_RESOLVE},
    {kErrorProxy, IDS_ERR_PROXY},
    {kErrorTlsUnknown, IDS_ERR_TLS_UNKNOWN},
    {kErrorTlsConnect, IDS_ERR_TLS_CONNECT},
    {kErrorTlsLibrary, IDS_ERR_TLS_LIBRARY},
    {kErrorTlsInit, IDS_ERR_TLS_INIT},
    {kErrorTlsCertificate, IDS_ERR_TLS_CERTIFICATE},
};

}  // namespace

std::wstring SessionErrorText(uint32_t code, uint32_t param) {
  for (const CodeText& entry : kTexts) {
    if (entry.code != code) continue;
    std::wstring text = LoadStr(entry.id);
    if (!text.empty() && param != 0) {
      wchar_t number[24];
      swprintf(number, 24, L" (%d)", static_cast<int>(param));
      text += number;
    }
    return text;
  }
  return std::wstring();
}

IMailSession* CreateMailSession() { return new MailSession(); }

void DestroyMailSession(IMailSession* session) { delete session; }

}  // namespace pw
