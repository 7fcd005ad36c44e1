#include "feed/rt_app_server.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>

#include "appbase/stop_request.h"
#include "core/log.h"
#include "core/text.h"
#include "core/utc_time.h"
#include "feed/rt_app_messages.h"

RTAppServer g_rtAppServer;

namespace {

// Every wait in the server wakes this often to see whether the program still runs.
constexpr int kStopPollMilliseconds = 100;
// A send the app does not take within this is given up (the connection closed, the app reconnects).
constexpr int kSendTimeoutMilliseconds = 20;

// While the app is looked for: clients asked in one poll round, and clients awaiting an answer.
constexpr std::size_t kAcceptsPerRound = 256;
constexpr std::size_t kMaxCandidates = 512;
// Reads of one drain: 1 MB.
constexpr int kMaxDrainReads = 64;

void lf_closeGlobalServer() { g_rtAppServer.close(); }

bool lf_setClientOptions(net::Socket s) {
  return net::setNoDelay(s) && net::setSendTimeout(s, kSendTimeoutMilliseconds);
}

struct WinsockText {
  int code;
  const char* text;
};

constexpr std::array<WinsockText, 50> kWinsockTexts{{
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open sockets"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Messenger too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Net connection reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send numLines socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network system is unavailable"},
    {10092, "Winsock version out of range"},
    {10093, "WSAStartup not yet called"},
    {10101, "Graceful shutdown in progress"},
    {11001, "Host not found"},
    {11004, "No host data of that type was found"},
    {0, nullptr},
}};

std::string lf_errorText() { return gf_winsockErrorText(net::lastError()); }

void lf_logNoVersion(std::string_view reply) {
  // Enough to tell what the client was; its whole text may be 16 KB.
  constexpr std::size_t kShown = 256;
  const std::string shown = gf_escapedText(reply.substr(0, kShown)) + (reply.size() > kShown ? " ..." : "");
  gf_logLimited("RT App client gave no version",
                fmt::format("RT App client gave no version ({}), waiting for a new one ...", shown));
}

}  // namespace

std::string gf_winsockErrorText(int code) {
  for (const WinsockText& entry : kWinsockTexts)
    if (entry.text && entry.code == code) return fmt::format("{} {}", code, entry.text);
  return fmt::format("{} {}", code, "Unknown errror code");
}

void RTAppServer::start(const std::string& port) {
  net::Socket previous = net::kInvalidSocket;
  {
    std::lock_guard lock(stateMutex);
    if (listenSock != net::kInvalidSocket && listenPort == port) return;
    previous = std::exchange(listenSock, net::kInvalidSocket);
    ++listenGeneration;
  }
  if (previous != net::kInvalidSocket) retireSocket(previous);

  net::AddressList address;
  const int resolved = net::resolvePassiveTcp(port, address);
  if (resolved != 0) throw std::runtime_error(fmt::format("getaddrinfo failed with error {}", resolved));
  const net::Socket s = net::createSocketFor(address);
  // Each failure closes what was made so far; the message names the step.
  auto fail = [s](const std::string& message) {
    net::closeSocket(s);
    throw std::runtime_error(message);
  };
  if (s == net::kInvalidSocket) throw std::runtime_error("socket failed with error " + lf_errorText());
  if (!net::setBlocking(s, true)) fail("ioctlsocket failed with error " + lf_errorText());
  if (!net::setReuseAddress(s)) fail("setsockopt(SO_REUSEADDR) failed");
  if (!net::bindTo(s, address)) fail("Bind failed at port " + port + " with error " + lf_errorText());
  if (!net::listenMax(s)) fail("listen failed with error " + lf_errorText());
  {
    std::lock_guard lock(stateMutex);
    listenSock = s;
    listenPort = port;
    ++listenGeneration;
  }
  if (this == &g_rtAppServer) gf_setRTAppServerCloser(lf_closeGlobalServer);
}

bool RTAppServer::waitForClient() {
  std::uint64_t generation = 0;
  net::Socket listening = net::kInvalidSocket;
  {
    std::lock_guard lock(stateMutex);
    if (connected || listenSock == net::kInvalidSocket) return false;
    listening = listenSock;
    generation = listenGeneration;
    ++socketUsers;
  }
  net::Socket s = net::kInvalidSocket;
  try {
    // Accept only once a connection is waiting, so that a stop is seen within a poll period.
    for (;;) {
      if (!gf_isRunning()) break;
      {
        std::lock_guard lock(stateMutex);
        if (generation != listenGeneration) break;
      }
      const int ready = net::waitReadable(listening, kStopPollMilliseconds);
      if (ready < 0) break;
      if (ready == 0) continue;
      s = net::acceptClient(listening);
      break;
    }
    releaseSocket();
    if (s == net::kInvalidSocket) return false;
    // The worker sends the user's position: an app that stops reading must not hold its tick.
    if (!lf_setClientOptions(s)) {
      const std::string error = lf_errorText();
      net::closeSocket(s);
      throw std::runtime_error(fmt::format("{} setsockopt failed with error {}", gf_utcTimeText(), error));
    }
    return adoptClient(s, generation);
  } catch (const std::exception& e) {
    gf_logNoexcept(fmt::format("waitForClient interrupted: {}", e.what()));
    return false;
  }
}

bool RTAppServer::adoptClient(net::Socket s, std::uint64_t generation) {
  std::vector<std::uint32_t> addresses;
  if (const std::optional<std::uint32_t> peer = net::peerAddress(s)) {
    addresses = net::ownIpv4Addresses();
    // An app on this machine may connect to one of its addresses and send to another.
    const bool onThisMachine = std::ranges::find(addresses, *peer) != addresses.end();
    if (!onThisMachine) addresses.assign(1, *peer);
    if (addresses.empty()) addresses.push_back(*peer);
  }
  std::unique_lock lock(stateMutex);
  if (generation != listenGeneration || connected) {
    lock.unlock();
    net::closeSocket(s);
    return false;
  }
  clientSock = s;
  connected = true;
  appAddresses = std::move(addresses);
  return true;
}

std::optional<std::string> RTAppServer::waitForApp(std::string_view question,
                                                   const std::function<bool(std::string_view)>& isAnswer,
                                                   std::chrono::milliseconds answerTimeout) {
  using Clock = std::chrono::steady_clock;
  struct Candidate {
    net::Socket socket;
    Clock::time_point deadline;
    // A slow link or a busy machine may bring the answer in several reads.
    RTAppAnswerGatherer answer;
  };
  std::uint64_t generation = 0;
  net::Socket listening = net::kInvalidSocket;
  {
    std::lock_guard lock(stateMutex);
    if (connected || listenSock == net::kInvalidSocket) return std::nullopt;
    listening = listenSock;
    generation = listenGeneration;
    ++socketUsers;
  }
  std::vector<Candidate> candidates;
  std::optional<std::string> answer;
  net::Socket app = net::kInvalidSocket;
  std::vector<net::Socket> sockets;
  std::vector<bool> readable;
  std::string buffer(kReceiveBufferSize, '\0');
  while (app == net::kInvalidSocket && gf_isRunning()) {
    {
      std::lock_guard lock(stateMutex);
      if (generation != listenGeneration || connected) break;
    }
    sockets.assign(1, listening);
    for (const Candidate& c : candidates) sockets.push_back(c.socket);
    if (net::waitAnyReadable(sockets, kStopPollMilliseconds, readable) < 0) break;
    const Clock::time_point now = Clock::now();
    // Answers first, in the order the clients came: the first that answers as the app wins.
    std::vector<Candidate> waiting;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      Candidate& c = candidates[i];
      // The limit holds for the whole answer: a client trickling bytes is as late as a silent one.
      if (!readable[i + 1] || now >= c.deadline) {
        if (now < c.deadline) {
          waiting.push_back(std::move(c));
          continue;
        }
        if (c.answer.text().empty())
          gf_logLimited("RT App client did not answer", "RT App client did not answer, waiting for a new one ...");
        else
          lf_logNoVersion(c.answer.text());
        net::closeSocket(c.socket);
        continue;
      }
      const int got = net::receive(c.socket, buffer.data(), buffer.size());
      if (got <= 0) {
        // Closed or failed before its answer was whole.
        if (!c.answer.text().empty()) lf_logNoVersion(c.answer.text());
        net::closeSocket(c.socket);
        continue;
      }
      const std::size_t size = static_cast<std::size_t>(got);
      // A read that fills the buffer, or an answer still not whole at the buffer's size, overruns.
      const bool overrun = size >= kReceiveBufferSize;
      const RTAppAnswerGatherer::State state =
          overrun ? RTAppAnswerGatherer::State::refused : c.answer.add(std::string_view(buffer.data(), size));
      if (overrun || (state == RTAppAnswerGatherer::State::gathering && c.answer.text().size() >= kReceiveBufferSize)) {
        gf_logLimited("receive: buffer overrun",
                      fmt::format("receive: buffer overrun: {}", overrun ? size : c.answer.text().size()));
        net::closeSocket(c.socket);
        continue;
      }
      if (state == RTAppAnswerGatherer::State::gathering) {
        waiting.push_back(std::move(c));
        continue;
      }
      if (state == RTAppAnswerGatherer::State::whole && app == net::kInvalidSocket && isAnswer(c.answer.value())) {
        app = c.socket;
        // What follows the answer is the app's, read and dropped with the rest of its stream.
        answer.emplace(c.answer.value());
        continue;
      }
      lf_logNoVersion(c.answer.text());
      net::closeSocket(c.socket);
    }
    candidates.swap(waiting);
    if (app != net::kInvalidSocket || !readable[0]) continue;
    // Everyone waiting is taken in and asked; past the limit the longest waiting goes.
    for (std::size_t taken = 0; taken < kAcceptsPerRound && net::waitReadable(listening, 0) == 1; ++taken) {
      const net::Socket s = net::acceptClient(listening);
      if (s == net::kInvalidSocket) break;
      if (!lf_setClientOptions(s) || !net::sendAll(s, question)) {
        net::closeSocket(s);
        continue;
      }
      if (candidates.size() >= kMaxCandidates) {
        gf_logLimited("RT App client did not answer", "RT App client did not answer, waiting for a new one ...");
        net::closeSocket(candidates.front().socket);
        candidates.erase(candidates.begin());
      }
      candidates.push_back({s, Clock::now() + answerTimeout, {}});
    }
  }
  for (const Candidate& c : candidates) net::closeSocket(c.socket);
  releaseSocket();
  if (app == net::kInvalidSocket || !adoptClient(app, generation)) return std::nullopt;
  return answer;
}

bool RTAppServer::sendDataPacket(const std::string& text) {
  std::lock_guard sendLock(sendMutex);
  const net::Socket s = acquireClient();
  if (s == net::kInvalidSocket) return false;
  // A request line goes out whole: a short write is continued rather than cut.
  const bool sent = net::sendAll(s, text);
  if (!sent) {
    gf_logNoexcept(fmt::format("sendDataPacket to RealTraffic failed: {}", lf_errorText()));
    closeClient(s);
    gf_logNoexcept("RealTraffic client socket closed");
  }
  releaseSocket();
  return sent;
}

void RTAppServer::close() {
  net::Socket listening = net::kInvalidSocket;
  net::Socket client = net::kInvalidSocket;
  {
    std::lock_guard lock(stateMutex);
    listening = std::exchange(listenSock, net::kInvalidSocket);
    client = std::exchange(clientSock, net::kInvalidSocket);
    connected = false;
    ++listenGeneration;
  }
  if (listening != net::kInvalidSocket) retireSocket(listening);
  if (client != net::kInvalidSocket) retireSocket(client);
  if (this == &g_rtAppServer) gf_setRTAppServerCloser(nullptr);
}

std::string RTAppServer::receive() {
  std::lock_guard receiveLock(receiveMutex);
  const net::Socket s = acquireClient();
  if (s == net::kInvalidSocket) return {};
  std::string text;
  for (;;) {
    if (!gf_isRunning()) break;
    const int ready = net::waitReadable(s, kStopPollMilliseconds);
    if (ready == 0) continue;
    std::string buffer(kReceiveBufferSize, '\0');
    const int got = net::receive(s, buffer.data(), buffer.size());
    if (got < 0) {
      gf_logNoexcept(fmt::format("receive: {}", lf_errorText()));
    } else if (static_cast<std::size_t>(got) >= kReceiveBufferSize) {
      gf_logNoexcept(fmt::format("receive: buffer overrun: {}", got));
    } else {
      text.assign(buffer.data(), static_cast<std::size_t>(got));
    }
    break;
  }
  releaseSocket();
  return text;
}

void RTAppServer::drainReceiveBuffer() {
  std::lock_guard receiveLock(receiveMutex);
  const net::Socket s = acquireClient();
  if (s == net::kInvalidSocket) return;
  std::string buffer(kReceiveBufferSize, '\0');
  // A client that never stops sending must not keep its caller here: the rest waits for the next call.
  for (int reads = 0; reads < kMaxDrainReads; ++reads) {
    const int ready = net::waitReadable(s, 0);
    if (ready == 0) break;
    if (ready < 0) {
      if (net::lastError() != net::WSAEWOULDBLOCK)
        gf_logNoexcept(fmt::format("drainReceiveBuffer select error: {}", lf_errorText()));
      break;
    }
    const int got = net::receive(s, buffer.data(), buffer.size());
    if (got > 0) continue;
    if (got == 0) {
      closeClient(s);
      break;
    }
    const int error = net::lastError();
    if (error == net::WSAEWOULDBLOCK) break;
    if (error != net::WSAECONNABORTED && error != net::WSAECONNRESET)
      gf_logNoexcept(fmt::format("drainReceiveBuffer recv error: {}", gf_winsockErrorText(error)));
    closeClient(s);
    break;
  }
  releaseSocket();
}

void RTAppServer::dropClient() { closeClient(clientSocket()); }

bool RTAppServer::watchClient() {
  const net::Socket s = acquireClient();
  if (s == net::kInvalidSocket) return false;
  // Most ticks nothing has come: only then is there anything to read.
  const bool quiet = net::waitReadable(s, 0) == 0;
  releaseSocket();
  if (!quiet) drainReceiveBuffer();
  return isConnected();
}

net::Socket RTAppServer::clientSocket() {
  std::lock_guard lock(stateMutex);
  return clientSock;
}

bool RTAppServer::acceptsDatagramFrom(std::uint32_t sender) {
  std::lock_guard lock(stateMutex);
  if (!connected || appAddresses.empty()) return true;
  return std::ranges::find(appAddresses, sender) != appAddresses.end();
}

void RTAppServer::closeClient(net::Socket s) {
  {
    std::lock_guard lock(stateMutex);
    if (s == net::kInvalidSocket || s != clientSock) return;
    clientSock = net::kInvalidSocket;
    connected = false;
  }
  retireSocket(s);
}

bool RTAppServer::isConnected() {
  std::lock_guard lock(stateMutex);
  return connected;
}

std::optional<std::uint16_t> RTAppServer::listeningPort() {
  std::lock_guard lock(stateMutex);
  if (listenSock == net::kInvalidSocket) return std::nullopt;
  return net::localPort(listenSock);
}

net::Socket RTAppServer::acquireClient() {
  std::lock_guard lock(stateMutex);
  if (clientSock == net::kInvalidSocket) return net::kInvalidSocket;
  ++socketUsers;
  return clientSock;
}

void RTAppServer::releaseSocket() {
  std::vector<net::Socket> closing;
  {
    std::lock_guard lock(stateMutex);
    if (--socketUsers == 0) closing.swap(retiredSockets);
  }
  for (net::Socket s : closing) net::closeSocket(s);
}

void RTAppServer::retireSocket(net::Socket s) {
  // The shutdown wakes whoever waits on it; the handle is closed once nobody can still use it.
  net::shutdownSocket(s);
  {
    std::lock_guard lock(stateMutex);
    if (socketUsers > 0) {
      retiredSockets.push_back(s);
      return;
    }
  }
  net::closeSocket(s);
}
