// A socket owner that records what the transport tells it, for the tests.
#pragma once

#include <string>
#include <vector>

#include "net/AsyncSocketEx.h"
#include "net/SocketLayer.h"

namespace pwtest {

struct LayerNote {
  pw::CSocketLayer* layer;
  int kind;
  intptr_t param1;
  intptr_t param2;
  std::string text;  // for reports that carry one
};

class TestSocket : public pw::CAsyncSocketEx {
 public:
  int connects = 0, closes = 0, receives = 0, sends = 0, timers = 0;
  int connectError = -1, closeError = -1, receiveError = 0;
  int receivesBeforeConnect = 0;
  bool eof = false;
  bool readOnReceive = true;
  int readChunk = 4096;
  std::string data;
  std::string outgoing;
  std::vector<LayerNote> notes;
  // Layers whose kind-1 report param1 carries a text in param2.
  pw::CSocketLayer* tlsLayer = nullptr;
  pw::CSocketLayer* proxyLayer = nullptr;
  int certificateAnswer = 1;
  bool closeOnFailure = false;  // as a session does on a failure report

  void OnConnect(int error) override {
    ++connects;
    connectError = error;
  }
  void OnReceive(int error) override {
    ++receives;
    if (connects == 0) ++receivesBeforeConnect;
    if (error) receiveError = error;
    if (!readOnReceive) return;
    std::string buffer(readChunk, '\0');
    const int n = Receive(buffer.data(), readChunk);
    if (n > 0)
      data.append(buffer.data(), n);
    else if (n == 0)
      eof = true;
    else if (WSAGetLastError() != WSAEWOULDBLOCK)
      receiveError = WSAGetLastError();
  }
  void OnSend(int error) override {
    ++sends;
    Flush();
  }
  void OnClose(int error) override {
    ++closes;
    closeError = error;
  }
  void OnTimer(UINT id) override { ++timers; }
  int OnLayerNotify(pw::CSocketLayer* layer, int kind, intptr_t p1, intptr_t p2) override {
    LayerNote note{layer, kind, p1, p2, {}};
    const bool tlsText = layer == tlsLayer && (p1 == 3 || p1 == 4);
    const bool proxyText = layer == proxyLayer && p1 == 2;
    if (kind == 1 && (tlsText || proxyText) && p2) note.text = reinterpret_cast<const char*>(p2);
    notes.push_back(note);
    if (kind == 1 && layer == tlsLayer && p1 == 2) return certificateAnswer;
    if (kind == 1 && closeOnFailure && ((layer == tlsLayer && p1 == 1) || layer == proxyLayer)) Close();
    return 1;
  }

  void Write(const std::string& bytes) {
    outgoing += bytes;
    Flush();
  }
  void Flush() {
    while (!outgoing.empty()) {
      const int n = Send(outgoing.data(), static_cast<int>(outgoing.size()));
      if (n == SOCKET_ERROR || n == 0) return;  // WSAEWOULDBLOCK: OnSend continues
      outgoing.erase(0, n);
    }
  }
  // Kind-1 reports of one layer, in order.
  std::vector<LayerNote> Reports(const pw::CSocketLayer* layer) const {
    std::vector<LayerNote> out;
    for (const auto& n : notes)
      if (n.kind == 1 && n.layer == layer) out.push_back(n);
    return out;
  }
  bool HasReport(const pw::CSocketLayer* layer, intptr_t p1, intptr_t p2) const {
    for (const auto& n : Reports(layer))
      if (n.param1 == p1 && n.param2 == p2) return true;
    return false;
  }
};

// Winsock for the life of the test program.
struct WinsockInit {
  WinsockInit() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~WinsockInit() { WSACleanup(); }
};

}  // namespace pwtest
