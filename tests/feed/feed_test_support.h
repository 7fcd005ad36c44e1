#pragma once
// A fresh log in a temporary folder and a clean stop state for each feed test, and the app's
// end of a loopback connection.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "appbase/stop_request.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "platform/net.h"
#include "tests/support/test_support.h"

namespace feed_test {

// Waits for a condition that another thread brings about; false after five seconds.
inline bool eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 1000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

// A port free at the moment of asking.
inline std::uint16_t freeUdpPort() {
  net::UdpReceiver probe;
  probe.open(0, 10);
  return probe.port();
}

// The app's side of the request connection.
class FakeApp {
 public:
  explicit FakeApp(std::uint16_t port) : socket_(net::connectTcp("127.0.0.1", port)), lines_(socket_) {}
  ~FakeApp() { close(); }
  bool connected() const { return socket_ != net::kInvalidSocket; }
  std::string line(int timeoutMs = 5000) {
    std::string text;
    return lines_.next(text, timeoutMs) == net::LineReceiver::Status::Line ? text : std::string("<none>");
  }
  void send(const std::string& text) { ASSERT_TRUE(net::sendAll(socket_, text)); }
  void close() {
    net::closeSocket(socket_);
    socket_ = net::kInvalidSocket;
  }

 private:
  net::Socket socket_;
  net::LineReceiver lines_;
};

class LoggedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_resetStopStateForTest();
    gf_openLog();
  }
  void TearDown() override {
    gf_closeLog();
    gf_resetStopStateForTest();
    gf_publishSimChoice(SimChoice{});
  }
  std::string logText() {
    gf_flushLog();
    return testing_support::readFile(dir_.path() / "Log.txt");
  }

 private:
  testing_support::TempDir dir_;
  testing_support::ScopedCurrentDir cwd_{dir_.path()};
};

}  // namespace feed_test
