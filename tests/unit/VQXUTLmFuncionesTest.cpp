// The icon routine on real windows: an icon resource that the program does not carry leaves the
// windows without icons, and only the windows it was meant for, along the owner chain.
#include "platform/win32/VQXUTLmFunciones.h"

#include <gtest/gtest.h>

namespace vqx::win32 {
namespace {

constexpr wchar_t kClass[] = L"VQXIconTestWindow";

class IconTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClass;
        RegisterClassW(&wc); // a second registration fails harmlessly
    }

    void SetUp() override {
        // An owner chain: top <- middle <- window.
        top_ = Make(nullptr);
        middle_ = Make(top_);
        window_ = Make(middle_);
        ASSERT_TRUE(top_ && middle_ && window_);
        ASSERT_EQ(GetWindow(window_, GW_OWNER), middle_);
        for (HWND w : {top_, middle_, window_}) {
            SendMessageW(w, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(stock_));
            SendMessageW(w, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(stock_));
        }
    }

    void TearDown() override {
        for (HWND w : {window_, middle_, top_})
            if (w)
                DestroyWindow(w);
    }

    static HWND Make(HWND owner) {
        return CreateWindowExW(0, kClass, L"", WS_POPUP, 0, 0, 10, 10, owner, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    }

    static bool HasIcons(HWND w) {
        return SendMessageW(w, WM_GETICON, ICON_BIG, 0) != 0 &&
               SendMessageW(w, WM_GETICON, ICON_SMALL, 0) != 0;
    }
    static bool HasNoIcons(HWND w) {
        return SendMessageW(w, WM_GETICON, ICON_BIG, 0) == 0 &&
               SendMessageW(w, WM_GETICON, ICON_SMALL, 0) == 0;
    }

    HICON stock_ = LoadIconW(nullptr, IDI_APPLICATION);
    HWND top_ = nullptr, middle_ = nullptr, window_ = nullptr;
};

TEST_F(IconTest, MissingResourceClearsTheWindowAndTheTopOwnerOnly) {
    ASSERT_TRUE(stock_);
    ASSERT_TRUE(HasIcons(top_));
    proFN_EstablecerIcono(window_, L"NoExisteEsteIcono", true);
    EXPECT_TRUE(HasNoIcons(window_));
    EXPECT_TRUE(HasNoIcons(top_));
    EXPECT_TRUE(HasIcons(middle_)); // between the two: not touched
}

TEST_F(IconTest, WithoutTheOwnerChainOnlyTheWindowIsTouched) {
    proFN_EstablecerIcono(window_, L"NoExisteEsteIcono", false);
    EXPECT_TRUE(HasNoIcons(window_));
    EXPECT_TRUE(HasIcons(middle_));
    EXPECT_TRUE(HasIcons(top_));
}

TEST_F(IconTest, AWindowWithoutOwnerIsItsOwnTop) {
    proFN_EstablecerIcono(top_, L"NoExisteEsteIcono", true);
    EXPECT_TRUE(HasNoIcons(top_));
    EXPECT_TRUE(HasIcons(middle_));
    EXPECT_TRUE(HasIcons(window_));
}

} // namespace
} // namespace vqx::win32
