#pragma once
// The TCP server through which request lines go to the RealTraffic desktop app: one listening
// socket, at most one connected app.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/net.h"

class RTAppServer {
 public:
  static constexpr std::size_t kReceiveBufferSize = 16384;

  // Listens on the port (a number or service name; "0" picks a free one). Throws
  // std::runtime_error naming the failed step. A server that still listens is closed first.
  void start(const std::string& port);
  // Blocks until the app connects; false when an app is connected already, the server is not
  // listening, is closed or restarted meanwhile, or the program stops.
  bool waitForClient();
  // The whole text to the app; false (and the connection closed) when the write fails.
  bool sendDataPacket(const std::string& text);
  // Stops listening and drops the app. Safe from any thread; wakes a waiting accept or receive.
  void close();
  // False when the connected app has sent nothing within the time-out (true without an app,
  // or once the program stops: the read that follows then ends at once).
  bool awaitReply(std::chrono::milliseconds timeout);
  // One read of the app's reply (at most 16383 bytes); empty when none came.
  std::string receive();
  // Throws away what the app has sent; notices an app that has closed its end.
  void drainReceiveBuffer();
  net::Socket clientSocket();
  // Drops this connection unless another one has become the client meanwhile.
  void closeClient(net::Socket s);

  bool isConnected();
  // Whether a datagram from this IPv4 address (host order) may be the app's: any while no app is
  // connected; then only from the app's address, or, for an app on this machine, from any of
  // this machine's interface addresses (it may connect to one and send to another).
  bool acceptsDatagramFrom(std::uint32_t sender);
  // The port listened on, read back from the socket.
  std::optional<std::uint16_t> listeningPort();

 private:
  // A socket handle stays open while any operation still works on it: closing only shuts the
  // connection down, and the handle is closed once the last user lets go of it.
  net::Socket acquireClient();
  void releaseSocket();
  void retireSocket(net::Socket s);

  net::Socket clientSock = net::kInvalidSocket;
  net::Socket listenSock = net::kInvalidSocket;
  bool connected = false;
  // While connected, the addresses the app's datagrams may come from: its own, or all of this
  // machine's for an app that runs here; empty when its address could not be read: then any.
  std::vector<std::uint32_t> appAddresses;
  std::uint64_t listenGeneration = 0;  // a closed and restarted server is told apart by this
  int socketUsers = 0;
  std::vector<net::Socket> retiredSockets;
  std::mutex stateMutex;
  std::mutex sendMutex;
  std::mutex receiveMutex;
};

extern RTAppServer g_rtAppServer;

// "{} " with the code, then the Winsock description ("Unknown errror code" for others).
std::string gf_winsockErrorText(int code);
