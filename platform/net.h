#pragma once
// Sockets as the program would take them from Winsock 2: plain socket handles, calls that
// return SOCKET_ERROR-style results, and error numbers in Winsock's numbering (the feed logs
// and compares those numbers). Only this layer touches the BSD socket calls.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include <string_view>

struct addrinfo;

namespace net {

using Socket = int;
inline constexpr Socket kInvalidSocket = -1;
inline constexpr int kSocketError = -1;

// The Winsock numbers the feed names.
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETOOMANYREFS = 10059;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAELOOP = 10062;
inline constexpr int WSAENAMETOOLONG = 10063;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAENOTEMPTY = 10066;
inline constexpr int WSAEUSERS = 10068;
inline constexpr int WSAEDQUOT = 10069;
inline constexpr int WSAESTALE = 10070;
inline constexpr int WSAEREMOTE = 10071;
inline constexpr int WSATYPE_NOT_FOUND = 10109;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;
inline constexpr int WSA_NOT_ENOUGH_MEMORY = 8;

// errno -> Winsock number; a value without a Winsock counterpart is returned as it is.
int winsockCodeOfErrno(int errnoValue);
// getaddrinfo's EAI_ result -> Winsock number (an unknown result is returned as it is).
int winsockCodeOfAddrInfoError(int eaiValue);
// WSAGetLastError: the Winsock number of the calling thread's last failed call of this layer.
int lastError();

// WSAStartup/WSACleanup: nothing to start here, but the worker keeps the pairing.
int startup();
void cleanup();
class WinsockSession {
 public:
  WinsockSession() { startup(); }
  ~WinsockSession() { cleanup(); }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
};

// A resolved address list, freed with the object.
class AddressList {
 public:
  AddressList() = default;
  ~AddressList();
  AddressList(const AddressList&) = delete;
  AddressList& operator=(const AddressList&) = delete;
  AddressList(AddressList&& other) noexcept : list_(other.list_) { other.list_ = nullptr; }
  AddressList& operator=(AddressList&& other) noexcept;
  bool empty() const { return list_ == nullptr; }
  const addrinfo* first() const { return list_; }
  void reset();

 private:
  friend int resolvePassiveTcp(const std::string& port, AddressList& out);
  addrinfo* list_ = nullptr;
};

// getaddrinfo(nullptr, port, {AI_PASSIVE, AF_INET, SOCK_STREAM, IPPROTO_TCP}): 0 or a Winsock number.
int resolvePassiveTcp(const std::string& port, AddressList& out);

// Each returns kInvalidSocket and sets lastError() on failure. Handles are not inherited by children.
Socket createSocketFor(const AddressList& address);
Socket createUdpSocket();
Socket createTcpSocket();

// The rest return false (or kSocketError) and set lastError() on failure.
bool setBlocking(Socket s, bool blocking);  // ioctlsocket FIONBIO with !blocking
bool setReuseAddress(Socket s);             // SO_REUSEADDR 1
bool setNoDelay(Socket s);                  // TCP_NODELAY 1 (an int, whatever Winsock accepts)
bool setReceiveTimeout(Socket s, int milliseconds);  // SO_RCVTIMEO; 0 = wait for ever
bool setSendTimeout(Socket s, int milliseconds);     // SO_SNDTIMEO; 0 = wait for ever
bool bindTo(Socket s, const AddressList& address);
bool bindAnyAddress(Socket s, std::uint16_t port);  // INADDR_ANY; port 0 picks a free one
bool bindLoopback(Socket s, std::uint16_t port);    // 127.0.0.1
bool listenMax(Socket s);                           // listen with SOMAXCONN
std::optional<std::uint16_t> localPort(Socket s);   // the bound port, read back after a bind to 0

// Blocks until a client connects; kInvalidSocket when the listening socket fails or is closed.
Socket acceptClient(Socket listenSocket);
// The IPv4 address (host order) of a connected socket's peer; none when it has none or no IPv4 one.
std::optional<std::uint32_t> peerAddress(Socket s);
// The IPv4 addresses of this machine's interfaces (host order), loopback included.
std::vector<std::uint32_t> ownIpv4Addresses();
// A TCP client connection to host:port (numeric IPv4 or a name), kInvalidSocket on failure.
Socket connectTcp(const std::string& host, std::uint16_t port);

// One send call (MSG_NOSIGNAL: a gone peer gives an error, never SIGPIPE): bytes sent or kSocketError.
int send(Socket s, std::string_view data);
// Sends until everything is written; false on the first error.
bool sendAll(Socket s, std::string_view data);
// One recv: bytes read, 0 when the peer closed, kSocketError on error. A receive time-out on a
// blocking socket reports WSAETIMEDOUT, a non-blocking socket without data WSAEWOULDBLOCK.
int receive(Socket s, char* buffer, std::size_t size);
// One datagram. Winsock fails with WSAEMSGSIZE when it does not fit the buffer (the datagram is
// dropped); so does this one, where the socket layer would cut it silently.
int receiveDatagram(Socket s, char* buffer, std::size_t size);
// The same, telling the sender's IPv4 address (host order) when it is one, else 0.
int receiveDatagramFrom(Socket s, char* buffer, std::size_t size, std::uint32_t& senderAddress);
int sendDatagram(Socket s, const std::string& host, std::uint16_t port, std::string_view data);

// select on one socket: 1 readable, 0 not within the time, kSocketError on error.
int waitReadable(Socket s, int timeoutMilliseconds);
// The same on many at once: how many are readable (readable[i] tells which), 0 when none
// within the time, kSocketError on error. A socket that is no socket counts as readable.
int waitAnyReadable(const std::vector<Socket>& sockets, int timeoutMilliseconds, std::vector<bool>& readable);

// shutdown(SHUT_RDWR) then close: a thread blocked in accept or recv on it wakes up. Never call it
// on a socket that another thread may still send on. Ignores kInvalidSocket.
void closeSocket(Socket s);
// Only the shutdown: wakes blocked threads while the handle stays valid for them.
void shutdownSocket(Socket s);

// Datagrams on one port with a receive time-out, for tools and tests that listen to the feed's
// senders. The socket is closed with the object.
class UdpReceiver {
 public:
  UdpReceiver() = default;
  ~UdpReceiver();
  UdpReceiver(const UdpReceiver&) = delete;
  UdpReceiver& operator=(const UdpReceiver&) = delete;
  // Binds to 127.0.0.1 and the port (0 = a free one); false with lastError() on failure.
  bool open(std::uint16_t port, int timeoutMilliseconds);
  std::uint16_t port() const { return port_; }
  Socket socket() const { return socket_; }
  // One datagram into text; false on time-out or error (lastError() tells which).
  bool receive(std::string& text, std::size_t maxSize = 65536);
  void close();

 private:
  Socket socket_ = kInvalidSocket;
  std::uint16_t port_ = 0;
};

// Splits a TCP stream into lines. A line is handed out with its terminator ("\n" or "\r\n"),
// so that a caller can check the exact text that went over the wire.
class LineReceiver {
 public:
  enum class Status { Line, Timeout, Closed, Error, Overlong };
  explicit LineReceiver(Socket s, std::size_t maxLine = 65536) : socket_(s), maxLine_(maxLine) {}
  // Waits up to timeoutMilliseconds for a complete line. Overlong: a line longer than maxLine
  // bytes; it is dropped up to its line feed so that the stream can go on.
  Status next(std::string& line, int timeoutMilliseconds);
  // Whatever arrived after the last complete line.
  const std::string& pending() const { return pending_; }

 private:
  Socket socket_;
  std::size_t maxLine_;
  std::string pending_;
  bool skipping_ = false;
};

}  // namespace net
