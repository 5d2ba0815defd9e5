// The program's window as the user first meets it, and the ways of closing it.
#include "tests/driver/Harness.h"

#include <cmath>

namespace vqx::e2e {
namespace {

int ScreenDpi() {
    const win32::WindowDc dc(nullptr);
    return GetDeviceCaps(dc.get(), LOGPIXELSX);
}

RECT WindowRect(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
}

using WindowTest = AppTest;

TEST_F(WindowTest, OpensVisibleAndNotMinimised) {
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(IsIconic(window));
    EXPECT_FALSE(IsZoomed(window));
    RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT r = WindowRect(window), on{};
    EXPECT_TRUE(IntersectRect(&on, &r, &screen) && EqualRect(&on, &r))
        << "the window lies (partly) off the screen";
}

TEST_F(WindowTest, IsCentredOnThePrimaryScreen) {
    RECT r = WindowRect(window);
    const double width = r.right - r.left, height = r.bottom - r.top;
    const double left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const double top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    EXPECT_LE(std::abs(r.left - left), 1.0) << "left edge at " << r.left;
    EXPECT_LE(std::abs(r.top - top), 1.0) << "top edge at " << r.top;
}

TEST_F(WindowTest, Measures402By331PixelsAt96Dpi) {
    if (ScreenDpi() != 96)
        GTEST_SKIP() << "the screen is at " << ScreenDpi() << " dpi";
    RECT r = WindowRect(window);
    EXPECT_EQ(r.right - r.left, 402);
    EXPECT_EQ(r.bottom - r.top, 331);
}

TEST_F(WindowTest, IsBorderlessWithoutCaption) {
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, 0) << "caption or border bits set";
    EXPECT_EQ(style & WS_THICKFRAME, 0) << "sizing frame set";
    const LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
    EXPECT_EQ(
        exStyle & (WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE | WS_EX_STATICEDGE), 0)
        << "an edge style is set";
    // No non-client area at all: the client area is the whole window.
    RECT outer = WindowRect(window), client{};
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, outer.right - outer.left);
    EXPECT_EQ(client.bottom, outer.bottom - outer.top);
}

TEST_F(WindowTest, CarriesTheProgramTitle) {
    auto text = WindowText(window);
    ASSERT_TRUE(text.has_value()) << "the window did not answer WM_GETTEXT";
    EXPECT_EQ(*text, L"Zorvantec VQX - Respaldo de seguridad") << Narrow(*text);
}

using ClosingTest = AppTest;

TEST_F(ClosingTest, WmCloseEndsTheProgramWithExitCodeZero) {
    ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    auto code = app.WaitForExit();
    ASSERT_TRUE(code.has_value()) << "still running after WM_CLOSE";
    EXPECT_EQ(*code, 0u);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(ClosingTest, AltF4EndsTheProgramWithExitCodeZero) {
    ASSERT_TRUE(BringToFront(window)) << "the window did not come to the foreground";
    ASSERT_TRUE(PressKeys({VK_MENU, VK_F4}));
    auto code = app.WaitForExit();
    ASSERT_TRUE(code.has_value()) << "still running after Alt+F4";
    EXPECT_EQ(*code, 0u);
}

TEST_F(ClosingTest, SystemCloseCommandEndsTheProgramWithExitCodeZero) {
    ASSERT_TRUE(PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0));
    auto code = app.WaitForExit();
    ASSERT_TRUE(code.has_value()) << "still running after SC_CLOSE";
    EXPECT_EQ(*code, 0u);
}

} // namespace
} // namespace vqx::e2e
