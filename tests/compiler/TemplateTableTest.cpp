#include <gtest/gtest.h>
#include "TemplateTable.h"
TEST(TemplateTable, Placeholder) { EXPECT_EQ(kTemplateTable[0].length, 10u); }
