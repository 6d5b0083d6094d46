#pragma once
// The check every failure test makes: the whole standard output (what was dumped
// before the failure, then the one message), an empty standard error, exit status 1.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/run_tool.h"

inline void expect_failed(const tool_run& run, const std::string& out)
{
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
}
