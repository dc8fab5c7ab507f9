// The process-wide TLS client context shared by every TLS layer, with the
// Windows root certificates as its trust store, and the map from an SSL
// connection to the layer that owns it (for OpenSSL's info callback).
#pragma once

#include <openssl/ssl.h>

namespace pw {

class CTlsLayer;

class TlsContext {
 public:
  // Creates the context on first use; every successful call is paired with
  // one Release. Null when OpenSSL could not be set up.
  static SSL_CTX* Acquire();
  static void Release();

  static void Register(CTlsLayer* layer, const SSL* ssl);
  static void Unregister(const SSL* ssl);
  static CTlsLayer* Find(const SSL* ssl);

  // Number of root certificates taken from the system "ROOT" store.
  static int RootCount();
};

}  // namespace pw
