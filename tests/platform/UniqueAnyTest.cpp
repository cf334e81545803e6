#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "platform/UniqueHandle.h"

namespace {

// Handles are small integers; closing records them and spoils the last error
// as a real close that fails would.
std::vector<int> g_closed;

struct FakeTraits {
    using Handle = int;
    static constexpr int Invalid() { return 0; }
    static bool IsValid(int h) { return h != 0; }
    static void Close(int h)
    {
        g_closed.push_back(h);
        SetLastError(ERROR_INVALID_HANDLE);
    }
};
using UniqueFake = UniqueAny<FakeTraits>;

}  // namespace

TEST(UniqueAny, ClosesEachHandleOnceWhateverWayOwnershipEnds)
{
    g_closed.clear();
    {
        UniqueFake a(1);
        UniqueFake b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(b.Get(), 1);
        UniqueFake c(2);
        c = std::move(b);  // 2 goes now, 1 moves on
        EXPECT_EQ(g_closed, std::vector<int>({2}));
        c.Reset(3);
        EXPECT_EQ(g_closed, std::vector<int>({2, 1}));
        UniqueFake d(4);
        EXPECT_EQ(d.Release(), 4);  // the caller's now: never closed here
        EXPECT_FALSE(d);
    }
    EXPECT_EQ(g_closed, std::vector<int>({2, 1, 3}));
}

TEST(UniqueAny, ClosingKeepsTheLastErrorOfTheFailedCall)
{
    UniqueHandle file(CreateFileW(L"Z:\\no\\such\\folder\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(file) << "INVALID_HANDLE_VALUE is no handle";
    const DWORD error = GetLastError();
    {
        UniqueFake closedOnTheWay(5);
    }
    EXPECT_EQ(GetLastError(), error);

    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    SetLastError(ERROR_PATH_NOT_FOUND);
    event.Reset();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}
