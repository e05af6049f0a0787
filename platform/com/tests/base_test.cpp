#include <com/base.h>
#include <com/errorinfo.h>
#include <com/text.h>
#include <com/variant.h>
#include <gtest/gtest.h>

namespace {

TEST(Guid, FormatsAndParsesTheBracedForm) {
    auto g = com::GUID::parse("{b196b284-BAB4-101A-B69C-00AA00341D07}");
    ASSERT_TRUE(g);
    EXPECT_EQ(*g, com::IID_IConnectionPointContainer);
    EXPECT_EQ(g->toString(), "{B196B284-BAB4-101A-B69C-00AA00341D07}");
    for (const char* bad :
         {"", "B196B284-BAB4-101A-B69C-00AA00341D07", "{B196B284-BAB4-101A-B69C-00AA00341D0G}",
          "{B196B284BBAB4-101A-B69C-00AA00341D07}", "{B196B284-BAB4-101A-B69C-00AA00341D07"})
        EXPECT_FALSE(com::GUID::parse(bad)) << bad;
}

TEST(ResultName, KnownCodesByNameOthersInHex) {
    EXPECT_EQ(com::resultName(com::E_INVALIDARG), "E_INVALIDARG");
    EXPECT_EQ(com::resultName(com::hresult(0x80040216)), "0x80040216");
}

TEST(Text, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(com::narrow(com::widen(all)), all);
    bool lossy = false;
    EXPECT_EQ(com::narrow(u"a\u20acb", &lossy), "a?b");
    EXPECT_TRUE(lossy);
}

TEST(ErrorInfo, IsTakenOnce) {
    com::setErrorInfo({u"Port is closed.", u"VeskorMod.Veskor.1", com::IID_IDispatch});
    auto info = com::getErrorInfo();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->description, u"Port is closed.");
    EXPECT_FALSE(com::getErrorInfo());
}

TEST(ChangeType, CoercesLikeAutomation) {
    com::Variant out;
    EXPECT_EQ(com::changeType(out, com::Variant(2.5), com::VT_I4), com::S_OK);
    EXPECT_EQ(out.i4, 2);  // half to even
    EXPECT_EQ(com::changeType(out, com::Variant(3.5), com::VT_I2), com::S_OK);
    EXPECT_EQ(out.i2, 4);
    EXPECT_EQ(com::changeType(out, com::Variant(std::int32_t{40000}), com::VT_I2), com::DISP_E_OVERFLOW);
    EXPECT_EQ(com::changeType(out, com::Variant(u" 115200 "), com::VT_I4), com::S_OK);
    EXPECT_EQ(out.i4, 115200);
    EXPECT_EQ(com::changeType(out, com::Variant(u"12x"), com::VT_I4), com::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(com::changeType(out, com::Variant(std::int16_t{-7}), com::VT_BSTR), com::S_OK);
    EXPECT_EQ(out.str, u"-7");
    com::Variant target(std::int32_t{5});
    EXPECT_EQ(com::changeType(out, com::Variant::byRef(target), com::VT_R8), com::S_OK);
    EXPECT_EQ(out.r8, 5.0);
}

}  // namespace
