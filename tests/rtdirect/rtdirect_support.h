#pragma once
// A web API stand-in on a free loopback port, a fresh log and clean RT Direct state per test.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/gui.h"
#include "app/stop_request.h"
#include "core/log.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_transport.h"
#include "standin/realtraffic/web_api_server.h"
#include "tests/support/test_support.h"

namespace rtdirect_test {

inline rtstandin::TrafficScenario sampleScenario() { return rtstandin::loadScenario(JORV_SAMPLE_SCENARIO); }

class WebApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_resetStopStateForTest();
    gf_resetGuiForTest();
    gf_resetRTAPISessionForTest();
    gf_openLog();
  }
  void TearDown() override {
    server_.reset();
    gf_closeLog();
    gf_resetStopStateForTest();
    gf_resetGuiForTest();
    gf_resetRTAPISessionForTest();
    gf_setRTAPIBaseUrl("");
  }
  rtstandin::WebApiServer& startServer(rtstandin::WebApiOptions options = {},
                                       rtstandin::TrafficScenario scenario = sampleScenario()) {
    server_ = std::make_unique<rtstandin::WebApiServer>(std::move(scenario), std::move(options));
    gf_setRTAPIBaseUrl(server_->baseUrl());
    return *server_;
  }
  rtstandin::WebApiServer& server() { return *server_; }
  std::string logText() {
    gf_flushLog();
    return testing_support::readFile(dir_.path() / "Log.txt");
  }
  // The status-line texts queued for the (absent) window, in order.
  static std::vector<std::string> shownMessages() {
    std::vector<std::string> texts;
    std::lock_guard lock(g_gui.queueMutex);
    for (const GuiUpdate& update : g_gui.queue)
      if (const auto* shown = std::get_if<gui::ShowMessage>(&update)) texts.push_back(shown->text);
    return texts;
  }
  const std::filesystem::path& folder() const { return dir_.path(); }

 private:
  testing_support::TempDir dir_;
  testing_support::ScopedCurrentDir cwd_{dir_.path()};
  std::unique_ptr<rtstandin::WebApiServer> server_;
};

}  // namespace rtdirect_test
