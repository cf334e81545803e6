#include <gtest/gtest.h>

#include <thread>

#include "platform/ThreadAffinity.h"

TEST(ThreadAffinity, TheFirstCheckedThreadOwnsTheObject)
{
    ThreadAffinity affinity;
    bool elsewhere = true;
    std::thread([&] { elsewhere = affinity.OnOwnerThread(); }).join();
    EXPECT_TRUE(elsewhere) << "the first caller binds";
    EXPECT_FALSE(affinity.OnOwnerThread());

    ThreadAffinity here;
    EXPECT_TRUE(here.OnOwnerThread());
    EXPECT_TRUE(here.OnOwnerThread());
    std::thread([&] { elsewhere = here.OnOwnerThread(); }).join();
    EXPECT_FALSE(elsewhere);
}
