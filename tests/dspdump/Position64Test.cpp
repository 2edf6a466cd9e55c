// dspdump widens the library's 32-bit consumed counts to 64-bit offsets.
#include <gtest/gtest.h>

#include <vector>

#include "InputSource.h"

namespace {

struct WidenCase {
    const char *szName;
    std::vector<uint32_t> acbReported;  // successive 32-bit counts
    uint64_t cbExpected;
};

class Position64Widening : public ::testing::TestWithParam<WidenCase> {};

TEST_P(Position64Widening, FollowsTheCountAcrossWrapArounds) {
    dspdump::Position64 position;
    uint64_t cb = 0;
    for (uint32_t cbReported : GetParam().acbReported) cb = position.Update(cbReported);
    EXPECT_EQ(cb, GetParam().cbExpected);
    EXPECT_EQ(position.Value(), GetParam().cbExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Position64Widening,
    ::testing::Values(WidenCase{"Start", {}, 0}, WidenCase{"Small", {10, 4096}, 4096},
                      WidenCase{"Unchanged", {4096, 4096}, 4096},
                      WidenCase{"OneWrap", {0xFFFFFF00u, 0x10}, 0x100000010ull},
                      WidenCase{"TwoWraps", {0x80000000u, 0xF0000000u, 0x10, 0x90000000u,
                                             0x5},
                                0x200000005ull}),
    [](const auto &info) { return std::string(info.param.szName); });

}  // namespace
