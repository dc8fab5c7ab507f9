// Bulk receive of 256 MiB on loopback: the socket without layers, through the
// TLS layer, and through a SOCKS 5 proxy, each against a plain blocking
// Winsock loop reading the same server in the same run. The owner reads
// 4096 bytes per OnReceive, as the sessions do.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "net/AsyncSocketEx.h"
#include "net/NetHandles.h"
#include "net/ProxyLayer.h"
#include "net/TlsLayer.h"
#include "support/Pump.h"
#include "support/Services.h"

namespace {

constexpr size_t kBytes = size_t{256} << 20;
constexpr int kChunk = 4096;

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t;
}

double MiBs(size_t bytes, double seconds) { return bytes / 1048576.0 / seconds; }

// The plain loop: blocking connect, recv until the server closes.
size_t PlainLoop(int port, double* seconds) {
  const LARGE_INTEGER start = Now();
  pw::ScopedSocket s(socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in sin = {};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = inet_addr("127.0.0.1");
  sin.sin_port = htons(static_cast<u_short>(port));
  if (connect(s.Get(), reinterpret_cast<sockaddr*>(&sin), sizeof(sin)) != 0) return 0;
  size_t total = 0;
  char buffer[kChunk];
  for (;;) {
    const int n = recv(s.Get(), buffer, sizeof(buffer), 0);
    if (n <= 0) break;
    total += n;
  }
  *seconds = Seconds(start, Now());
  return total;
}

class BenchSocket : public pw::CAsyncSocketEx {
 public:
  size_t total = 0;
  bool done = false;
  int error = 0;
  bool drain = false;   // read until "would block" on each notification
  std::string request;  // sent once connected (TLS: after the handshake, as room is reported)

  size_t notifications = 0;
  void OnReceive(int) override {
    ++notifications;
    if (!drain) {
      ReadOnce();
      return;
    }
    while (ReadOnce() > 0) {
    }
  }
  void OnSend(int) override {
    if (request.empty()) return;
    const int n = Send(request.data(), static_cast<int>(request.size()));
    if (n > 0) request.erase(0, n);
  }
  void OnConnect(int e) override {
    if (e) Finish(e);
  }
  void OnClose(int e) override {
    // Without layers, the last bytes may still wait in the socket.
    while (ReadOnce() > 0) {
    }
    Finish(e);
  }
  int OnLayerNotify(pw::CSocketLayer*, int kind, intptr_t p1, intptr_t p2) override {
    if (kind == 1 && p1 == pw::kTlsFailure) Finish(WSAECONNABORTED);
    return 1;
  }

 private:
  int ReadOnce() {
    char buffer[kChunk];
    const int n = Receive(buffer, sizeof(buffer));
    if (n > 0) total += n;
    return n;
  }
  void Finish(int e) {
    error = e;
    done = true;
  }
};

struct Result {
  size_t bytes = 0;
  double seconds = 0;
  size_t notifications = 0;
};

Result RunAsync(BenchSocket& s, const char* host, int port) {
  Result r;
  const LARGE_INTEGER start = Now();
  if (!s.Create()) return r;
  const BOOL ok = s.Connect(host, port);
  if (!ok && WSAGetLastError() != WSAEWOULDBLOCK) return r;
  pwtest::PumpUntil([&] { return s.done; }, 600000);
  r.seconds = Seconds(start, Now());
  r.bytes = s.total;
  r.notifications = s.notifications;
  s.Close();
  return r;
}

void Report(const char* what, const Result& r, size_t expected, double plainMiBs) {
  const double rate = r.seconds > 0 ? MiBs(r.bytes, r.seconds) : 0;
  printf("%-30s %8.1f MiB/s  ratio %.2f  (%.1f s, %.0f bytes per OnReceive%s)\n", what, rate,
         plainMiBs > 0 ? rate / plainMiBs : 0, r.seconds,
         r.notifications ? double(r.bytes) / r.notifications : 0.0, r.bytes == expected ? "" : ", INCOMPLETE");
}

}  // namespace

int main() {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  int rc = 0;
  {
    pwtest::TestCertificates certs;
    pwtest::Service source("source", {{"bytes", std::to_string(kBytes)}});
    pwtest::Service tls("tls", {{"certdir", certs.Dir()}, {"file", std::to_string(kBytes)}});
    pwtest::Service socks("microsocks");
    if (!certs.Ok() || !source.Ok() || !tls.Ok() || !socks.Ok()) {
      fprintf(stderr, "setup failed: %s %s %s %s\n", certs.Error().c_str(), source.Error().c_str(),
              tls.Error().c_str(), socks.Error().c_str());
      return 1;
    }
    printf("256 MiB per run on 127.0.0.1, %d-byte reads; each ratio is against the mean of the plain\n"
           "loop run just before and just after it (the machine is shared, so rates drift)\n", kChunk);
    auto plainRun = [&]() {
      double seconds = 0;
      const size_t bytes = PlainLoop(source.Port(), &seconds);
      const double rate = bytes == kBytes ? MiBs(bytes, seconds) : 0;
      printf("%-30s %8.1f MiB/s\n", "  plain blocking Winsock loop", rate);
      return rate;
    };
    double before = plainRun();
    // As the sessions read: one 4096-byte Receive per notification; and an
    // owner that reads until Winsock would block.
    for (const bool drain : {false, true}) {
      printf("%s\n", drain ? "owner reads until it would block:" : "owner reads once per notification:");
      for (int kind = 0; kind < 3; ++kind) {
        pw::CTlsLayer tlsLayer;
        pw::CProxyLayer proxyLayer;
        BenchSocket s;
        s.drain = drain;
        Result r;
        const char* name = "";
        if (kind == 0) {
          name = "  socket, no layers";
          r = RunAsync(s, "127.0.0.1", source.Port());
        } else if (kind == 1) {
          name = "  TLS layer";
          s.AddLayer(&tlsLayer);
          tlsLayer.Start();
          s.request = "GET /data.bin HTTP/1.0\r\n\r\n";
          r = RunAsync(s, "localhost", tls.Port());
          if (r.bytes > kBytes) r.bytes = kBytes;  // s_server's short HTTP header is not counted
        } else {
          name = "  SOCKS 5 proxy layer";
          s.AddLayer(&proxyLayer);
          proxyLayer.SetProxy(pw::kProxySocks5, "127.0.0.1", socks.Port());
          r = RunAsync(s, "127.0.0.1", source.Port());
        }
        const double after = plainRun();
        Report(name, r, kBytes, (before + after) / 2);
        before = after;
      }
    }
  }
  WSACleanup();
  return rc;
}
