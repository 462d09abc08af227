#include "LoopbackClient.h"

#include <sstream>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <chrono>
#include <cstring>
#include <thread>

namespace igtltest {

namespace {

#ifdef _WIN32
using TSock = SOCKET;
const TSock kNoSocket = INVALID_SOCKET;
bool Again() {
  const int e = WSAGetLastError();
  return e == WSAEWOULDBLOCK || e == WSAEINTR;
}
void CloseSock(TSock s) { closesocket(s); }
bool StartSockets() {
  static const bool ok = [] {
    WSADATA d{};
    return WSAStartup(MAKEWORD(2, 2), &d) == 0;
  }();
  return ok;
}
bool SetNonBlocking(TSock s) {
  u_long on = 1;
  return ioctlsocket(s, FIONBIO, &on) == 0;
}
#else
using TSock = int;
const TSock kNoSocket = -1;
bool Again() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }
void CloseSock(TSock s) { close(s); }
bool StartSockets() { return true; }
bool SetNonBlocking(TSock s) { return fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK) == 0; }
#endif

uint64_t BigEndian(const char* p, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | static_cast<uint8_t>(p[i]);
  return v;
}

std::string Field(const char* p, size_t n) {
  size_t len = 0;
  while (len < n && p[len] != 0) ++len;
  return std::string(p, len);
}

}  // namespace

TLoopbackClient::~TLoopbackClient() { Close(); }

bool TLoopbackClient::Connect(uint16_t port, int receiveBuffer) {
  Close();
  closed_ = false;
  if (!StartSockets()) return false;
  TSock s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == kNoSocket) return false;
  if (receiveBuffer > 0)
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer), sizeof receiveBuffer);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || !SetNonBlocking(s)) {
    CloseSock(s);
    return false;
  }
  fd_ = static_cast<intptr_t>(s);
  return true;
}

bool TLoopbackClient::SendAll(std::string_view bytes) {
  if (fd_ == -1) return false;
  const TSock s = static_cast<TSock>(fd_);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!bytes.empty()) {
    const auto n = send(s, bytes.data(), static_cast<int>(bytes.size()), 0);
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
    } else if (n < 0 && Again() && std::chrono::steady_clock::now() < end) {
      Nap(1);
    } else {
      return false;
    }
  }
  return true;
}

bool TLoopbackClient::Pump() {
  if (fd_ == -1) return !closed_;
  const TSock s = static_cast<TSock>(fd_);
  char buf[65536];
  for (int rounds = 0; rounds < 64; ++rounds) {
    const auto n = recv(s, buf, sizeof buf, 0);
    if (n > 0) {
      pending_.append(buf, static_cast<size_t>(n));
      received += static_cast<uint64_t>(n);
      continue;
    }
    if (n < 0 && Again()) break;
    closed_ = true;  // orderly close or reset
    break;
  }
  // Whole messages out of the bytes received.
  size_t at = 0;
  while (parseError.empty() && pending_.size() - at >= 58) {
    const char* h = pending_.data() + at;
    const uint64_t bodySize = BigEndian(h + 42, 8);
    if (bodySize > (1u << 20)) {
      parseError = "body size " + std::to_string(bodySize);
      break;
    }
    if (pending_.size() - at < 58 + bodySize) break;
    TReceived m;
    m.version = static_cast<uint16_t>(BigEndian(h, 2));
    m.type = Field(h + 2, 12);
    m.device = Field(h + 14, 20);
    m.timestamp = BigEndian(h + 34, 8);
    m.crc = BigEndian(h + 50, 8);
    m.body.assign(h + 58, static_cast<size_t>(bodySize));
    messages.push_back(std::move(m));
    at += 58 + static_cast<size_t>(bodySize);
  }
  pending_.erase(0, at);
  return !closed_;
}

void TLoopbackClient::Close() {
  if (fd_ != -1) CloseSock(static_cast<TSock>(fd_));
  fd_ = -1;
}

float BodyFloat(const std::string& body, size_t index) {
  const uint32_t bits = static_cast<uint32_t>(BigEndian(body.data() + 4 * index, 4));
  float f = 0;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

uint16_t StatusCode(const std::string& body) { return static_cast<uint16_t>(BigEndian(body.data(), 2)); }

void Nap(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace igtltest

std::vector<TPrintedMatrix> PrintedMatrices(const std::string& out) {
  std::vector<TPrintedMatrix> result;
  TPrintedMatrix current;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream in(line);
    TPrintedMatrix row;
    double v = 0;
    char comma = 0;
    while (in >> v) {
      row.push_back(v);
      if (!(in >> comma)) break;
    }
    if (row.size() != 4) continue;
    current.insert(current.end(), row.begin(), row.end());
    if (current.size() == 16) {
      result.push_back(current);
      current.clear();
    }
  }
  return result;
}
