#include "web/text.h"
#include <gtest/gtest.h>
TEST(Text, Builds) {}
