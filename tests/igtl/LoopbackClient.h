#pragma once
// A plain TCP client on 127.0.0.1 for the server tests, written straight on the
// system's sockets (BSD or Winsock) and independent of the server's code, with a
// parser of the OpenIGTLink messages it receives.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace igtltest {

// One message as received: header fields and the body.
struct TReceived {
  uint16_t version = 0;
  std::string type;
  std::string device;
  uint64_t timestamp = 0;
  uint64_t crc = 0;
  std::string body;
};

class TLoopbackClient {
 public:
  TLoopbackClient() = default;
  ~TLoopbackClient();
  TLoopbackClient(const TLoopbackClient&) = delete;
  TLoopbackClient& operator=(const TLoopbackClient&) = delete;

  // Connects to 127.0.0.1:port; `receiveBuffer` > 0 sets SO_RCVBUF first. The
  // socket is non-blocking afterwards. False when the connection failed.
  bool Connect(uint16_t port, int receiveBuffer = 0);
  // Sends every byte (waits while the system's buffer is full, at most 5 s).
  bool SendAll(std::string_view bytes);
  // Reads whatever has arrived without waiting and parses the whole messages.
  // False once the server closed the connection (or reset it).
  bool Pump();
  bool Closed() const { return closed_; }
  void Close();

  // Messages received so far, in order; the caller may clear it.
  std::vector<TReceived> messages;
  // Bytes received in all.
  uint64_t received = 0;
  // When the bytes received are not a stream of whole messages: why.
  std::string parseError;

 private:
  intptr_t fd_ = -1;
  bool closed_ = false;
  std::string pending_;
};

// Big-endian float32 number `index` of a body.
float BodyFloat(const std::string& body, size_t index);
// The status code of a STATUS body.
uint16_t StatusCode(const std::string& body);
// Milliseconds to sleep in polling loops.
void Nap(int ms);

}  // namespace igtltest

// What Debian's example ReceiveClient prints: each TRANSFORM's 4x4 matrix, 16
// numbers row by row, read from every line of four comma-separated numbers.
using TPrintedMatrix = std::vector<double>;
std::vector<TPrintedMatrix> PrintedMatrices(const std::string& out);
