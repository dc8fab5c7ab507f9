// Owners for OpenSSL objects: each is freed exactly once.
#pragma once

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "base/Scoped.h"

namespace pw {

template <typename T, void (*Free)(T*)>
struct SslTraits {
  static T* Invalid() { return nullptr; }
  static bool Valid(T* p) { return p != nullptr; }
  static void Close(T* p) { Free(p); }
};

inline void FreeBio(BIO* b) { BIO_free(b); }

using ScopedSslCtx = ScopedHandleT<SSL_CTX*, SslTraits<SSL_CTX, SSL_CTX_free>>;
using ScopedSsl = ScopedHandleT<SSL*, SslTraits<SSL, SSL_free>>;
using ScopedBio = ScopedHandleT<BIO*, SslTraits<BIO, FreeBio>>;
using ScopedX509 = ScopedHandleT<X509*, SslTraits<X509, X509_free>>;
using ScopedEvpPkey = ScopedHandleT<EVP_PKEY*, SslTraits<EVP_PKEY, EVP_PKEY_free>>;
using ScopedX509Store = ScopedHandleT<X509_STORE*, SslTraits<X509_STORE, X509_STORE_free>>;

}  // namespace pw
