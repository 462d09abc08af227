#include "igtl/IgtlServer.h"

#include <algorithm>
#include <chrono>

namespace {

// Bytes read from one client in one Poll at most, so that a client that floods
// the server cannot hold up the window's tick.
constexpr size_t kReadPerPoll = 64 * 1024;

// "127.0.0.1:18944", "[::1]:18944".
std::string HostPort(const std::string& address, uint16_t port) {
  const std::string host = address.find(':') != std::string::npos ? "[" + address + "]" : address;
  return (host.empty() ? std::string("0.0.0.0") : host) + ":" + std::to_string(port);
}

}  // namespace

int64_t IgtlEpochOffsetMs(uint64_t monotonicNowMs) {
  const auto wall = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return static_cast<int64_t>(wall.count()) - static_cast<int64_t>(monotonicNowMs);
}

TIgtlServer::TIgtlServer(INetStack& net) : net_(net) {}

TIgtlServer::~TIgtlServer() { Stop(); }

std::string TIgtlServer::Start(const std::string& address, uint16_t port) {
  Stop();
  address_ = address;
  dropped_ = 0;
  lastDrop_.clear();
  std::unique_ptr<INetListener> listener = net_.NewListener();
  const std::string error = listener ? listener->Listen(address, port) : "no network";
  if (!error.empty())
    return "OpenIGTLink server: cannot listen on " + HostPort(address, port) + ": " + error;
  listener_ = std::move(listener);
  return {};
}

void TIgtlServer::Stop() {
  for (auto& c : clients_) c->conn->Close();
  clients_.clear();
  if (listener_) listener_->Close();
  listener_.reset();
}

uint16_t TIgtlServer::Port() const { return listener_ ? listener_->Port() : 0; }

std::string TIgtlServer::StateText() const {
  if (!listener_) return "OpenIGTLink off";
  const int n = ClientCount();
  return "OpenIGTLink " + HostPort(address_, Port()) + ", " + std::to_string(n) +
         (n == 1 ? " client" : " clients");
}

void TIgtlServer::Poll(uint64_t nowMs) {
  lastPollMs_ = nowMs;
  if (!listener_) return;
  AcceptClients(nowMs);
  for (auto& c : clients_) {
    ReadFrom(*c);
    if (c->dropReason.empty() && c->queue.empty() &&
        nowMs >= c->lastQueuedMs + kKeepAliveMs) {
      const int64_t epochMs = static_cast<int64_t>(nowMs) + epochOffsetMs_;
      Enqueue(*c, std::make_shared<const std::string>(EncodeIgtlStatus("", kIgtlStatusOk, 0, "", "", epochMs)));
      c->lastQueuedMs = nowMs;
    }
    Flush(*c);
  }
  DropMarked();
}

void TIgtlServer::SendTransform(const char* deviceName, const double translationMm[3],
                                uint64_t timestampMs) {
  if (clients_.empty()) return;
  const int64_t epochMs = static_cast<int64_t>(timestampMs) + epochOffsetMs_;
  auto message = std::make_shared<const std::string>(
      EncodeIgtlTransform(deviceName != nullptr ? deviceName : "", IgtlTranslation(translationMm), epochMs));
  for (auto& c : clients_) {
    Enqueue(*c, message);
    c->lastQueuedMs = lastPollMs_;
    Flush(*c);
  }
  DropMarked();
}

void TIgtlServer::AcceptClients(uint64_t nowMs) {
  // A bounded number per tick: a burst of connections waits for the next ticks.
  for (int i = 0; i < 2 * kMaxClients; ++i) {
    std::unique_ptr<INetConnection> conn = listener_->Accept();
    if (!conn) return;
    if (ClientCount() >= kMaxClients) {
      const std::string busy = EncodeIgtlStatus(
          "", kIgtlStatusBusy, 0, "Busy",
          "This OpenIGTLink server serves " + std::to_string(kMaxClients) + " clients at most",
          static_cast<int64_t>(nowMs) + epochOffsetMs_);
      conn->Send(reinterpret_cast<const uint8_t*>(busy.data()), busy.size());
      conn->Close();
      ++dropped_;
      lastDrop_ = conn->Peer() + ": too many clients";
      continue;
    }
    auto c = std::make_unique<TClient>();
    c->conn = std::move(conn);
    c->lastQueuedMs = nowMs;
    clients_.push_back(std::move(c));
  }
}

void TIgtlServer::ReadFrom(TClient& c) {
  uint8_t buffer[16 * 1024];
  size_t total = 0;
  while (total < kReadPerPoll) {
    const TNetIo io = c.conn->Receive(buffer, sizeof buffer);
    if (io.ended) {
      c.dropReason = io.error.empty() ? "closed by the client" : io.error;
      return;
    }
    if (io.bytes == 0) return;
    total += io.bytes;
    if (!c.reader.Feed(buffer, io.bytes)) {
      c.dropReason = "not OpenIGTLink: " + c.reader.Error();
      return;
    }
  }
}

void TIgtlServer::Enqueue(TClient& c, const std::shared_ptr<const std::string>& message) {
  if (!c.dropReason.empty()) return;
  // What the system takes now makes room first.
  if (c.queued + message->size() > kSendQueueLimit) Flush(c);
  if (!c.dropReason.empty()) return;
  if (c.queued + message->size() > kSendQueueLimit) {
    c.dropReason = "send queue full (the client does not read)";
    return;
  }
  c.queue.push_back(message);
  c.queued += message->size();
}

void TIgtlServer::Flush(TClient& c) {
  while (c.dropReason.empty() && !c.queue.empty()) {
    const std::string& m = *c.queue.front();
    const TNetIo io = c.conn->Send(reinterpret_cast<const uint8_t*>(m.data()) + c.offset, m.size() - c.offset);
    if (io.ended) {
      c.dropReason = io.error.empty() ? "closed by the client" : io.error;
      return;
    }
    if (io.bytes == 0) return;
    c.offset += io.bytes;
    c.queued -= io.bytes;
    if (c.offset < m.size()) return;
    c.queue.pop_front();
    c.offset = 0;
  }
}

void TIgtlServer::DropMarked() {
  for (auto& c : clients_) {
    if (c->dropReason.empty()) continue;
    ++dropped_;
    lastDrop_ = c->conn->Peer() + ": " + c->dropReason;
    c->conn->Close();
  }
  std::erase_if(clients_, [](const std::unique_ptr<TClient>& c) { return !c->dropReason.empty(); });
}
