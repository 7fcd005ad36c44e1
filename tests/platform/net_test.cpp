#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "platform/net.h"

namespace {

// A listening socket on 127.0.0.1 and a free port.
struct Listener {
  net::Socket socket = net::kInvalidSocket;
  std::uint16_t port = 0;
  Listener() {
    socket = net::createTcpSocket();
    EXPECT_NE(socket, net::kInvalidSocket);
    EXPECT_TRUE(net::bindLoopback(socket, 0));
    EXPECT_TRUE(net::listenMax(socket));
    port = net::localPort(socket).value_or(0);
    EXPECT_NE(port, 0);
  }
  ~Listener() { net::closeSocket(socket); }
};

// A connected pair: client side and the server's accepted side.
struct Connection {
  Listener listener;
  net::Socket client = net::kInvalidSocket;
  net::Socket server = net::kInvalidSocket;
  Connection() {
    client = net::connectTcp("127.0.0.1", listener.port);
    EXPECT_NE(client, net::kInvalidSocket);
    server = net::acceptClient(listener.socket);
    EXPECT_NE(server, net::kInvalidSocket);
  }
  ~Connection() {
    net::closeSocket(client);
    net::closeSocket(server);
  }
};

TEST(NetErrors, ErrnoMapsToTheWinsockNumbersTheFeedCompares) {
  struct Case {
    int errnoValue;
    int winsock;
  };
  const Case cases[] = {
      {EINTR, 10004},        {EAGAIN, 10035},       {EMSGSIZE, 10040},  {ECONNABORTED, 10053},
      {ECONNRESET, 10054},   {EPIPE, 10054},        {ETIMEDOUT, 10060}, {ECONNREFUSED, 10061},
      {EADDRINUSE, 10048},   {ENOTSOCK, 10038},     {EINVAL, 10022},    {ENOTCONN, 10057},
      {EHOSTUNREACH, 10065}, {EBADF, 10009},        {ENOBUFS, 10055},   {0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(net::winsockCodeOfErrno(c.errnoValue), c.winsock) << "errno " << c.errnoValue;
}

TEST(NetTcp, APortThatNamesNothingFailsInTheAddressResolution) {
  net::AddressList address;
  EXPECT_NE(net::resolvePassiveTcp("nosuchservicexyz", address), 0);
  EXPECT_TRUE(address.empty());

  ASSERT_EQ(net::resolvePassiveTcp("0", address), 0);
  ASSERT_FALSE(address.empty());
  const net::Socket s = net::createSocketFor(address);
  ASSERT_NE(s, net::kInvalidSocket);
  EXPECT_TRUE(net::setBlocking(s, true));
  EXPECT_TRUE(net::setReuseAddress(s));
  EXPECT_TRUE(net::bindTo(s, address));
  EXPECT_TRUE(net::listenMax(s));
  EXPECT_NE(net::localPort(s).value_or(0), 0);
  net::closeSocket(s);
}

TEST(NetTcp, LinesArriveWholeWithTheirTerminatorsWhateverTheChunking) {
  Connection c;
  ASSERT_TRUE(net::setNoDelay(c.client));
  ASSERT_TRUE(net::sendAll(c.client, "Qs999=version\r"));
  ASSERT_TRUE(net::sendAll(c.client, "\nQs999=sendbuffer=5,6\nQs123=1"));
  net::LineReceiver lines(c.server);
  std::string line;
  ASSERT_EQ(lines.next(line, 2000), net::LineReceiver::Status::Line);
  EXPECT_EQ(line, "Qs999=version\r\n");
  ASSERT_EQ(lines.next(line, 2000), net::LineReceiver::Status::Line);
  EXPECT_EQ(line, "Qs999=sendbuffer=5,6\n");
  EXPECT_EQ(lines.next(line, 20), net::LineReceiver::Status::Timeout);
  EXPECT_EQ(lines.pending(), "Qs123=1");
  net::closeSocket(c.client);
  c.client = net::kInvalidSocket;
  EXPECT_EQ(lines.next(line, 2000), net::LineReceiver::Status::Closed);
}

TEST(NetTcp, AnEndlessLineIsCutOffInsteadOfGrowingForEver) {
  Connection c;
  net::LineReceiver lines(c.server, 64);
  ASSERT_TRUE(net::sendAll(c.client, std::string(100, 'x') + "\nok\n"));
  std::string line;
  EXPECT_EQ(lines.next(line, 2000), net::LineReceiver::Status::Overlong);
  ASSERT_EQ(lines.next(line, 2000), net::LineReceiver::Status::Line);
  EXPECT_EQ(line, "ok\n");

  // Cut while still arriving: the tail is dropped up to its line feed.
  ASSERT_TRUE(net::sendAll(c.client, std::string(70, 'y')));
  EXPECT_EQ(lines.next(line, 2000), net::LineReceiver::Status::Overlong);
  ASSERT_TRUE(net::sendAll(c.client, "yyy\nnext\n"));
  ASSERT_EQ(lines.next(line, 2000), net::LineReceiver::Status::Line);
  EXPECT_EQ(line, "next\n");
}

TEST(NetTcp, ClosingTheListenerFromAnotherThreadWakesABlockedAccept) {
  Listener listener;
  auto accepted = std::async(std::launch::async, [&] { return net::acceptClient(listener.socket); });
  // Give the thread a moment to block; the result is the same if it had not yet.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  net::shutdownSocket(listener.socket);
  ASSERT_EQ(accepted.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(accepted.get(), net::kInvalidSocket);
}

TEST(NetTcp, ShutdownWakesABlockedReceive) {
  Connection c;
  auto received = std::async(std::launch::async, [&] {
    char buffer[16];
    return net::receive(c.server, buffer, sizeof buffer);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  net::shutdownSocket(c.server);
  ASSERT_EQ(received.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_LE(received.get(), 0);
}

TEST(NetTcp, SendingToAGonePeerFailsWithoutKillingTheProcess) {
  Connection c;
  net::closeSocket(c.client);
  c.client = net::kInvalidSocket;
  // The first write may still be taken by the stack; the reset shows up on a later one.
  bool failed = false;
  for (int i = 0; i < 50 && !failed; ++i) {
    failed = net::send(c.server, "Qs121=0;0;0;0;0;0;0\r\n") == net::kSocketError;
    if (!failed) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(failed);
  EXPECT_TRUE(net::lastError() == net::WSAECONNRESET || net::lastError() == net::WSAECONNABORTED) << net::lastError();
}

TEST(NetTcp, ANonBlockingSocketWithoutDataWouldBlock) {
  Connection c;
  ASSERT_TRUE(net::setBlocking(c.server, false));
  char buffer[8];
  EXPECT_EQ(net::receive(c.server, buffer, sizeof buffer), net::kSocketError);
  EXPECT_EQ(net::lastError(), net::WSAEWOULDBLOCK);
  EXPECT_EQ(net::waitReadable(c.server, 0), 0);
  ASSERT_TRUE(net::sendAll(c.client, "x"));
  EXPECT_EQ(net::waitReadable(c.server, 2000), 1);
}

TEST(NetUdp, AReceiveTimeOutReportsTimedOut) {
  net::UdpReceiver receiver;
  ASSERT_TRUE(receiver.open(0, 30));
  std::string text;
  EXPECT_FALSE(receiver.receive(text));
  EXPECT_EQ(net::lastError(), net::WSAETIMEDOUT);
}

TEST(NetUdp, ADatagramLargerThanTheBufferIsRefusedAndTheNextOneArrivesWhole) {
  net::UdpReceiver receiver;
  ASSERT_TRUE(receiver.open(0, 2000));
  const net::Socket sender = net::createUdpSocket();
  ASSERT_NE(sender, net::kInvalidSocket);
  const std::string big(200, 'B');
  ASSERT_EQ(net::sendDatagram(sender, "127.0.0.1", receiver.port(), big), 200);
  ASSERT_EQ(net::sendDatagram(sender, "127.0.0.1", receiver.port(), "RTTFC_EOT"), 9);

  char buffer[100];
  EXPECT_EQ(net::receiveDatagram(receiver.socket(), buffer, sizeof buffer), net::kSocketError);
  EXPECT_EQ(net::lastError(), net::WSAEMSGSIZE);
  const int got = net::receiveDatagram(receiver.socket(), buffer, sizeof buffer);
  ASSERT_EQ(got, 9);
  EXPECT_EQ(std::string(buffer, 9), "RTTFC_EOT");

  // Exactly the buffer's size fits.
  ASSERT_EQ(net::sendDatagram(sender, "127.0.0.1", receiver.port(), std::string(100, 'x')), 100);
  EXPECT_EQ(net::receiveDatagram(receiver.socket(), buffer, sizeof buffer), 100);
  net::closeSocket(sender);
}

TEST(NetUdp, TheSenderAndThePeerAddressesAreTold) {
  net::UdpReceiver receiver;
  ASSERT_TRUE(receiver.open(0, 2000));
  for (const std::uint32_t from : {0x7F000001u, 0x7F000002u}) {
    // Any address of 127/8 is this machine: a second one stands for another host.
    const int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(sender, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(from);
    ASSERT_EQ(::bind(sender, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
    ASSERT_EQ(net::sendDatagram(sender, "127.0.0.1", receiver.port(), "RTTFC_EOT"), 9);
    char buffer[100];
    std::uint32_t seen = 0;
    EXPECT_EQ(net::receiveDatagramFrom(receiver.socket(), buffer, sizeof buffer, seen), 9);
    EXPECT_EQ(seen, from);
    ::close(sender);
  }
  Connection connection;
  EXPECT_EQ(net::peerAddress(connection.server), 0x7F000001u);
  EXPECT_EQ(net::peerAddress(receiver.socket()), std::nullopt) << "no peer";
}

}  // namespace
