// Dispatch: request codes outside the table are logged and not answered.
#include <gtest/gtest.h>

#include "AppMgr/BCLsnMsgHandler.h"

#include "fakes/TestEnvironment.h"

using DispatchTest = ListenerTest;

TEST_F(DispatchTest, UnservedCodeIsLoggedAndNotAnswered) {
  xrsDatabuf buf;
  EXPECT_EQ(BCLsnMsgHandler::handleMessage(session_, 0x1a002013, &buf), 0);
  EXPECT_TRUE(session_.sent().empty());
  EXPECT_EQ(log().count("Unexpected network request [0x1a002013]. Cannot handle this request."), 1u);
}
