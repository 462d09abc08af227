#pragma once
// The OpenIGTLink server's sockets in memory, for the controller's tests: a test
// connects a client, and reads back the messages the server sent it.
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "igtl/NetSockets.h"

struct TFakeNet {
  std::string listenError;       // non-empty: Listen fails with it
  std::string address;           // what Listen was given
  uint16_t port = 0;
  bool listening = false;
  int pendingClients = 0;        // clients waiting to be accepted
  std::vector<std::shared_ptr<std::string>> received;  // what each accepted client got
};

// One received message, decoded from the header's fields.
struct TFakeNetMessage {
  std::string type, device;
  uint64_t timestamp = 0;
  std::string body;
  // The translation of a TRANSFORM (body floats 9..11).
  float Translation(int i) const {
    uint32_t u = 0;
    for (int b = 0; b < 4; ++b) u = u << 8 | static_cast<uint8_t>(body[static_cast<size_t>(36 + 4 * i + b)]);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
  }
};

inline std::vector<TFakeNetMessage> DecodeIgtl(const std::string& bytes) {
  std::vector<TFakeNetMessage> out;
  auto field = [&](size_t at, size_t n) {
    std::string s = bytes.substr(at, n);
    return s.substr(0, s.find('\0'));
  };
  auto number = [&](size_t at) {
    uint64_t v = 0;
    for (size_t b = 0; b < 8; ++b) v = v << 8 | static_cast<uint8_t>(bytes[at + b]);
    return v;
  };
  for (size_t at = 0; at + 58 <= bytes.size();) {
    TFakeNetMessage m{field(at + 2, 12), field(at + 14, 20), number(at + 34), {}};
    const uint64_t size = number(at + 42);
    m.body = bytes.substr(at + 58, size);
    out.push_back(m);
    at += 58 + size;
  }
  return out;
}

class TFakeConnection : public INetConnection {
 public:
  explicit TFakeConnection(std::shared_ptr<std::string> sink) : sink_(std::move(sink)) {}
  TNetIo Send(const uint8_t* data, size_t size) override {
    sink_->append(reinterpret_cast<const char*>(data), size);
    return {size, false, ""};
  }
  TNetIo Receive(uint8_t*, size_t) override { return {}; }
  void Close() override {}
  std::string Peer() const override { return "127.0.0.1:50000"; }

 private:
  std::shared_ptr<std::string> sink_;
};

class TFakeListener : public INetListener {
 public:
  explicit TFakeListener(TFakeNet& net) : net_(net) {}
  std::string Listen(const std::string& address, uint16_t port) override {
    if (!net_.listenError.empty()) return net_.listenError;
    net_.address = address;
    net_.port = port;
    net_.listening = true;
    return {};
  }
  std::unique_ptr<INetConnection> Accept() override {
    if (!net_.listening || net_.pendingClients == 0) return nullptr;
    --net_.pendingClients;
    net_.received.push_back(std::make_shared<std::string>());
    return std::make_unique<TFakeConnection>(net_.received.back());
  }
  uint16_t Port() const override { return net_.listening ? net_.port : 0; }
  void Close() override { net_.listening = false; }

 private:
  TFakeNet& net_;
};

class TFakeNetStack : public INetStack {
 public:
  TFakeNet net;
  std::unique_ptr<INetListener> NewListener() override { return std::make_unique<TFakeListener>(net); }
};
