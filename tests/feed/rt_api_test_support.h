#pragma once
// A web API stand-in on a free loopback port, a fresh log and clean RT Direct state per test.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "appbase/gui.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_transport.h"
#include "standin/realtraffic/web_api_server.h"
#include "tests/feed/feed_test_support.h"

namespace feed_test {

inline rtstandin::TrafficScenario sampleScenario() { return rtstandin::loadScenario(JORV_SAMPLE_SCENARIO); }

class WebApiTest : public feed_test::LoggedTest {
 protected:
  void SetUp() override {
    LoggedTest::SetUp();
    gf_resetGuiForTest();
    gf_resetRTAPISessionForTest();
  }
  void TearDown() override {
    server_.reset();
    gf_resetGuiForTest();
    gf_resetRTAPISessionForTest();
    gf_setRTAPIBaseUrl("");
    LoggedTest::TearDown();
  }
  rtstandin::WebApiServer& startServer(rtstandin::WebApiOptions options = {},
                                       rtstandin::TrafficScenario scenario = sampleScenario()) {
    server_ = std::make_unique<rtstandin::WebApiServer>(std::move(scenario), std::move(options));
    gf_setRTAPIBaseUrl(server_->baseUrl());
    return *server_;
  }
  rtstandin::WebApiServer& server() { return *server_; }
  // The status-line texts queued for the (absent) window, in order.
  static std::vector<std::string> shownMessages() {
    std::vector<std::string> texts;
    std::lock_guard lock(g_gui.queueMutex);
    for (const GuiUpdate& update : g_gui.queue)
      if (const auto* shown = std::get_if<gui::ShowMessage>(&update)) texts.push_back(shown->text);
    return texts;
  }

 private:
  std::unique_ptr<rtstandin::WebApiServer> server_;
};

}  // namespace feed_test
