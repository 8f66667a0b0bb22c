// Placeholder until this area's tests land.
#include <gtest/gtest.h>

TEST(UtilPlaceholder, Builds) { SUCCEED(); }
