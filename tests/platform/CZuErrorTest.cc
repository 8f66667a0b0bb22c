// The session status object.
#include <gtest/gtest.h>

#include "platform/CZuError.h"

TEST(CZuErrorTest, OnlyNegativeCodesAreErrorsAndTheTextFallsBackToTheCode) {
  EXPECT_FALSE(CZuError().IsError());
  EXPECT_EQ(CZuError().code(), 0);
  EXPECT_EQ(CZuError().AsString(), "Success");
  EXPECT_FALSE(CZuError(3, "warning").IsError());
  EXPECT_TRUE(CZuError(-1, "lost").IsError());
  EXPECT_EQ(CZuError(-5, "").AsString(), "Error -5");
  const CZuError original(-5, "peer went away");
  const CZuError copy = original;
  EXPECT_EQ(copy.AsString(), "peer went away");
  EXPECT_EQ(copy.code(), -5);
}
