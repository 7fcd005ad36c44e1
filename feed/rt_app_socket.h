#pragma once
// The UDP side of the RT App link: one socket on a port and the receive loop that hands each
// new datagram to the reader's line handler.
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/net.h"

inline constexpr std::uint16_t kRTAppTrafficPort = 49005;
inline constexpr std::uint16_t kRTAppWeatherPort = 49004;

class RTAppSocket {
 public:
  static constexpr std::size_t kMaxDatagram = 16384;

  RTAppSocket() = default;
  virtual ~RTAppSocket();
  RTAppSocket(const RTAppSocket&) = delete;
  RTAppSocket& operator=(const RTAppSocket&) = delete;

  // An IPv4 UDP socket; one already held is closed first. Throws std::runtime_error.
  void create();
  // INADDR_ANY and the port. Throws std::runtime_error.
  void bindToPort(std::uint16_t port);
  // The receive loop: returns after onDisconnect once stopped; throws on a socket error.
  void receive();
  void close();
  // From any thread: the loop ends at once instead of at its next one-second wake-up.
  void requestStop();
  std::optional<std::uint16_t> boundPort() const;

  // Hands a text to the line handler as if it had arrived (the handler's tests use it).
  void handleText(std::string_view text);

  // Set by requestStop, cleared only by the readers' reset between runs.
  std::atomic<std::uint32_t> stopFlag{0};
  // Every datagram received, the discarded ones too; read and reset by the reader-state monitor.
  std::atomic<std::uint32_t> datagramCount{0};
  std::uint32_t countSeen = 0;  // the monitor's copy

 protected:
  virtual void handleLine() = 0;
  virtual void onDisconnect() = 0;
  void clearReceivedLineState();

  std::string_view line;  // the datagram being handled; valid during handleLine
  std::string lastDatagram;

 private:
  std::array<char, kMaxDatagram + 1> buffer{};
  std::atomic<net::Socket> socket_{net::kInvalidSocket};
};
