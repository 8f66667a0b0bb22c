// Placeholder until this area's tests land.
#include <gtest/gtest.h>

TEST(StreamPlaceholder, Builds) { SUCCEED(); }
