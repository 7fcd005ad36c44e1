#pragma once
// The TCP server through which request lines go to the RealTraffic desktop app: one listening
// socket, at most one connected app.
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net.h"

class RTAppServer {
 public:
  static constexpr std::size_t kReceiveBufferSize = 16384;

  // Listens on the port (a number or service name; "0" picks a free one). Throws
  // std::runtime_error naming the failed step. A server that still listens on the same port text
  // is kept with the clients waiting in its queue (a restarted run asks them); one on another
  // port is closed first.
  void start(const std::string& port);
  // Drops the connected app, if any, and keeps listening.
  void dropClient();
  // Blocks until the app connects; false when an app is connected already, the server is not
  // listening, is closed or restarted meanwhile, or the program stops.
  bool waitForClient();
  // Waits until a client answers the question as the app does and makes it the connected app;
  // returns that answer. A client's reads are gathered until its first JSON value is whole
  // (RTAppAnswerGatherer), and isAnswer judges that value; what follows it is dropped with the
  // rest of the app's stream. Every client waiting is asked at once, so that silent or wrong ones
  // ahead in the queue hold nobody up: a wrong answer drops its client as soon as it shows,
  // silence or an answer still not whole after answerTimeout. Empty when the wait ends as
  // waitForClient's does.
  std::optional<std::string> waitForApp(std::string_view question,
                                        const std::function<bool(std::string_view)>& isAnswer,
                                        std::chrono::milliseconds answerTimeout);
  // The whole text to the app; false (and the connection closed) when the write fails.
  bool sendDataPacket(const std::string& text);
  // Stops listening and drops the app. Safe from any thread; wakes a waiting accept or receive.
  void close();
  // One read of the app's reply (at most 16383 bytes); empty when none came.
  std::string receive();
  // Throws away what the app has sent; notices an app that has closed its end.
  void drainReceiveBuffer();
  // Whether an app holds the seat. What it has sent is read and dropped, and an app that has
  // closed its end or whose connection failed frees the seat at once. Cheap: called every tick.
  bool watchClient();
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
  // Makes s the connected app unless the server was closed or restarted since generation.
  bool adoptClient(net::Socket s, std::uint64_t generation);
  void releaseSocket();
  void retireSocket(net::Socket s);

  net::Socket clientSock = net::kInvalidSocket;
  net::Socket listenSock = net::kInvalidSocket;
  std::string listenPort;  // the port text listenSock was started on
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
