#include "net/TlsContext.h"

#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>

#include <openssl/err.h>
#include <openssl/x509.h>

#include <utility>
#include <vector>

#include "net/NetHandles.h"
#include "net/SslHandles.h"

namespace pw {

namespace {

struct Shared {
  CriticalSection lock;
  ScopedSslCtx ctx;
  int users = 0;
  ScopedX509Store roots;  // read once per process
  bool rootsLoaded = false;
  int rootCount = 0;
  std::vector<std::pair<const SSL*, CTlsLayer*>> sessions;
};

Shared& Get() {
  static Shared shared;
  return shared;
}

// The trusted roots of Windows (the user's and the machine's), so that a
// server is verified against what the rest of the system trusts.
void LoadRoots(Shared& s) {
  s.rootsLoaded = true;
  s.roots.Reset(X509_STORE_new());
  if (!s.roots) return;
  ScopedCertStore store(CertOpenSystemStoreW(0, L"ROOT"));
  if (!store) return;
  PCCERT_CONTEXT cert = nullptr;
  // The enumeration frees the previous context itself.
  while ((cert = CertEnumCertificatesInStore(store.Get(), cert)) != nullptr) {
    const unsigned char* der = cert->pbCertEncoded;
    ScopedX509 x509(d2i_X509(nullptr, &der, static_cast<long>(cert->cbCertEncoded)));
    if (x509 && X509_STORE_add_cert(s.roots.Get(), x509.Get()) == 1) ++s.rootCount;
  }
  ERR_clear_error();  // duplicates are reported as errors
}

}  // namespace

SSL_CTX* TlsContext::Acquire() {
  Shared& s = Get();
  ScopedLock lock(s.lock);
  if (!s.ctx) {
    if (!OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr))
      return nullptr;
    s.ctx.Reset(SSL_CTX_new(TLS_client_method()));
    if (!s.ctx) return nullptr;
    // The chain is verified but the handshake never stops on it: the result
    // goes to the owner, which decides.
    SSL_CTX_set_verify(s.ctx.Get(), SSL_VERIFY_NONE, nullptr);
    if (!s.rootsLoaded) LoadRoots(s);
    if (s.roots) SSL_CTX_set1_cert_store(s.ctx.Get(), s.roots.Get());
    s.users = 0;
  }
  ++s.users;
  return s.ctx.Get();
}

void TlsContext::Release() {
  Shared& s = Get();
  ScopedLock lock(s.lock);
  if (s.users > 0 && --s.users == 0) s.ctx.Reset();
}

void TlsContext::Register(CTlsLayer* layer, const SSL* ssl) {
  Shared& s = Get();
  ScopedLock lock(s.lock);
  s.sessions.emplace_back(ssl, layer);
}

void TlsContext::Unregister(const SSL* ssl) {
  Shared& s = Get();
  ScopedLock lock(s.lock);
  for (auto it = s.sessions.begin(); it != s.sessions.end(); ++it) {
    if (it->first == ssl) {
      s.sessions.erase(it);
      return;
    }
  }
}

CTlsLayer* TlsContext::Find(const SSL* ssl) {
  Shared& s = Get();
  ScopedLock lock(s.lock);
  for (const auto& entry : s.sessions)
    if (entry.first == ssl) return entry.second;
  return nullptr;
}

int TlsContext::RootCount() {
  Shared& s = Get();
  ScopedLock lock(s.lock);
  return s.rootCount;
}

}  // namespace pw
