// The release lists a user sees (the console's revision history, the AppStream metainfo and
// the Debian changelog) all start with the version the programs report, on one date.
#include <gtest/gtest.h>
#include <sarnel/version.h>

#include <string>

#include "console/shell/versiontext.h"
#include "packaging_support.h"

namespace {

// The text between `before` (searched from `from`) and the next `after`; "" when absent.
std::string between(const std::string& text, const std::string& before, const std::string& after,
                    std::size_t from = 0) {
    const std::size_t start = text.find(before, from);
    if (start == std::string::npos) return {};
    const std::size_t end = text.find(after, start + before.size());
    if (end == std::string::npos) return {};
    return text.substr(start + before.size(), end - start - before.size());
}

TEST(Releases, EveryReleaseListStartsWithTheProgramsVersion) {
    const std::string version = SARNEL_VERSION_STRING;

    const char* metainfo = std::getenv("SARNEL_METAINFO");
    ASSERT_NE(metainfo, nullptr);
    const std::string meta = packtest::readtext(metainfo);
    const std::size_t release = meta.find("<release ");
    ASSERT_NE(release, std::string::npos);
    EXPECT_EQ(between(meta, "version=\"", "\"", release), version);
    const std::string date = between(meta, "date=\"", "\"", release);

    const std::string changelog = packtest::readtext(packtest::source("packaging/changelog"));
    EXPECT_EQ(between(changelog, "sarnel (", ") "), version);
    EXPECT_EQ(changelog.rfind("sarnel (", 0), 0u);

    // The same day in both: " -- Name <address>  Tue, 08 Dec 2026 12:00:00 +0000" in the
    // changelog, 2026-12-08 in the metainfo.
    const std::string signoff = between(changelog, ">  ", "\n", changelog.find("\n -- "));
    ASSERT_GE(signoff.size(), 16u) << signoff;
    const std::string day = signoff.substr(5, 2), month = signoff.substr(8, 3), year = signoff.substr(12, 4);
    const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const std::size_t m = months.find(month);
    ASSERT_TRUE(m != std::string::npos && m % 3 == 0) << signoff;
    const std::string number = std::to_string(m / 3 + 1);
    EXPECT_EQ(date, year + "-" + (number.size() == 1 ? "0" : "") + number + "-" + day);

    // The console's revision history shows versions as versiontext() writes them (1.00.00),
    // the newest first, in bold.
    const std::string history =
        packtest::readtext(packtest::source("console/shell/help/revisionhistory.rtf"));
    EXPECT_EQ(between(history, "\\par\n\\b ", "\\b0"), sarnel::versiontext());
}

}  // namespace
