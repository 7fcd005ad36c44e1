#include "platform/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace net {

namespace {

thread_local int t_lastError = 0;

// Records the failure of the call that just returned and passes its result on.
int lf_fail(int result = kSocketError) {
  t_lastError = winsockCodeOfErrno(errno);
  return result;
}

bool lf_failed() {
  lf_fail();
  return false;
}

// Winsock tells a time-out on a blocking socket (10060) from an empty non-blocking one (10035);
// the socket layer reports EAGAIN for both.
int lf_receiveFailure(Socket s) {
  const int error = errno;
  if (error == EAGAIN || error == EWOULDBLOCK) {
    const int flags = ::fcntl(s, F_GETFL);
    t_lastError = (flags != -1 && (flags & O_NONBLOCK)) ? WSAEWOULDBLOCK : WSAETIMEDOUT;
  } else {
    t_lastError = winsockCodeOfErrno(error);
  }
  return kSocketError;
}

bool lf_ipv4Address(const std::string& host, std::uint16_t port, sockaddr_in& address) {
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* list = nullptr;
  const int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
  if (result != 0 || !list) {
    t_lastError = winsockCodeOfAddrInfoError(result);
    return false;
  }
  address.sin_addr = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr;
  ::freeaddrinfo(list);
  return true;
}

bool lf_bind(Socket s, std::uint32_t hostOrderAddress, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(hostOrderAddress);
  if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return lf_failed();
  return true;
}

}  // namespace

int winsockCodeOfErrno(int errnoValue) {
  switch (errnoValue) {
    case EINTR: return WSAEINTR;
    case EBADF: return WSAEBADF;
    case EACCES: return WSAEACCES;
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
#if EAGAIN != EWOULDBLOCK
    case EWOULDBLOCK:
#endif
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEINPROGRESS;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
#if EOPNOTSUPP != ENOTSUP
    case ENOTSUP:
#endif
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    // A write to a peer that has gone: Winsock reports the reset.
    case EPIPE:
    case ECONNRESET: return WSAECONNRESET;
    case ENOMEM:
    case ENOBUFS: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETOOMANYREFS: return WSAETOOMANYREFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ENOTEMPTY: return WSAENOTEMPTY;
    case EUSERS: return WSAEUSERS;
    case EDQUOT: return WSAEDQUOT;
    case ESTALE: return WSAESTALE;
    case EREMOTE: return WSAEREMOTE;
    default: return errnoValue;
  }
}

int winsockCodeOfAddrInfoError(int eaiValue) {
  switch (eaiValue) {
    case 0: return 0;
    case EAI_SERVICE: return WSATYPE_NOT_FOUND;
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_FAIL: return WSANO_RECOVERY;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
    case EAI_FAMILY: return WSAEAFNOSUPPORT;
    case EAI_SOCKTYPE: return WSAESOCKTNOSUPPORT;
    case EAI_BADFLAGS: return WSAEINVAL;
    case EAI_MEMORY: return WSA_NOT_ENOUGH_MEMORY;
    case EAI_SYSTEM: return winsockCodeOfErrno(errno);
    default: return eaiValue;
  }
}

int lastError() { return t_lastError; }

int startup() { return 0; }
void cleanup() {}

AddressList::~AddressList() { reset(); }

AddressList& AddressList::operator=(AddressList&& other) noexcept {
  if (this != &other) {
    reset();
    list_ = other.list_;
    other.list_ = nullptr;
  }
  return *this;
}

void AddressList::reset() {
  if (list_) ::freeaddrinfo(list_);
  list_ = nullptr;
}

int resolvePassiveTcp(const std::string& port, AddressList& out) {
  out.reset();
  addrinfo hints{};
  hints.ai_flags = AI_PASSIVE;
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* list = nullptr;
  const int result = ::getaddrinfo(nullptr, port.c_str(), &hints, &list);
  if (result != 0) {
    if (list) ::freeaddrinfo(list);
    const int code = winsockCodeOfAddrInfoError(result);
    t_lastError = code;
    return code;
  }
  out.list_ = list;
  return 0;
}

Socket createSocketFor(const AddressList& address) {
  const addrinfo* first = address.first();
  if (!first) {
    t_lastError = WSAEINVAL;
    return kInvalidSocket;
  }
  const Socket s = ::socket(first->ai_family, first->ai_socktype | SOCK_CLOEXEC, first->ai_protocol);
  return s < 0 ? lf_fail(kInvalidSocket) : s;
}

Socket createUdpSocket() {
  const Socket s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  return s < 0 ? lf_fail(kInvalidSocket) : s;
}

Socket createTcpSocket() {
  const Socket s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  return s < 0 ? lf_fail(kInvalidSocket) : s;
}

bool setBlocking(Socket s, bool blocking) {
  const int flags = ::fcntl(s, F_GETFL);
  if (flags == -1) return lf_failed();
  const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  if (::fcntl(s, F_SETFL, wanted) == -1) return lf_failed();
  return true;
}

bool setReuseAddress(Socket s) {
  const int on = 1;
  if (::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return lf_failed();
  return true;
}

bool setNoDelay(Socket s) {
  // Winsock takes a one-byte value here; the socket layer insists on an int.
  const int on = 1;
  if (::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) return lf_failed();
  return true;
}

bool setReceiveTimeout(Socket s, int milliseconds) {
  timeval timeout{};
  if (milliseconds > 0) {
    timeout.tv_sec = milliseconds / 1000;
    timeout.tv_usec = static_cast<suseconds_t>(milliseconds % 1000) * 1000;
  }
  if (::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0) return lf_failed();
  return true;
}

bool setSendTimeout(Socket s, int milliseconds) {
  timeval timeout{};
  if (milliseconds > 0) {
    timeout.tv_sec = milliseconds / 1000;
    timeout.tv_usec = static_cast<suseconds_t>(milliseconds % 1000) * 1000;
  }
  if (::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) != 0) return lf_failed();
  return true;
}

bool bindTo(Socket s, const AddressList& address) {
  const addrinfo* first = address.first();
  if (!first) {
    t_lastError = WSAEINVAL;
    return false;
  }
  if (::bind(s, first->ai_addr, first->ai_addrlen) != 0) return lf_failed();
  return true;
}

bool bindAnyAddress(Socket s, std::uint16_t port) { return lf_bind(s, INADDR_ANY, port); }
bool bindLoopback(Socket s, std::uint16_t port) { return lf_bind(s, INADDR_LOOPBACK, port); }

bool listenMax(Socket s) {
  if (::listen(s, SOMAXCONN) != 0) return lf_failed();
  return true;
}

std::optional<std::uint16_t> localPort(Socket s) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 || address.sin_family != AF_INET) {
    lf_fail();
    return std::nullopt;
  }
  return ntohs(address.sin_port);
}

std::optional<std::uint32_t> peerAddress(Socket s) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getpeername(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 || address.sin_family != AF_INET) {
    lf_fail();
    return std::nullopt;
  }
  return ntohl(address.sin_addr.s_addr);
}

std::vector<std::uint32_t> ownIpv4Addresses() {
  std::vector<std::uint32_t> addresses;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return addresses;
  for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
    addresses.push_back(ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr));
  }
  ::freeifaddrs(list);
  return addresses;
}

Socket acceptClient(Socket listenSocket) {
  for (;;) {
    const Socket s = ::accept4(listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
    if (s >= 0) return s;
    // A connection that died in the queue is no reason to give up listening.
    if (errno == ECONNABORTED || errno == EINTR) continue;
    return lf_fail(kInvalidSocket);
  }
}

Socket connectTcp(const std::string& host, std::uint16_t port) {
  sockaddr_in address{};
  if (!lf_ipv4Address(host, port, address)) return kInvalidSocket;
  const Socket s = createTcpSocket();
  if (s == kInvalidSocket) return kInvalidSocket;
  if (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    lf_fail();
    ::close(s);
    return kInvalidSocket;
  }
  return s;
}

int send(Socket s, std::string_view data) {
  const ssize_t sent = ::send(s, data.data(), data.size(), MSG_NOSIGNAL);
  if (sent < 0) return lf_fail();
  return static_cast<int>(sent);
}

bool sendAll(Socket s, std::string_view data) {
  while (!data.empty()) {
    const ssize_t sent = ::send(s, data.data(), data.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return lf_failed();
    }
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

int receive(Socket s, char* buffer, std::size_t size) {
  const ssize_t got = ::recv(s, buffer, size, 0);
  if (got < 0) return lf_receiveFailure(s);
  return static_cast<int>(got);
}

int receiveDatagram(Socket s, char* buffer, std::size_t size) {
  std::uint32_t ignored = 0;
  return receiveDatagramFrom(s, buffer, size, ignored);
}

int receiveDatagramFrom(Socket s, char* buffer, std::size_t size, std::uint32_t& senderAddress) {
  sockaddr_in sender{};
  socklen_t length = sizeof sender;
  // MSG_TRUNC makes the call return the datagram's real length, so a cut one can be told.
  const ssize_t got = ::recvfrom(s, buffer, size, MSG_TRUNC, reinterpret_cast<sockaddr*>(&sender), &length);
  senderAddress =
      got >= 0 && length >= sizeof sender && sender.sin_family == AF_INET ? ntohl(sender.sin_addr.s_addr) : 0;
  if (got < 0) return lf_receiveFailure(s);
  if (static_cast<std::size_t>(got) > size) {
    t_lastError = WSAEMSGSIZE;
    return kSocketError;
  }
  return static_cast<int>(got);
}

int sendDatagram(Socket s, const std::string& host, std::uint16_t port, std::string_view data) {
  sockaddr_in address{};
  if (!lf_ipv4Address(host, port, address)) return kSocketError;
  const ssize_t sent = ::sendto(s, data.data(), data.size(), MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (sent < 0) return lf_fail();
  return static_cast<int>(sent);
}

int waitReadable(Socket s, int timeoutMilliseconds) {
  pollfd entry{s, POLLIN, 0};
  for (;;) {
    const int result = ::poll(&entry, 1, timeoutMilliseconds < 0 ? -1 : timeoutMilliseconds);
    if (result < 0) {
      if (errno == EINTR) continue;
      return lf_fail();
    }
    if (result == 0) return 0;
    if (entry.revents & POLLNVAL) {
      t_lastError = WSAENOTSOCK;
      return kSocketError;
    }
    // Errors and hang-ups count as readable: the next recv reports them.
    return 1;
  }
}

int waitAnyReadable(const std::vector<Socket>& sockets, int timeoutMilliseconds, std::vector<bool>& readable) {
  std::vector<pollfd> entries;
  entries.reserve(sockets.size());
  for (Socket s : sockets) entries.push_back(pollfd{s, POLLIN, 0});
  readable.assign(sockets.size(), false);
  for (;;) {
    const int result = ::poll(entries.data(), entries.size(), timeoutMilliseconds < 0 ? -1 : timeoutMilliseconds);
    if (result < 0) {
      if (errno == EINTR) continue;
      return lf_fail();
    }
    for (std::size_t i = 0; i < entries.size(); ++i) readable[i] = entries[i].revents != 0;
    return result;
  }
}

void shutdownSocket(Socket s) {
  if (s != kInvalidSocket) ::shutdown(s, SHUT_RDWR);
}

void closeSocket(Socket s) {
  if (s == kInvalidSocket) return;
  ::shutdown(s, SHUT_RDWR);
  ::close(s);
}

UdpReceiver::~UdpReceiver() { close(); }

bool UdpReceiver::open(std::uint16_t port, int timeoutMilliseconds) {
  close();
  socket_ = createUdpSocket();
  if (socket_ == kInvalidSocket) return false;
  if (!bindLoopback(socket_, port) || !setReceiveTimeout(socket_, timeoutMilliseconds)) {
    const int error = t_lastError;
    close();
    t_lastError = error;
    return false;
  }
  port_ = localPort(socket_).value_or(0);
  return true;
}

bool UdpReceiver::receive(std::string& text, std::size_t maxSize) {
  text.resize(maxSize);
  const int got = receiveDatagram(socket_, text.data(), text.size());
  if (got < 0) {
    text.clear();
    return false;
  }
  text.resize(static_cast<std::size_t>(got));
  return true;
}

void UdpReceiver::close() {
  closeSocket(socket_);
  socket_ = kInvalidSocket;
  port_ = 0;
}

LineReceiver::Status LineReceiver::next(std::string& line, int timeoutMilliseconds) {
  for (;;) {
    const auto end = pending_.find('\n');
    if (skipping_) {
      // The tail of a line that was too long: dropped up to its line feed.
      if (end == std::string::npos) {
        pending_.clear();
      } else {
        pending_.erase(0, end + 1);
        skipping_ = false;
        continue;
      }
    } else if (end != std::string::npos) {
      if (end + 1 > maxLine_) {
        pending_.erase(0, end + 1);
        return Status::Overlong;
      }
      line.assign(pending_, 0, end + 1);
      pending_.erase(0, end + 1);
      return Status::Line;
    } else if (pending_.size() >= maxLine_) {
      pending_.clear();
      skipping_ = true;
      return Status::Overlong;
    }
    const int ready = waitReadable(socket_, timeoutMilliseconds);
    if (ready == 0) return Status::Timeout;
    if (ready < 0) return Status::Error;
    char chunk[4096];
    const int got = receive(socket_, chunk, sizeof chunk);
    if (got == 0) return Status::Closed;
    if (got < 0) {
      if (t_lastError == WSAEINTR || t_lastError == WSAEWOULDBLOCK || t_lastError == WSAETIMEDOUT) continue;
      return Status::Error;
    }
    pending_.append(chunk, static_cast<std::size_t>(got));
  }
}

}  // namespace net
