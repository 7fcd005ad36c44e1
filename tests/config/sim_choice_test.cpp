#include <gtest/gtest.h>

#include "config/sim_choice.h"

namespace {

TEST(SimChoice, DefaultsToMsfs2024AndRTDirectAndFormatsObjectIdsByEdition) {
  EXPECT_FALSE(gf_isMsfs2020());
  EXPECT_TRUE(gf_isRtDirect());
  EXPECT_EQ(gf_objectIdText(255), "ff");
  gf_publishSimChoice(SimChoice{1, 1});
  EXPECT_TRUE(gf_isMsfs2020());
  EXPECT_FALSE(gf_isRtDirect());
  EXPECT_EQ(gf_objectIdText(255), "255");
  gf_publishSimChoice(SimChoice{});
}

}  // namespace
