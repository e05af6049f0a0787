// The version as the windows show it.
#include "console/shell/versiontext.h"

#include <gtest/gtest.h>

namespace sarnel {
namespace {

TEST(VersiontextTest, TwoDigitMinorAndRevision) {
    EXPECT_EQ(versiontext(2, 1, 9), "2.01.09");
    EXPECT_EQ(versiontext(10, 12, 0), "10.12.00");
    EXPECT_EQ(versiontext(), "1.00.00");
}

}  // namespace
}  // namespace sarnel
