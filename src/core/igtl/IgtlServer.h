#pragma once
// TIgtlServer: an OpenIGTLink server that hands each tracker reading to up to
// eight clients (3D Slicer, PLUS-style receivers) as a TRANSFORM message. It lives
// on the window's thread and is driven by its 25 ms tick; no call ever blocks.
//
//  - Poll accepts new clients (a ninth is sent a STATUS "Busy" and closed at once),
//    reads and throws away what clients send (TIgtlReader: a client whose stream
//    is not OpenIGTLink is dropped), sends what is queued, and queues a STATUS OK
//    keep-alive for every client that was sent nothing for 250 ms.
//  - SendTransform encodes one message and queues the same bytes for every client.
//  - Each client has its own send queue of at most 256 KB: a client that stops
//    reading is dropped when its queue would overflow; the others never wait for it.
//
// Times: Poll's `nowMs` is a monotonic clock (IClock::NowMs); the keep-alives
// count in it. The header's timestamp wants wall-clock time since 1970: it is the
// caller's milliseconds plus the offset set by SetEpochOffsetMs (0 by default, in
// which case the caller's milliseconds are taken as since 1970).
// IgtlEpochOffsetMs(clock.NowMs()) gives the offset of a monotonic clock.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "igtl/IgtlReader.h"
#include "igtl/NetSockets.h"

// Milliseconds to add to `monotonicNowMs` (a reading of a monotonic clock taken
// now) to get milliseconds since 1970 (the system's wall clock).
int64_t IgtlEpochOffsetMs(uint64_t monotonicNowMs);

class TIgtlServer {
 public:
  static constexpr int kMaxClients = 8;
  static constexpr size_t kSendQueueLimit = 256 * 1024;
  static constexpr uint64_t kKeepAliveMs = 250;
  static constexpr uint16_t kDefaultPort = 18944;

  explicit TIgtlServer(INetStack& net);
  ~TIgtlServer();
  TIgtlServer(const TIgtlServer&) = delete;
  TIgtlServer& operator=(const TIgtlServer&) = delete;

  // Listens on `address` ("127.0.0.1", "0.0.0.0", "::1") and `port` (0: one the
  // system chooses; Port() tells which), after a Stop when it was listening.
  // Returns an empty text, or a sentence for the operator:
  // "OpenIGTLink server: cannot listen on 127.0.0.1:18944: Address already in use".
  std::string Start(const std::string& address, uint16_t port);
  // Closes every client and the listening socket; harmless when stopped.
  void Stop();
  // Accepts, reads, writes and keeps clients alive (see above).
  void Poll(uint64_t nowMs);
  // Queues a TRANSFORM with identity rotation and this translation (millimetres)
  // for every client and sends what the system takes at once. The device name is
  // cut to 20 bytes. Nothing happens without clients.
  void SendTransform(const char* deviceName, const double translationMm[3], uint64_t timestampMs);

  void SetEpochOffsetMs(int64_t offsetMs) { epochOffsetMs_ = offsetMs; }
  int64_t EpochOffsetMs() const { return epochOffsetMs_; }

  int ClientCount() const { return static_cast<int>(clients_.size()); }
  bool Listening() const { return listener_ != nullptr; }
  // What Start was given (the address also when stopped, for the status line).
  std::string Address() const { return address_; }
  // The port listened on; 0 when stopped.
  uint16_t Port() const;
  // "OpenIGTLink 127.0.0.1:18944, 2 clients" or "OpenIGTLink off".
  std::string StateText() const;
  // Clients dropped or refused since Start (not OpenIGTLink, closed, failed, send
  // queue full, a ninth client) and the reason of the last one
  // ("127.0.0.1:50112: send queue full (the client does not read)").
  uint64_t DroppedCount() const { return dropped_; }
  const std::string& LastDropReason() const { return lastDrop_; }

 private:
  struct TClient {
    std::unique_ptr<INetConnection> conn;
    TIgtlReader reader;
    // Messages waiting, shared between clients; `offset` bytes of the first are sent.
    std::deque<std::shared_ptr<const std::string>> queue;
    size_t offset = 0;
    size_t queued = 0;  // bytes waiting in `queue`, `offset` deducted
    uint64_t lastQueuedMs = 0;
    std::string dropReason;  // set when the client is to be dropped
  };

  void AcceptClients(uint64_t nowMs);
  void ReadFrom(TClient& c);
  void Enqueue(TClient& c, const std::shared_ptr<const std::string>& message);
  void Flush(TClient& c);
  // Removes the clients that have a drop reason.
  void DropMarked();

  INetStack& net_;
  std::unique_ptr<INetListener> listener_;
  std::string address_;
  std::vector<std::unique_ptr<TClient>> clients_;
  int64_t epochOffsetMs_ = 0;
  uint64_t lastPollMs_ = 0;
  uint64_t dropped_ = 0;
  std::string lastDrop_;
};
