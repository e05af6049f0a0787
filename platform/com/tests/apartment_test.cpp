#include <com/apartment.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {

struct InApartment : ::testing::Test {
    void SetUp() override { ASSERT_EQ(com::initializeApartment(), com::S_OK); }
    void TearDown() override { com::uninitializeApartment(); }
};

TEST_F(InApartment, CallsFromAnotherThreadRunOnTheOwnerWhenItServes) {
    com::ApartmentRef home = com::currentApartment();
    std::thread::id ranOn;
    std::thread poster([&] { EXPECT_TRUE(com::post(home, [&] { ranOn = std::this_thread::get_id(); })); });
    poster.join();
    EXPECT_TRUE(com::waitApartment(std::chrono::steady_clock::now() + 1s));
    EXPECT_EQ(com::serveApartment(), 1u);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_FALSE(com::waitApartment(std::chrono::steady_clock::now() + 10ms));
}

TEST_F(InApartment, NestedServeRunsEachCallOnce) {
    com::ApartmentRef home = com::currentApartment();
    int outer = 0, inner = 0;
    com::post(home, [&] {
        ++outer;
        com::post(home, [&] { ++inner; });
        com::serveApartment();  // a nested wait inside a handler
    });
    com::serveApartment();
    com::serveApartment();
    EXPECT_EQ(outer, 1);
    EXPECT_EQ(inner, 1);
}

TEST_F(InApartment, PostsAfterLeavingAreRefusedAndWaitingCallsDropped) {
    com::ApartmentRef home = com::currentApartment();
    std::atomic<int> ran{0};
    com::post(home, [&] { ++ran; });
    com::uninitializeApartment();
    EXPECT_FALSE(com::post(home, [&] { ++ran; }));
    EXPECT_EQ(com::serveApartment(), 0u);
    EXPECT_EQ(ran, 0);
    ASSERT_EQ(com::initializeApartment(), com::S_OK);  // for TearDown
}

TEST(Apartment, SecondEnterIsCountedAndTheWakeDescriptorBelongsToTheThread) {
    EXPECT_EQ(com::apartmentWakeDescriptor(), -1);
    EXPECT_EQ(com::initializeApartment(), com::S_OK);
    EXPECT_EQ(com::initializeApartment(), com::S_FALSE);
    EXPECT_GE(com::apartmentWakeDescriptor(), 0);
    com::uninitializeApartment();
    EXPECT_TRUE(com::currentApartment());
    com::uninitializeApartment();
    EXPECT_FALSE(com::currentApartment());
}

}  // namespace
