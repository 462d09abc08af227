#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "NetAddress.h"
#include "NetServer.h"

namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

// "127.0.0.1:50112" or "[::1]:50112".
std::string AddressText(const sockaddr_storage& a) {
  char host[INET6_ADDRSTRLEN] = "?";
  uint16_t port = 0;
  if (a.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&a);
    inet_ntop(AF_INET, &v4->sin_addr, host, sizeof host);
    port = ntohs(v4->sin_port);
    return std::string(host) + ":" + std::to_string(port);
  }
  if (a.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&a);
    inet_ntop(AF_INET6, &v6->sin6_addr, host, sizeof host);
    port = ntohs(v6->sin6_port);
  }
  return "[" + std::string(host) + "]:" + std::to_string(port);
}

bool WouldBlock(int e) { return e == EAGAIN || e == EWOULDBLOCK || e == EINTR; }

class TPosixConnection : public INetConnection {
 public:
  TPosixConnection(int fd, std::string peer) : fd_(fd), peer_(std::move(peer)) {}
  ~TPosixConnection() override { Close(); }

  TNetIo Send(const uint8_t* data, size_t size) override {
    TNetIo io;
    if (fd_ < 0) {
      io.ended = true;
      io.error = "connection closed";
      return io;
    }
    if (size == 0) return io;
    const ssize_t n = ::send(fd_, data, size, kSendFlags);
    if (n >= 0) {
      io.bytes = static_cast<size_t>(n);
    } else if (!WouldBlock(errno)) {
      io.ended = true;
      io.error = std::strerror(errno);
    }
    return io;
  }

  TNetIo Receive(uint8_t* buffer, size_t size) override {
    TNetIo io;
    if (fd_ < 0) {
      io.ended = true;
      io.error = "connection closed";
      return io;
    }
    if (size == 0) return io;
    const ssize_t n = ::recv(fd_, buffer, size, 0);
    if (n > 0) {
      io.bytes = static_cast<size_t>(n);
    } else if (n == 0) {
      io.ended = true;
    } else if (!WouldBlock(errno)) {
      io.ended = true;
      io.error = std::strerror(errno);
    }
    return io;
  }

  void Close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  std::string Peer() const override { return peer_; }

 private:
  int fd_;
  std::string peer_;
};

class TPosixListener : public INetListener {
 public:
  ~TPosixListener() override { Close(); }

  std::string Listen(const std::string& address, uint16_t port) override {
    Close();
    sockaddr_storage a{};
    const socklen_t len = static_cast<socklen_t>(ListenAddress(address, port, a));
    if (len == 0) return kNotNumericAddress;
    const int fd = ::socket(a.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::strerror(errno);
    const int one = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&a), len) != 0 || ::listen(fd, 16) != 0) {
      const int e = errno;
      ::close(fd);
      return std::strerror(e);
    }
    sockaddr_storage bound{};
    socklen_t boundLen = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLen) == 0)
      port_ = AddressPort(bound);
    else
      port_ = port;
    fd_ = fd;
    return {};
  }

  std::unique_ptr<INetConnection> Accept() override {
    if (fd_ < 0) return nullptr;
    for (;;) {
      sockaddr_storage peer{};
      socklen_t len = sizeof peer;
      const int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        // A connection that was reset before it was taken: try the next one.
        if (errno == ECONNABORTED || errno == EINTR) continue;
        return nullptr;
      }
      const int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      return std::make_unique<TPosixConnection>(fd, AddressText(peer));
    }
  }

  uint16_t Port() const override { return fd_ >= 0 ? port_ : 0; }

  void Close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    port_ = 0;
  }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

}  // namespace

std::unique_ptr<INetListener> TSystemNetStack::NewListener() { return std::make_unique<TPosixListener>(); }
