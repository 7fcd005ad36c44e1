#include "feed/rt_app_socket.h"

#include <fmt/format.h>

#include <cstring>
#include <stdexcept>

#include "appbase/stop_request.h"
#include "core/log.h"
#include "feed/rt_app_server.h"

namespace {

constexpr int kReceiveTimeoutMilliseconds = 1000;

void lf_logOversized() noexcept {
  try {
    gf_logLimited("UDP datagram exceeds",
                  fmt::format("UDP datagram exceeds {} bytes; discarded", RTAppSocket::kMaxDatagram));
  } catch (...) {
  }
}

void lf_logForeign(std::uint32_t sender) noexcept {
  try {
    gf_logLimited("UDP datagram ignored",
                  fmt::format("UDP datagram from {}.{}.{}.{} ignored: not the RT App's address", sender >> 24,
                              (sender >> 16) & 0xFF, (sender >> 8) & 0xFF, sender & 0xFF));
  } catch (...) {
  }
}

}  // namespace

RTAppSocket::~RTAppSocket() { close(); }

void RTAppSocket::create() {
  close();
  const net::Socket s = net::createUdpSocket();
  if (s == net::kInvalidSocket)
    throw std::runtime_error(
        fmt::format("failed to create the socket, error: {}", gf_winsockErrorText(net::lastError())));
  socket_ = s;
  // stopFlag is left alone: a stop asked for before the reader got here still ends it. The reset
  // between runs clears it.
}

void RTAppSocket::bindToPort(std::uint16_t port) {
  const net::Socket s = socket_;
  if (s == net::kInvalidSocket) throw std::runtime_error("bindToPort: socket_ is INVALID_SOCKET");
  if (!net::bindAnyAddress(s, port))
    throw std::runtime_error(fmt::format("bind failed, error: {}", gf_winsockErrorText(net::lastError())));
}

void RTAppSocket::receive() {
  const net::Socket s = socket_;
  if (s == net::kInvalidSocket) throw std::runtime_error("receive: socket_ is INVALID_SOCKET");
  if (!net::setReceiveTimeout(s, kReceiveTimeoutMilliseconds))
    throw std::runtime_error(fmt::format("setsockopt SO_RCVTIMEO failed, socket_={}, error={}", s,
                                         gf_winsockErrorText(net::lastError())));
  try {
    for (;;) {
      if (stopFlag || !gf_isRunning()) {
        onDisconnect();
        return;
      }
      std::uint32_t sender = 0;
      const int got = net::receiveDatagramFrom(s, buffer.data(), buffer.size(), sender);
      if (got == 0) continue;
      if (got < 0) {
        const int error = net::lastError();
        if (error == net::WSAEINTR || error == net::WSAEWOULDBLOCK || error == net::WSAETIMEDOUT) continue;
        if (error == net::WSAEMSGSIZE) {
          if (!g_rtAppServer.acceptsDatagramFrom(sender)) {
            lf_logForeign(sender);
            continue;
          }
          ++datagramCount;
          lf_logOversized();
          continue;
        }
        if (stopFlag) {
          onDisconnect();
          return;
        }
        throw std::runtime_error(fmt::format("receive error: {}", gf_winsockErrorText(error)));
      }
      // Once the app is connected, only its datagrams count: anyone else on the network could
      // add aircraft or drown its traffic.
      if (!g_rtAppServer.acceptsDatagramFrom(sender)) {
        lf_logForeign(sender);
        continue;
      }
      ++datagramCount;
      const auto size = static_cast<std::size_t>(got);
      if (size > kMaxDatagram) {
        lf_logOversized();
        continue;
      }
      buffer[size] = '\0';
      const std::string_view datagram(buffer.data(), size);
      // The app repeats itself; a datagram equal to the one before is handled once.
      if (datagram == lastDatagram) continue;
      lastDatagram.assign(datagram);
      line = lastDatagram;
      handleLine();
    }
  } catch (...) {
    onDisconnect();
    throw;
  }
}

void RTAppSocket::close() {
  const net::Socket s = socket_.exchange(net::kInvalidSocket);
  net::closeSocket(s);
}

void RTAppSocket::requestStop() {
  stopFlag = 1;
  // The handle stays open for the receiving thread; the shutdown only wakes it.
  net::shutdownSocket(socket_.load());
}

std::optional<std::uint16_t> RTAppSocket::boundPort() const {
  const net::Socket s = socket_;
  if (s == net::kInvalidSocket) return std::nullopt;
  return net::localPort(s);
}

void RTAppSocket::handleText(std::string_view text) {
  lastDatagram.assign(text);
  line = lastDatagram;
  handleLine();
}

void RTAppSocket::clearReceivedLineState() {
  line = {};
  lastDatagram.clear();
  datagramCount = 0;
  countSeen = 0;
}
