#include "repair/data_buffer_tcp.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <asio/socket_base.hpp>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "foundation/paths_test_support.h"
#include "repair/repair_test_peer.h"
#include "repair/segment_checksum.h"
#include "repair/socket_error_map.h"

using RepairTest::DrainUntilClosed;
using RepairTest::ReceiveBytes;
using RepairTest::ScriptedPeer;
using RepairTest::SendBytes;
using RepairTest::tcp;

namespace {

// Waits (bounded) until some thread is inside an operation of the buffer.
bool WaitForOperation(const BramDataBufferTCP& buffer) {
  for (int i = 0; i < 1000 && !buffer.IsOperationInProgress(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return buffer.IsOperationInProgress();
}

}  // namespace

TEST(SocketErrorMap, Table) {
  const std::pair<int, BramResult> cases[] = {
      {0, 0},     {64, 3},     {10050, 3},  {10051, 3},  {10054, 3},       {10060, 3}, {10065, 3},
      {995, 13},  {10014, 5},  {10047, 5},  {10049, 5},  {10022, 7},       {10037, 7}, {10038, 7},
      {10093, 7}, {10061, 12}, {10053, 11}, {10055, 11}, {100000 + 5, 11},
  };
  for (const auto& [platform_error, result] : cases) {
    EXPECT_EQ(MapSocketError(platform_error), result) << platform_error;
  }
}

TEST(BramDataBufferTCP, ReadArrivingInPiecesCompletesOnce) {
  ScriptedPeer peer([](tcp::socket& socket) {
    SendBytes(socket, "abc");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    SendBytes(socket, "defgh");
    DrainUntilClosed(socket);
  });
  BramDataBufferTCP buffer;
  ASSERT_EQ(buffer.Connect(peer.Address()), BRAMRESULT_OK);
  EXPECT_TRUE(buffer.IsConnected());
  char bytes[8] = {};
  EXPECT_EQ(buffer.ReadData(bytes, 8), BRAMRESULT_OK);
  EXPECT_EQ(std::string(bytes, 8), "abcdefgh");
  EXPECT_EQ(buffer.GetPosition(), 8u);
  EXPECT_EQ(buffer.GetSize(), 0u);
  EXPECT_EQ(buffer.SetPosition(0), BRAMRESULT_UNSUPPORTED);
  EXPECT_EQ(buffer.SetSize(0), BRAMRESULT_UNSUPPORTED);
}

TEST(BramDataBufferTCP, LargeTransfersMoveEveryByteBothWays) {
  const std::string payload = [] {
    std::string bytes(8 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);
    return bytes;
  }();
  ScriptedPeer peer([&payload](tcp::socket& socket) {
    const std::string received = ReceiveBytes(socket, payload.size());
    SendBytes(socket, received == payload ? "same" : "diff");
    SendBytes(socket, payload);
    DrainUntilClosed(socket);
  });
  BramDataBufferTCP buffer;
  ASSERT_EQ(buffer.Connect(peer.Address()), BRAMRESULT_OK);
  ASSERT_EQ(buffer.WriteData(payload.data(), static_cast<std::uint32_t>(payload.size())),
            BRAMRESULT_OK);
  char verdict[4];
  ASSERT_EQ(buffer.ReadData(verdict, 4), BRAMRESULT_OK);
  EXPECT_EQ(std::string(verdict, 4), "same");
  std::string back(payload.size(), '\0');
  ASSERT_EQ(buffer.ReadData(back.data(), static_cast<std::uint32_t>(back.size())), BRAMRESULT_OK);
  EXPECT_TRUE(back == payload);
  EXPECT_EQ(buffer.GetPosition(), 4 + payload.size());
}

TEST(BramDataBufferTCP, PeerEndingTheConnectionFailsTheRead) {
  struct Case {
    bool reset;  // close with SO_LINGER 0 instead of gracefully
    BramResult expected;
  };
  for (const Case& c : {Case{false, BRAMRESULT_ABORTED}, Case{true, BRAMRESULT_TRANSFER_FAILED}}) {
    ScriptedPeer peer([&c](tcp::socket& socket) {
      ReceiveBytes(socket, 1);  // the connect is complete on both sides
      SendBytes(socket, "xy");
      if (c.reset) socket.set_option(asio::socket_base::linger(true, 0));
      socket.close();
    });
    BramDataBufferTCP buffer;
    ASSERT_EQ(buffer.Connect(peer.Address()), BRAMRESULT_OK);
    ASSERT_EQ(buffer.WriteData("!", 1), BRAMRESULT_OK);
    char bytes[4];
    EXPECT_EQ(buffer.ReadData(bytes, 4), c.expected) << c.reset;
  }
}

TEST(BramDataBufferTCP, ConnectRefusedAndConnectTwice) {
  BramDataBufferTCP refused;
  EXPECT_EQ(refused.Connect(RepairTest::UnusedLoopbackAddress()), BRAMRESULT_REFUSED);
  EXPECT_FALSE(refused.IsConnected());

  ScriptedPeer peer([](tcp::socket& socket) { DrainUntilClosed(socket); });
  BramDataBufferTCP buffer;
  ASSERT_EQ(buffer.Connect(peer.Address()), BRAMRESULT_OK);
  EXPECT_EQ(buffer.Connect(peer.Address()), BRAMRESULT_NOT_OPEN);
  EXPECT_TRUE(buffer.IsConnected());
}

TEST(BramDataBufferTCP, CountZeroDoesNotTouchTheSocket) {
  BramDataBufferTCP buffer;  // never connected: any real socket call would fail
  EXPECT_EQ(buffer.ReadData(nullptr, 0), BRAMRESULT_OK);
  EXPECT_EQ(buffer.WriteData(nullptr, 0), BRAMRESULT_OK);
  char byte = 0;
  EXPECT_NE(buffer.ReadData(&byte, 1), BRAMRESULT_OK);
}

TEST(BramDataBufferTCP, AbortiveCloseWakesAWaitingRead) {
  ScriptedPeer peer([](tcp::socket& socket) { DrainUntilClosed(socket); });
  BramDataBufferTCP buffer;
  ASSERT_EQ(buffer.Connect(peer.Address()), BRAMRESULT_OK);
  BramResult result = BRAMRESULT_OK;
  std::thread reader([&] {
    char bytes[4];
    result = buffer.ReadData(bytes, 4);
  });
  ASSERT_TRUE(WaitForOperation(buffer));
  buffer.CloseAbortive();
  reader.join();
  EXPECT_TRUE(result == BRAMRESULT_ABORTED || result == BRAMRESULT_TRANSFER_FAILED) << result;
  EXPECT_FALSE(buffer.IsConnected());
  char byte = 0;
  EXPECT_NE(buffer.ReadData(&byte, 1), BRAMRESULT_OK);
}

TEST(BramDataBufferTCPDeathTest, SecondReaderTripsTheUserlandCheck) {
  // "fast": the child is a fork of this process, so the directory it dumps
  // into is the one this process removes afterwards.
  GTEST_FLAG_SET(death_test_style, "fast");
  ScopedTempDir directory;
  EXPECT_DEATH(
      {
        std::filesystem::current_path(directory.path());  // the dump lands here
        dup2(2, 1);  // the log's standard output, where the death test sees it
        ScriptedPeer peer([](tcp::socket& socket) { DrainUntilClosed(socket); });
        BramDataBufferTCP buffer;
        if (buffer.Connect(peer.Address()) != BRAMRESULT_OK) return;
        std::thread reader([&buffer] {
          char bytes[4];
          buffer.ReadData(bytes, 4);
        });
        reader.detach();
        if (!WaitForOperation(buffer)) return;
        char bytes[4];
        buffer.ReadData(bytes, 4);
      },
      "Assertion failed: wasThreadID == -1 \\|\\| wasThreadID == myThreadID");
}
