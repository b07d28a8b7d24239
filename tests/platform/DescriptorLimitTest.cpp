#include "platform/DescriptorLimit.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <sys/resource.h>

using namespace lumarient;

TEST(DescriptorLimitTest, SoftLimitIsRaisedToTheHardOne)
{
    rlimit original{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &original), 0);
    rlimit lowered = original;
    lowered.rlim_cur = std::min<rlim_t>(original.rlim_max, 256);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);

    const std::optional<std::uint64_t> raised = raiseDescriptorLimit();
    // Already at the hard limit: nothing changes, and nothing fails.
    const std::optional<std::uint64_t> again = raiseDescriptorLimit();
    rlimit now{};
    ::getrlimit(RLIMIT_NOFILE, &now);
    ::setrlimit(RLIMIT_NOFILE, &original);

    EXPECT_EQ(now.rlim_cur, original.rlim_max);
    EXPECT_EQ(now.rlim_max, original.rlim_max);
    EXPECT_EQ(raised, std::uint64_t(original.rlim_max));
    EXPECT_EQ(again, raised);
}
