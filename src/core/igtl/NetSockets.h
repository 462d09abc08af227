#pragma once
// The TCP sockets the OpenIGTLink server needs, as small contracts: a listening
// socket and the connections it accepts. Nothing here ever blocks: every call
// returns at once with what the system could do. src/platform/NetServer.h holds
// the system's implementation (BSD sockets, Winsock 2); tests may pass their own.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The outcome of one Send or Receive.
struct TNetIo {
  size_t bytes = 0;    // bytes taken by Send, or stored by Receive
  bool ended = false;  // the connection is over: the peer closed it, or it failed
  std::string error;   // when ended by a failure, the system's reason; empty when the peer closed
};

class INetConnection {
 public:
  virtual ~INetConnection() = default;
  // Passes as many of `size` bytes to the system as it takes now: bytes = 0 when
  // its send buffer is full. Never raises SIGPIPE.
  virtual TNetIo Send(const uint8_t* data, size_t size) = 0;
  // Stores up to `size` bytes that have arrived: bytes = 0 and not ended when
  // none are waiting; ended with no error when the peer closed the connection.
  virtual TNetIo Receive(uint8_t* buffer, size_t size) = 0;
  // Closes the connection; harmless when it is closed. The destructor closes it.
  virtual void Close() = 0;
  // The peer's address and port, "127.0.0.1:50112" ("[::1]:50112" for IPv6).
  virtual std::string Peer() const = 0;
};

class INetListener {
 public:
  virtual ~INetListener() = default;
  // Listens on a numeric IPv4 or IPv6 address ("127.0.0.1", "0.0.0.0", "::1"; an
  // empty address is every IPv4 address) and a port (0: one the system chooses).
  // A listener still open is closed first. Returns an empty text on success,
  // otherwise the reason in the system's words ("Address already in use").
  virtual std::string Listen(const std::string& address, uint16_t port) = 0;
  // The next waiting connection, set up for non-blocking use with Nagle's delay
  // off; nullptr when none is waiting or the listener is closed.
  virtual std::unique_ptr<INetConnection> Accept() = 0;
  // The port listened on (the system's choice after Listen with port 0); 0 when closed.
  virtual uint16_t Port() const = 0;
  // Stops listening; harmless when closed. The destructor closes it.
  virtual void Close() = 0;
};

// Makes listening sockets.
class INetStack {
 public:
  virtual ~INetStack() = default;
  virtual std::unique_ptr<INetListener> NewListener() = 0;
};
