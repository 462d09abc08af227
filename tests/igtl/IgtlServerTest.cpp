// TIgtlServer over real sockets on 127.0.0.1 (BSD sockets natively, Winsock under
// Wine), with plain socket clients; and its send queues against scripted
// connections, where the system's buffers cannot blur the limits.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>

#include "IgtlCraft.h"
#include "LoopbackClient.h"
#include "NetServer.h"
#include "igtl/IgtlServer.h"

using namespace igtltest;

namespace {

constexpr size_t kTransformSize = 58 + 48;

class IgtlServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(server.Start("127.0.0.1", 0), "");
    port = server.Port();
    ASSERT_NE(port, 0);
  }

  // Polls the server and reads the clients until `done` holds; false after about
  // 20 s (the tests never come near that).
  bool Until(const std::function<bool()>& done, const std::vector<TLoopbackClient*>& clients = {}) {
    for (int i = 0; i < 4000; ++i) {
      server.Poll(now);
      for (TLoopbackClient* c : clients) c->Pump();
      if (done()) return true;
      Nap(5);
    }
    return false;
  }

  // A client that the server has taken on.
  std::unique_ptr<TLoopbackClient> Join(int receiveBuffer = 0) {
    auto c = std::make_unique<TLoopbackClient>();
    const int before = server.ClientCount();
    EXPECT_TRUE(c->Connect(port, receiveBuffer));
    EXPECT_TRUE(Until([&] { return server.ClientCount() == before + 1; }));
    return c;
  }

  void Send(double x, double y, double z, uint64_t t = 0) {
    const double mm[3] = {x, y, z};
    server.SendTransform("StylusToTracker", mm, t);
  }

  static size_t Count(const TLoopbackClient& c, const std::string& type) {
    size_t n = 0;
    for (const TReceived& m : c.messages) n += m.type == type ? 1 : 0;
    return n;
  }

  TSystemNetStack net;
  TIgtlServer server{net};
  uint16_t port = 0;
  uint64_t now = 1000;  // stands still unless a test moves it: no keep-alives
};

TEST_F(IgtlServerTest, StateTextFollowsClientsAndStop) {
  const std::string at = "OpenIGTLink 127.0.0.1:" + std::to_string(port);
  EXPECT_TRUE(server.Listening());
  EXPECT_EQ(server.Address(), "127.0.0.1");
  EXPECT_EQ(server.StateText(), at + ", 0 clients");
  auto a = Join();
  EXPECT_EQ(server.StateText(), at + ", 1 client");
  auto b = Join();
  EXPECT_EQ(server.StateText(), at + ", 2 clients");
  server.Stop();
  EXPECT_FALSE(server.Listening());
  EXPECT_EQ(server.Port(), 0);
  EXPECT_EQ(server.ClientCount(), 0);
  EXPECT_EQ(server.StateText(), "OpenIGTLink off");
  // Both clients see the end of the connection.
  EXPECT_TRUE(Until([&] { return a->Closed() && b->Closed(); }, {a.get(), b.get()}));
  server.Poll(now);  // harmless when stopped
  Send(1, 2, 3);
}

TEST_F(IgtlServerTest, TwoClientsReceiveTheSameTransforms) {
  auto a = Join();
  auto b = Join();
  server.SetEpochOffsetMs(1700000000000);
  for (int i = 0; i < 5; ++i) Send(10.5 * i, -2.25 * i, 300 + i, 123 + i);
  ASSERT_TRUE(Until([&] { return a->messages.size() == 5 && b->messages.size() == 5; }, {a.get(), b.get()}));
  for (int i = 0; i < 5; ++i) {
    const TReceived& m = a->messages[i];
    EXPECT_EQ(m.version, 1);
    EXPECT_EQ(m.type, "TRANSFORM");
    EXPECT_EQ(m.device, "StylusToTracker");
    EXPECT_EQ(m.timestamp, IgtlTimestamp(1700000000123 + i));
    EXPECT_EQ(m.crc, SlowCrc64(m.body));
    ASSERT_EQ(m.body.size(), 48u);
    const float want[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 10.5f * i, -2.25f * i, 300.0f + i};
    for (int k = 0; k < 12; ++k) EXPECT_EQ(BodyFloat(m.body, k), want[k]) << i << " " << k;
    EXPECT_EQ(b->messages[i].body, m.body);
    EXPECT_EQ(b->messages[i].timestamp, m.timestamp);
  }
  EXPECT_EQ(a->parseError, "");
}

// Streams that are not OpenIGTLink: the client goes, the other keeps receiving.
struct BadStream {
  const char* name;
  std::string bytes;
};

class IgtlServerBadClientTest : public IgtlServerTest, public ::testing::WithParamInterface<BadStream> {};

TEST_P(IgtlServerBadClientTest, DroppedWhileTheOtherKeepsReceiving) {
  auto good = Join();
  auto bad = Join();
  Send(1, 2, 3);
  ASSERT_TRUE(bad->SendAll(GetParam().bytes));
  ASSERT_TRUE(Until([&] { return bad->Closed(); }, {good.get(), bad.get()}));
  EXPECT_EQ(server.ClientCount(), 1);
  EXPECT_EQ(server.DroppedCount(), 1u);
  EXPECT_NE(server.LastDropReason().find("not OpenIGTLink"), std::string::npos) << server.LastDropReason();
  Send(4, 5, 6);
  ASSERT_TRUE(Until([&] { return good->messages.size() == 2; }, {good.get()}));
  EXPECT_EQ(BodyFloat(good->messages[1].body, 11), 6.0f);
  EXPECT_FALSE(good->Closed());
}

INSTANTIATE_TEST_SUITE_P(
    Streams, IgtlServerBadClientTest,
    ::testing::Values(BadStream{"http", "GET / HTTP/1.1\r\nHost: 127.0.0.1:18944\r\n\r\n" + std::string(30, ' ')},
                      BadStream{"version_4", Header(4, "STATUS", "", 0)},
                      BadStream{"body_of_65_MB", Header(1, "IMAGE", "Scan", 65ull << 20)},
                      BadStream{"control_byte_in_name", Header(1, "STATUS", "Dev\x1b", 0)},
                      BadStream{"garbage_after_greeting", SlicerGreeting() + std::string(100, '\0')}),
    [](const ::testing::TestParamInfo<BadStream>& info) { return std::string(info.param.name); });

TEST_F(IgtlServerTest, SlicersGreetingInPiecesKeepsTheClient) {
  auto a = Join();
  const std::string stream = SlicerGreeting() + Message(1, "GET_STATUS", "", "") +
                             Version2Message(2, "STATUS", "", StatusBody(1, "still here"), {});
  for (size_t at = 0; at < stream.size(); at += 13) {
    ASSERT_TRUE(a->SendAll(stream.substr(at, 13)));
    server.Poll(now);
    Nap(1);
  }
  Send(7, 8, 9);
  ASSERT_TRUE(Until([&] { return a->messages.size() == 1; }, {a.get()}));
  EXPECT_EQ(server.ClientCount(), 1);
  EXPECT_EQ(server.DroppedCount(), 0u);
  EXPECT_FALSE(a->Closed());
}

TEST_F(IgtlServerTest, KeepAliveAfter250MsWithoutAMessage) {
  auto a = Join();  // taken on at 1000
  // Each step: the time Poll sees, and whether a transform is sent right after.
  struct Step {
    uint64_t now;
    bool transform;
  };
  const Step steps[] = {{1100, false}, {1249, false}, {1250, false},  // keep-alive at 1250
                        {1300, true},  {1499, false}, {1549, false},  // transform at 1300
                        {1550, false},                                 // keep-alive at 1550
                        {1800, false},                                 // keep-alive at 1800
                        {1900, true}};
  for (const Step& s : steps) {
    now = s.now;
    server.Poll(now);
    if (s.transform) Send(s.now, 0, 0);
  }
  ASSERT_TRUE(Until([&] { return a->messages.size() >= 5; }, {a.get()}));
  Nap(50);
  a->Pump();
  std::vector<std::string> got;
  for (const TReceived& m : a->messages) got.push_back(m.type);
  EXPECT_EQ(got, (std::vector<std::string>{"STATUS", "TRANSFORM", "STATUS", "STATUS", "TRANSFORM"}));
  const TReceived& keepAlive = a->messages[0];
  EXPECT_EQ(keepAlive.version, 1);
  ASSERT_EQ(keepAlive.body.size(), 31u);
  EXPECT_EQ(StatusCode(keepAlive.body), 1);
  EXPECT_EQ(keepAlive.crc, SlowCrc64(keepAlive.body));
}

TEST_F(IgtlServerTest, NinthClientIsRefusedWhileEightStay) {
  std::vector<std::unique_ptr<TLoopbackClient>> eight;
  for (int i = 0; i < TIgtlServer::kMaxClients; ++i) eight.push_back(Join());
  ASSERT_EQ(server.ClientCount(), 8);
  TLoopbackClient ninth;
  ASSERT_TRUE(ninth.Connect(port));
  ASSERT_TRUE(Until([&] { return ninth.Closed(); }, {&ninth}));
  EXPECT_EQ(server.ClientCount(), 8);
  // What reached it before the close (if anything) is a STATUS "Busy".
  for (const TReceived& m : ninth.messages) {
    EXPECT_EQ(m.type, "STATUS");
    EXPECT_EQ(StatusCode(m.body), kIgtlStatusBusy);
  }
  Send(1, 1, 1);
  std::vector<TLoopbackClient*> all;
  for (auto& c : eight) all.push_back(c.get());
  ASSERT_TRUE(Until(
      [&] {
        for (auto* c : all)
          if (c->messages.size() != 1) return false;
        return true;
      },
      all));
  // A place that comes free is taken again.
  eight.back()->Close();
  ASSERT_TRUE(Until([&] { return server.ClientCount() == 7; }));
  auto again = Join();
  EXPECT_EQ(server.ClientCount(), 8);
}

TEST_F(IgtlServerTest, ClientThatNeverReadsIsDroppedAndTheOthersGetEverything) {
  auto a = Join();
  auto stuck = Join(4096);
  auto b = Join();
  // Sends until the stuck client's queue overflows (the system's buffers fill
  // first: a few megabytes), reading the other two all along.
  int sent = 0;
  for (; sent < 400000 && server.ClientCount() == 3; ++sent) {
    Send(sent, 0, 0);
    if (sent % 64 == 0) {
      server.Poll(now);
      a->Pump();
      b->Pump();
      Nap(0);
    }
  }
  ASSERT_EQ(server.ClientCount(), 2) << "after " << sent << " transforms";
  EXPECT_NE(server.LastDropReason().find("send queue full"), std::string::npos) << server.LastDropReason();
  for (int i = 0; i < 3; ++i) Send(sent + i, 0, 0);
  sent += 3;
  ASSERT_TRUE(Until([&] { return a->received == sent * kTransformSize && b->received == sent * kTransformSize; },
                    {a.get(), b.get()}))
      << a->received << " " << b->received << " of " << sent * kTransformSize;
  for (TLoopbackClient* c : {a.get(), b.get()}) {
    ASSERT_EQ(c->messages.size(), static_cast<size_t>(sent));
    for (int i = 0; i < sent; ++i) ASSERT_EQ(BodyFloat(c->messages[i].body, 9), static_cast<float>(i)) << i;
    EXPECT_FALSE(c->Closed());
  }
}

TEST_F(IgtlServerTest, PortInUseGivesThePlainSentence) {
  TIgtlServer second(net);
  const std::string error = second.Start("127.0.0.1", port);
  const std::string prefix = "OpenIGTLink server: cannot listen on 127.0.0.1:" + std::to_string(port) + ": ";
  ASSERT_EQ(error.substr(0, prefix.size()), prefix) << error;
  EXPECT_GT(error.size(), prefix.size() + 5) << error;
#ifndef _WIN32
  EXPECT_EQ(error, prefix + "Address already in use");
#endif
  EXPECT_FALSE(second.Listening());
  EXPECT_EQ(second.StateText(), "OpenIGTLink off");
  // The first one still serves.
  auto a = Join();
  Send(1, 2, 3);
  EXPECT_TRUE(Until([&] { return a->messages.size() == 1; }, {a.get()}));
}

TEST_F(IgtlServerTest, RestartOnTheSamePortAtOnce) {
  auto a = Join();
  Send(1, 2, 3);
  ASSERT_TRUE(Until([&] { return a->messages.size() == 1; }, {a.get()}));
  server.Stop();  // the server closes first: its side of the connection waits in TIME_WAIT
  ASSERT_TRUE(Until([&] { return a->Closed(); }, {a.get()}));
  a->Close();
  ASSERT_EQ(server.Start("127.0.0.1", port), "");
  EXPECT_EQ(server.Port(), port);
  auto b = Join();
  Send(4, 5, 6);
  EXPECT_TRUE(Until([&] { return b->messages.size() == 1; }, {b.get()}));
}

TEST_F(IgtlServerTest, ClientThatLeavesIsRemoved) {
  auto a = Join();
  auto b = Join();
  a->Close();
  ASSERT_TRUE(Until([&] { return server.ClientCount() == 1; }));
  Send(1, 2, 3);  // also a send to a closed peer must not hurt
  ASSERT_TRUE(Until([&] { return b->messages.size() == 1; }, {b.get()}));
  EXPECT_EQ(server.DroppedCount(), 1u);
  EXPECT_NE(server.LastDropReason().find("127.0.0.1:"), std::string::npos) << server.LastDropReason();
}

struct AddressCase {
  std::string address;
  uint16_t port;
  std::string error;  // the whole sentence
};

class IgtlServerAddressTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(IgtlServerAddressTest, NotAnAddress) {
  TSystemNetStack net;
  TIgtlServer server(net);
  EXPECT_EQ(server.Start(GetParam().address, GetParam().port), GetParam().error);
  EXPECT_FALSE(server.Listening());
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, IgtlServerAddressTest,
    ::testing::Values(
        AddressCase{"localhost", 18944,
                    "OpenIGTLink server: cannot listen on localhost:18944: not a numeric IPv4 or IPv6 address"},
        AddressCase{"256.1.2.3", 1,
                    "OpenIGTLink server: cannot listen on 256.1.2.3:1: not a numeric IPv4 or IPv6 address"},
        AddressCase{"fe80::zz", 18944,
                    "OpenIGTLink server: cannot listen on [fe80::zz]:18944: not a numeric IPv4 or IPv6 address"}));

// ---- Send queues against scripted connections ----

// What a scripted connection saw; it outlives the connection, which the server
// destroys when it drops the client.
struct TWire {
  long take = -1;  // bytes the system takes per Send, all when negative
  std::string sent;
  bool closed = false;
};

class TScriptedConnection : public INetConnection {
 public:
  explicit TScriptedConnection(TWire* wire) : wire_(wire) {}
  TNetIo Send(const uint8_t* data, size_t size) override {
    const size_t n = wire_->take < 0 ? size : std::min(size, static_cast<size_t>(wire_->take));
    wire_->sent.append(reinterpret_cast<const char*>(data), n);
    return TNetIo{n, false, ""};
  }
  TNetIo Receive(uint8_t*, size_t) override { return {}; }
  void Close() override { wire_->closed = true; }
  std::string Peer() const override { return "scripted"; }

 private:
  TWire* wire_;
};

class TScriptedListener : public INetListener {
 public:
  explicit TScriptedListener(std::deque<std::unique_ptr<INetConnection>>* waiting) : waiting_(waiting) {}
  std::string Listen(const std::string&, uint16_t) override { return {}; }
  std::unique_ptr<INetConnection> Accept() override {
    if (waiting_->empty()) return nullptr;
    auto c = std::move(waiting_->front());
    waiting_->pop_front();
    return c;
  }
  uint16_t Port() const override { return 18944; }
  void Close() override {}

 private:
  std::deque<std::unique_ptr<INetConnection>>* waiting_;
};

class TScriptedNet : public INetStack {
 public:
  std::unique_ptr<INetListener> NewListener() override { return std::make_unique<TScriptedListener>(&waiting); }
  TWire* Add(long take) {
    wires.push_back(std::make_unique<TWire>());
    wires.back()->take = take;
    waiting.push_back(std::make_unique<TScriptedConnection>(wires.back().get()));
    return wires.back().get();
  }
  std::deque<std::unique_ptr<INetConnection>> waiting;
  std::vector<std::unique_ptr<TWire>> wires;
};

// Queue limit 256 KB: 2473 transforms of 106 bytes fit, the 2474th does not.
TEST(IgtlServerQueue, DroppedExactlyWhenTheQueueWouldOverflow) {
  TScriptedNet net;
  TIgtlServer server(net);
  ASSERT_EQ(server.Start("127.0.0.1", 18944), "");
  TWire* stuck = net.Add(0);
  TWire* open = net.Add(-1);
  server.Poll(0);
  ASSERT_EQ(server.ClientCount(), 2);
  const double mm[3] = {1, 2, 3};
  const size_t fit = TIgtlServer::kSendQueueLimit / kTransformSize;
  ASSERT_EQ(fit, 2473u);
  for (size_t i = 0; i < fit; ++i) server.SendTransform("T", mm, 0);
  EXPECT_EQ(server.ClientCount(), 2);
  EXPECT_FALSE(stuck->closed);
  server.SendTransform("T", mm, 0);
  EXPECT_EQ(server.ClientCount(), 1);
  EXPECT_TRUE(stuck->closed);
  EXPECT_EQ(server.LastDropReason(), "scripted: send queue full (the client does not read)");
  EXPECT_EQ(open->sent.size(), (fit + 1) * kTransformSize);
  EXPECT_TRUE(stuck->sent.empty());
}

// A system that takes a few bytes at a time: every byte goes out once, in order.
struct TrickleCase {
  long take;
  int transforms;
};

class IgtlServerTrickleTest : public ::testing::TestWithParam<TrickleCase> {};

TEST_P(IgtlServerTrickleTest, BytesLeaveInOrder) {
  TScriptedNet net;
  TIgtlServer server(net);
  ASSERT_EQ(server.Start("", 18944), "");
  TWire* c = net.Add(GetParam().take);
  server.Poll(0);
  std::string expected;
  for (int i = 0; i < GetParam().transforms; ++i) {
    const double mm[3] = {static_cast<double>(i), 0, 0};
    server.SendTransform("Tool", mm, 5000);
    expected += EncodeIgtlTransform("Tool", IgtlTranslation(mm), 5000);
  }
  for (int i = 0; i < 5000 && c->sent.size() < expected.size(); ++i) server.Poll(0);
  EXPECT_EQ(c->sent, expected);
  EXPECT_EQ(server.ClientCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Takes, IgtlServerTrickleTest,
                         ::testing::Values(TrickleCase{1, 3}, TrickleCase{7, 10}, TrickleCase{105, 20},
                                           TrickleCase{106, 20}, TrickleCase{1000, 50}));

TEST(IgtlServerQueue, NoClientsNoWork) {
  TScriptedNet net;
  TIgtlServer server(net);
  const double mm[3] = {1, 2, 3};
  server.SendTransform("T", mm, 0);
  server.Poll(0);
  EXPECT_EQ(server.StateText(), "OpenIGTLink off");
  ASSERT_EQ(server.Start("", 18944), "");
  EXPECT_EQ(server.StateText(), "OpenIGTLink 0.0.0.0:18944, 0 clients");
  server.SendTransform("T", mm, 0);
  EXPECT_EQ(server.ClientCount(), 0);
}

}  // namespace
