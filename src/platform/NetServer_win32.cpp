#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <string>

#include "NetAddress.h"
#include "NetServer.h"

namespace {

// Winsock is started once for the process and left running until it ends.
bool WinsockReady() {
  static const bool ready = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

// The system's text for a Winsock error, without the line end and full stop that
// FormatMessage appends; the number when there is no text.
std::string SocketErrorText(int code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                 reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string s = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '.')) s.pop_back();
  if (s.empty()) s = "socket error " + std::to_string(code);
  return s;
}

// "127.0.0.1:50112" or "[::1]:50112".
std::string AddressText(const sockaddr_storage& a) {
  char host[INET6_ADDRSTRLEN] = "?";
  if (a.ss_family == AF_INET) {
    auto v4 = *reinterpret_cast<const sockaddr_in*>(&a);
    inet_ntop(AF_INET, &v4.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(v4.sin_port));
  }
  auto v6 = *reinterpret_cast<const sockaddr_in6*>(&a);
  inet_ntop(AF_INET6, &v6.sin6_addr, host, sizeof host);
  return "[" + std::string(host) + "]:" + std::to_string(ntohs(v6.sin6_port));
}

bool WouldBlock(int e) { return e == WSAEWOULDBLOCK || e == WSAEINTR || e == WSAEINPROGRESS; }

// Chunks of at most this much per call (send and recv take an int).
constexpr size_t kMaxChunk = 1 << 30;

class TWinConnection : public INetConnection {
 public:
  TWinConnection(SOCKET s, std::string peer) : s_(s), peer_(std::move(peer)) {}
  ~TWinConnection() override { Close(); }

  TNetIo Send(const uint8_t* data, size_t size) override {
    TNetIo io;
    if (s_ == INVALID_SOCKET) {
      io.ended = true;
      io.error = "connection closed";
      return io;
    }
    if (size == 0) return io;
    const int n = ::send(s_, reinterpret_cast<const char*>(data), static_cast<int>(size < kMaxChunk ? size : kMaxChunk), 0);
    if (n != SOCKET_ERROR) {
      io.bytes = static_cast<size_t>(n);
    } else if (const int e = WSAGetLastError(); !WouldBlock(e)) {
      io.ended = true;
      io.error = SocketErrorText(e);
    }
    return io;
  }

  TNetIo Receive(uint8_t* buffer, size_t size) override {
    TNetIo io;
    if (s_ == INVALID_SOCKET) {
      io.ended = true;
      io.error = "connection closed";
      return io;
    }
    if (size == 0) return io;
    const int n = ::recv(s_, reinterpret_cast<char*>(buffer), static_cast<int>(size < kMaxChunk ? size : kMaxChunk), 0);
    if (n > 0) {
      io.bytes = static_cast<size_t>(n);
    } else if (n == 0) {
      io.ended = true;
    } else if (const int e = WSAGetLastError(); !WouldBlock(e)) {
      io.ended = true;
      io.error = SocketErrorText(e);
    }
    return io;
  }

  void Close() override {
    if (s_ != INVALID_SOCKET) ::closesocket(s_);
    s_ = INVALID_SOCKET;
  }

  std::string Peer() const override { return peer_; }

 private:
  SOCKET s_;
  std::string peer_;
};

class TWinListener : public INetListener {
 public:
  ~TWinListener() override { Close(); }

  std::string Listen(const std::string& address, uint16_t port) override {
    Close();
    if (!WinsockReady()) return "Winsock 2 is not available";
    sockaddr_storage a{};
    const int len = static_cast<int>(ListenAddress(address, port, a));
    if (len == 0) return kNotNumericAddress;
    const SOCKET s = ::socket(a.ss_family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return SocketErrorText(WSAGetLastError());
    u_long nonBlocking = 1;
    if (::bind(s, reinterpret_cast<const sockaddr*>(&a), len) != 0 || ::listen(s, 16) != 0 ||
        ::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
      const int e = WSAGetLastError();
      ::closesocket(s);
      return SocketErrorText(e);
    }
    sockaddr_storage bound{};
    int boundLen = sizeof bound;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&bound), &boundLen) == 0)
      port_ = AddressPort(bound);
    else
      port_ = port;
    s_ = s;
    return {};
  }

  std::unique_ptr<INetConnection> Accept() override {
    if (s_ == INVALID_SOCKET) return nullptr;
    for (;;) {
      sockaddr_storage peer{};
      int len = sizeof peer;
      const SOCKET s = ::accept(s_, reinterpret_cast<sockaddr*>(&peer), &len);
      if (s == INVALID_SOCKET) {
        // A connection that was reset before it was taken: try the next one.
        if (WSAGetLastError() == WSAECONNRESET) continue;
        return nullptr;
      }
      // Accepted sockets inherit the listener's mode; set it anyway.
      u_long nonBlocking = 1;
      BOOL one = TRUE;
      if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        ::closesocket(s);
        return nullptr;
      }
      ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
      return std::make_unique<TWinConnection>(s, AddressText(peer));
    }
  }

  uint16_t Port() const override { return s_ != INVALID_SOCKET ? port_ : 0; }

  void Close() override {
    if (s_ != INVALID_SOCKET) ::closesocket(s_);
    s_ = INVALID_SOCKET;
    port_ = 0;
  }

 private:
  SOCKET s_ = INVALID_SOCKET;
  uint16_t port_ = 0;
};

}  // namespace

std::unique_ptr<INetListener> TSystemNetStack::NewListener() { return std::make_unique<TWinListener>(); }
