// The owning wrappers give back exactly what they took: a handle once, however it was moved
// or replaced, and a DC's selection and state as they were before the scope.
#include "platform/win32/WinHandles.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace vqx::win32 {
namespace {

std::vector<int> freed;
void Free(int handle) {
    freed.push_back(handle);
}

TEST(WinHandlesTest, EachIsGivenBackOnceAndTheDcAsItWas) {
    using Counted = Owned<int, Free>;
    freed.clear();
    {
        Counted a(1);
        Counted b(std::move(a));
        Counted c(2);
        c = std::move(b); // 2 goes; 1 is c's now
        EXPECT_EQ(freed, std::vector<int>{2});
        c.reset(3);
        EXPECT_EQ(freed, (std::vector<int>{2, 1}));
    } // a and b hold nothing
    EXPECT_EQ(freed, (std::vector<int>{2, 1, 3}));

    const MemoryDc dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const HGDIOBJ pen = GetCurrentObject(dc.get(), OBJ_PEN);
    const COLORREF colour = GetTextColor(dc.get());
    const Pen red(CreatePen(PS_SOLID, 1, RGB(255, 0, 0)));
    ASSERT_TRUE(red);
    {
        const Selection selected(dc.get(), red.get());
        EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_PEN), red.get());
    }
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_PEN), pen);
    {
        const SavedDc saved(dc.get());
        SelectObject(dc.get(), red.get());
        SetTextColor(dc.get(), colour ^ 0xFFFFFF);
    }
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_PEN), pen);
    EXPECT_EQ(GetTextColor(dc.get()), colour);
}

} // namespace
} // namespace vqx::win32
