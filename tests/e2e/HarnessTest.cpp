// The harness itself, on a data folder and on a window of the driver's own: when these fail,
// a failure of the program's cases says nothing about the program.
#include "tests/driver/Harness.h"

#include <atomic>
#include <memory>
#include <thread>

namespace vqx::e2e {
namespace {

TEST(HarnessDataFolder, LaysOutTheTreeAndRemovesIt) {
    std::wstring path;
    {
        Layout layout = Layout::Typical();
        layout.rsLog = "Z:\\copias\\\r\n";
        DataFolder folder(layout);
        path = folder.Path();
        EXPECT_TRUE(folder.IsFile(ProgramFileName()));
        EXPECT_TRUE(folder.IsFile(L"VQX Datos.mdb"));
        EXPECT_EQ(folder.ReadFile(L"RS.log"), std::optional<std::string>("Z:\\copias\\\r\n"));
        EXPECT_EQ(
            folder.List(L"VQX Datos"),
            (std::vector<std::wstring>{L"Archivo", L"Informes", L"L\u00e9ame.txt", L"Oculto.tmp",
                                       L"Parametros.ini", L"Plantillas", L"Referencias"}));
        EXPECT_TRUE(folder.IsFile(L"VQX Datos\\Referencias\\Art\u00edculos.csv"));
        EXPECT_TRUE(folder.IsFile(L"VQX Datos\\Archivo\\2025\\Facturas 2025.dat"));
        DWORD hidden = GetFileAttributesW(folder.Full(L"VQX Datos\\Oculto.tmp").c_str());
        ASSERT_NE(hidden, INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(hidden & FILE_ATTRIBUTE_HIDDEN) << "the file system keeps no hidden flag";
        DWORD plain = GetFileAttributesW(folder.Full(L"VQX Datos\\Parametros.ini").c_str());
        EXPECT_FALSE(plain & FILE_ATTRIBUTE_HIDDEN);
    }
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << "not removed";
}

TEST(HarnessDataFolder, LeavesOutWhatTheLayoutLeavesOut) {
    Layout layout;
    layout.database.reset();
    DataFolder folder(layout);
    EXPECT_EQ(folder.List(L""), std::vector<std::wstring>{ProgramFileName()});
}

// A window of the driver with a button and an edit box, on a known colour.
class OwnWindow {
public:
    static constexpr COLORREF kBackground = RGB(10, 200, 30);
    static constexpr int kButtonId = 101, kEditId = 102;

    OwnWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = CreateSolidBrush(kBackground);
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = L"VqxHarnessProbe";
        RegisterClassW(&wc);
        hwnd = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"probe", WS_POPUP | WS_VISIBLE,
                               100, 100, 300, 200, nullptr, nullptr, wc.hInstance, this);
        button = CreateWindowExW(
            0, L"BUTTON", L"Pulsar", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 20, 20, 100, 30, hwnd,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonId)), wc.hInstance, nullptr);
        edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 20, 80, 200, 24,
                               hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)),
                               wc.hInstance, nullptr);
        UpdateWindow(hwnd);
    }
    ~OwnWindow() {
        DestroyWindow(hwnd);
        UnregisterClassW(L"VqxHarnessProbe", GetModuleHandleW(nullptr));
    }
    RECT ScreenRect(HWND child) const {
        RECT r{};
        GetWindowRect(child, &r);
        return r;
    }

    HWND hwnd = nullptr, button = nullptr, edit = nullptr;
    int clicks = 0;

private:
    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
        if (msg == WM_NCCREATE)
            SetWindowLongPtrW(
                h, GWLP_USERDATA,
                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams));
        auto* self = reinterpret_cast<OwnWindow*>(GetWindowLongPtrW(h, GWLP_USERDATA));
        if (msg == WM_COMMAND && LOWORD(w) == kButtonId && HIWORD(w) == BN_CLICKED && self)
            ++self->clicks;
        return DefWindowProcW(h, msg, w, l);
    }
};

TEST(HarnessInput, ClickReachesTheButtonUnderThePointer) {
    OwnWindow probe;
    ASSERT_TRUE(BringToFront(probe.hwnd));
    RECT r = probe.ScreenRect(probe.button);
    ASSERT_TRUE(ClickAt({(r.left + r.right) / 2, (r.top + r.bottom) / 2}));
    EXPECT_TRUE(WaitUntil([&] { return probe.clicks == 1; })) << probe.clicks << " clicks";
    // A click beside the button is no click on it: input arrives in order, so once a second
    // click on the button has arrived, the one beside it has been handled too.
    ASSERT_TRUE(ClickAt({r.right + 20, r.bottom + 5}));
    ASSERT_TRUE(ClickAt({(r.left + r.right) / 2, (r.top + r.bottom) / 2}));
    ASSERT_TRUE(WaitUntil([&] { return probe.clicks >= 2; })) << probe.clicks << " clicks";
    EXPECT_EQ(probe.clicks, 2);
}

TEST(HarnessInput, TypingEntersUnicodeTextInTheFocusedBox) {
    OwnWindow probe;
    ASSERT_TRUE(BringToFront(probe.hwnd));
    RECT r = probe.ScreenRect(probe.edit);
    ASSERT_TRUE(ClickAt({r.left + 5, (r.top + r.bottom) / 2}));
    ASSERT_TRUE(WaitUntil([&] { return GetFocus() == probe.edit; }));
    const std::wstring text = L"Copias A\u00f1o \u00c1\u00e9\u00f1\u00fc 2025";
    ASSERT_TRUE(Type(text));
    EXPECT_TRUE(WaitUntil([&] { return WindowText(probe.edit) == text; }))
        << Narrow(WindowText(probe.edit).value_or(L"?"));
}

TEST(HarnessScreen, ReadsTheColoursOnTheScreen) {
    OwnWindow probe;
    ASSERT_TRUE(BringToFront(probe.hwnd));
    RECT r{};
    GetWindowRect(probe.hwnd, &r);
    const POINT background{r.right - 10, r.bottom - 10};
    ASSERT_TRUE(WaitUntil([&] { return ScreenPixel(background) == OwnWindow::kBackground; }))
        << std::hex << ScreenPixel(background);
    wchar_t temp[MAX_PATH + 1];
    ASSERT_GT(GetTempPathW(MAX_PATH + 1, temp), 0u);
    const std::wstring file = std::wstring(temp) + L"vqx-e2e-probe.bmp";
    ASSERT_TRUE(SaveScreenshot(r, file));
    win32::File h{CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)};
    ASSERT_NE(h.get(), INVALID_HANDLE_VALUE);
    BITMAPFILEHEADER header{};
    BITMAPINFOHEADER info{};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(h.get(), &header, sizeof header, &got, nullptr));
    ASSERT_TRUE(ReadFile(h.get(), &info, sizeof info, &got, nullptr));
    // The first pixel of a bottom-up BMP is the lower-left corner: background colour.
    unsigned char bgr[3]{};
    ASSERT_TRUE(ReadFile(h.get(), bgr, 3, &got, nullptr));
    h.reset(); // closed before the file is deleted
    DeleteFileW(file.c_str());
    EXPECT_EQ(header.bfType, 0x4D42);
    EXPECT_EQ(info.biWidth, 300);
    EXPECT_EQ(info.biHeight, 200);
    EXPECT_EQ(RGB(bgr[2], bgr[1], bgr[0]), OwnWindow::kBackground);
}

TEST(HarnessMessageBox, ReadsAndAnswersAMessageBox) {
    // A box of the driver's own, on a thread of its own, as the program would show one.
    auto answer = std::make_shared<std::atomic<int>>(0);
    std::thread shower([answer] {
        *answer = MessageBoxW(nullptr, L"\u00bfDesea continuar con la copia?", L"Respaldo VQX",
                              MB_YESNO | MB_ICONQUESTION);
    });
    std::vector<MessageBoxInfo> boxes;
    const bool shown = WaitUntil([&] {
        boxes = MessageBoxesOf(GetCurrentProcessId());
        return !boxes.empty();
    });
    const bool answered = shown && AnswerMessageBox(boxes[0], IDNO);
    if (answered)
        shower.join();
    else
        shower.detach(); // a box that stays open must not hang the case
    ASSERT_TRUE(shown) << "no message box found";
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, L"Respaldo VQX");
    EXPECT_EQ(boxes[0].text, L"\u00bfDesea continuar con la copia?") << Narrow(boxes[0].text);
    ASSERT_TRUE(answered) << "the box did not go on IDNO";
    EXPECT_EQ(answer->load(), IDNO);
}

} // namespace
} // namespace vqx::e2e
