// A real OpenIGTLink client against TIgtlServer: ReceiveClient, the example
// receiver of Debian's openigtlink-examples built on libopenigtlink, prints the
// 4x4 matrix of every TRANSFORM it receives (with the CRC checked); the matrices
// it prints must be the transforms the server sent, keep-alives in between.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "LoopbackClient.h"
#include "NetServer.h"
#include "TestSupport.h"
#include "igtl/IgtlServer.h"

namespace {


TEST(IgtlReceiveClient, PrintsTheTransformsTheServerSent) {
  TSystemNetStack net;
  TIgtlServer server(net);
  ASSERT_EQ(server.Start("127.0.0.1", 0), "");
  server.SetEpochOffsetMs(IgtlEpochOffsetMs(0));

  testsupport::TempDir dir;
  const std::string errFile = (dir / "stderr.txt").string();
  testsupport::ChildProcess client({"sh", "-c", "exec timeout 60 \"$0\" 127.0.0.1 \"$1\" 2>\"$2\"",
                                    ZELTRA_IGTL_RECEIVE_CLIENT, std::to_string(server.Port()), errFile});
  uint64_t now = 0;
  for (int i = 0; i < 2000 && server.ClientCount() == 0; ++i) {
    server.Poll(now);
    testsupport::SleepMs(5);
  }
  ASSERT_EQ(server.ClientCount(), 1) << "ReceiveClient did not connect: "
                                     << testsupport::ReadFileBytes(errFile);

  const double sent[][3] = {{12.5, -7.25, 100}, {-914.5, 0.125, 3}, {0, 0, -42}};
  for (const auto& t : sent) {
    server.SendTransform("StylusToTracker", t, now);
    // Keep-alives between the transforms.
    for (int k = 0; k < 3; ++k) {
      now += 300;
      server.Poll(now);
      testsupport::SleepMs(5);
    }
  }
  std::string out;
  for (int i = 0; i < 2000 && PrintedMatrices(out).size() < 3; ++i) {
    server.Poll(now);
    out = client.Output();
    testsupport::SleepMs(5);
  }
  EXPECT_EQ(server.ClientCount(), 1);
  server.Stop();  // ReceiveClient ends when the server closes
  client.Wait(std::chrono::seconds(10));
  out = client.Output();
  const std::string err = testsupport::ReadFileBytes(errFile);

  const std::vector<TPrintedMatrix> got = PrintedMatrices(out);
  ASSERT_EQ(got.size(), 3u) << out << err;
  for (size_t i = 0; i < 3; ++i) {
    const TPrintedMatrix want = {1, 0, 0, sent[i][0], 0, 1, 0, sent[i][1], 0, 0, 1, sent[i][2], 0, 0, 0, 1};
    for (size_t k = 0; k < 16; ++k) EXPECT_DOUBLE_EQ(got[i][k], want[k]) << "matrix " << i << " number " << k;
  }
  EXPECT_NE(err.find("Receiving TRANSFORM data type."), std::string::npos) << err;
  EXPECT_NE(err.find("Receiving STATUS data type."), std::string::npos) << err;
  EXPECT_NE(err.find(" Code      : 1"), std::string::npos) << err;
}

}  // namespace
