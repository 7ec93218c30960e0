#include <gtest/gtest.h>

#include "core/command_table.h"

TEST(CommandTable, ListsEveryCommandNumber) { EXPECT_EQ(ListedCommandCount(), 879); }
