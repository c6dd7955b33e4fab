#include "recordio/record_format.h"
#include <gtest/gtest.h>
TEST(Placeholder, Builds) { EXPECT_EQ(quorlant::recordio::format_integer(7, 2), " 7"); }
