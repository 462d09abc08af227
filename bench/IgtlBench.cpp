// What one tracker reading costs the window's thread when the OpenIGTLink server
// passes it on: SendTransform (one encode, queued and sent to every client) and
// the tick's Poll, with 1 and 8 clients on real loopback sockets. A thread of its
// own reads the clients all along, as receivers would.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "NetServer.h"
#include "igtl/IgtlServer.h"

namespace {

class TReaders {
 public:
  TReaders(uint16_t port, int n) {
    for (int i = 0; i < n; ++i) {
      const int fd = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(port);
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        if (fd >= 0) close(fd);
        continue;
      }
      fds_.push_back({fd, POLLIN, 0});
    }
    thread_ = std::thread([this] { Drain(); });
  }
  ~TReaders() {
    stop_ = true;
    thread_.join();
    for (const pollfd& p : fds_) close(p.fd);
  }
  int Connected() const { return static_cast<int>(fds_.size()); }

 private:
  void Drain() {
    char buf[65536];
    while (!stop_) {
      if (poll(fds_.data(), fds_.size(), 20) <= 0) continue;
      for (pollfd& p : fds_)
        if (p.revents & POLLIN) (void)recv(p.fd, buf, sizeof buf, MSG_DONTWAIT);
    }
  }

  std::vector<pollfd> fds_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void BM_IgtlReading(benchmark::State& state) {
  const int clients = static_cast<int>(state.range(0));
  TSystemNetStack net;
  TIgtlServer server(net);
  if (!server.Start("127.0.0.1", 0).empty()) {
    state.SkipWithError("cannot listen");
    return;
  }
  TReaders readers(server.Port(), clients);
  uint64_t now = 0;
  for (int i = 0; i < 1000 && server.ClientCount() < clients; ++i) {
    server.Poll(now);
    usleep(1000);
  }
  if (readers.Connected() != clients || server.ClientCount() != clients) {
    state.SkipWithError("the clients did not connect");
    return;
  }
  double mm[3] = {12.5, -7.25, 100};
  for (auto _ : state) {
    now += 10;
    mm[0] += 0.01;
    server.SendTransform("StylusToTracker", mm, now);
    server.Poll(now);
  }
  if (server.ClientCount() != clients) state.SkipWithError("a client was dropped");
  state.counters["clients"] = clients;
}

}  // namespace

BENCHMARK(BM_IgtlReading)->Arg(1)->Arg(8);
