#include "tests/e2e/BackupSupport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>
#include <memory>

namespace vqx::e2e {
namespace {

constexpr UINT kRoundTripSlackMs = 100;

std::size_t Stride(const Image& image) {
    return (static_cast<std::size_t>(image.width) * 3 + 3) & ~std::size_t{3};
}

// The icon drawn on a plain background, as a STATIC with SS_ICON draws it.
Image Render(HICON icon, int width, int height, COLORREF background) {
    Image image;
    BITMAPINFO info = Bgr24Info(width, height);
    const win32::WindowDc screen(nullptr);
    const win32::MemoryDc memory{CreateCompatibleDC(screen.get())};
    void* bits = nullptr;
    const win32::Bitmap bitmap{
        CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0)};
    if (bitmap && bits) {
        const win32::Selection selected(memory.get(), bitmap.get());
        RECT all{0, 0, width, height};
        FillRect(memory.get(), &all, win32::Brush{CreateSolidBrush(background)}.get());
        DrawIconEx(memory.get(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
        GdiFlush();
        image.width = width;
        image.height = height;
        const auto* first = static_cast<const std::uint8_t*>(bits);
        image.bottomUpBgr.assign(first, first + Stride(image) * static_cast<std::size_t>(height));
    }
    return image;
}

std::uint64_t Difference(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height || a.bottomUpBgr.size() != b.bottomUpBgr.size())
        return std::numeric_limits<std::uint64_t>::max();
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < a.bottomUpBgr.size(); ++i)
        sum += static_cast<std::uint64_t>(std::abs(int{a.bottomUpBgr[i]} - int{b.bottomUpBgr[i]}));
    return sum;
}

struct EnumDialogs {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND hwnd, LPARAM param) {
    auto* state = reinterpret_cast<EnumDialogs*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == state->pid && ClassName(hwnd) == L"#32770")
        state->found.push_back(hwnd);
    return TRUE;
}

} // namespace

std::optional<Child> ControlById(const App& app, int id) {
    return app.FindChild([id](const Child& c) { return c.id == id; });
}

HWND HandleOf(const App& app, int id) {
    return ChildById(app.MainWindow(), id);
}

std::wstring TextOf(const App& app, int id) {
    auto c = ControlById(app, id);
    return c ? c->text : std::wstring();
}

std::wstring StoredText(HWND hwnd) {
    wchar_t text[512];
    const int n = InternalGetWindowText(hwnd, text, 512);
    return std::wstring(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

bool WaitForText(const App& app, int id, const std::wstring& text, Ms deadline) {
    return WaitUntil([&] { return TextOf(app, id) == text; }, deadline);
}

bool ClickControl(App& app, int id) {
    auto c = ControlById(app, id);
    return c && app.Click(*c);
}

bool SetEditText(const App& app, int id, const std::wstring& text) {
    auto c = ControlById(app, id);
    DWORD_PTR result = 0;
    return c &&
           SendMessageTimeoutW(c->hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                               SMTO_ABORTIFHUNG | SMTO_BLOCK, 5000, &result) &&
           result == TRUE;
}

COLORREF BorderOf(const App& app, int id) {
    auto c = ControlById(app, id);
    return c ? ScreenPixel({c->rect.left, c->rect.top}) : CLR_INVALID;
}

bool WaitForBorder(const App& app, int id, COLORREF colour, Ms deadline) {
    return WaitUntil([&] { return BorderOf(app, id) == colour; }, deadline);
}

Image CaptureControl(const App& app, int id) {
    auto c = ControlById(app, id);
    return c ? Capture(c->rect) : Image{};
}

bool ShowsColour(const App& app, int id, COLORREF colour) {
    Image image = CaptureControl(app, id);
    const std::size_t stride = Stride(image);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* row = image.bottomUpBgr.data() + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* p = row + 3 * x;
            if (p[0] == GetBValue(colour) && p[1] == GetGValue(colour) && p[2] == GetRValue(colour))
                return true;
        }
    }
    return false;
}

bool WaitForColour(const App& app, int id, COLORREF colour, Ms deadline) {
    return WaitUntil([&] { return ShowsColour(app, id, colour); }, deadline);
}

bool RoundTrip(const App& app, Ms deadline) {
    DWORD_PTR result = 0;
    return app.MainWindow() &&
           SendMessageTimeoutW(app.MainWindow(), WM_NULL, 0, 0, SMTO_BLOCK,
                               static_cast<UINT>(deadline.count()) + kRoundTripSlackMs,
                               &result) != 0;
}

std::vector<HWND> Dialogs(const App& app) {
    EnumDialogs state{app.ProcessId(), {}};
    if (app.ProcessId() != 0)
        EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

const char* Name(BoxIcon icon) {
    switch (icon) {
    case BoxIcon::None:
        return "no icon";
    case BoxIcon::Stop:
        return "the stop icon";
    case BoxIcon::Exclamation:
        return "the exclamation icon";
    case BoxIcon::Question:
        return "the question icon";
    case BoxIcon::Information:
        return "the information icon";
    case BoxIcon::Unknown:
        break;
    }
    return "an unknown picture";
}

void PrintTo(BoxIcon icon, std::ostream* out) {
    *out << Name(icon);
}

BoxIcon IconOf(const MessageBoxInfo& box) {
    HWND icon = GetDlgItem(box.hwnd, 0x440);
    if (!icon || !IsWindowVisible(icon))
        return BoxIcon::None;
    DWORD_PTR handle = 0;
    if (!SendMessageTimeoutW(icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 5000, &handle))
        return BoxIcon::Unknown;
    if (handle == 0)
        return BoxIcon::None;
    RECT r{};
    GetWindowRect(icon, &r);
    if (r.right <= r.left || r.bottom <= r.top)
        return BoxIcon::None;
    // A box that has only just appeared may not have painted its icon yet.
    Image shown;
    WaitUntil(
        [&] {
            shown = Capture(r);
            return !shown.Empty() && !shown.Uniform();
        },
        Ms(2000));
    if (shown.Empty())
        return BoxIcon::Unknown;
    if (shown.Uniform())
        return BoxIcon::None;
    // The box's own background, just left of the icon.
    const COLORREF background = ScreenPixel({r.left - 1, r.top});
    struct Candidate {
        BoxIcon kind;
        LPCWSTR id;
    };
    const Candidate candidates[] = {{BoxIcon::Stop, IDI_HAND},
                                    {BoxIcon::Exclamation, IDI_EXCLAMATION},
                                    {BoxIcon::Question, IDI_QUESTION},
                                    {BoxIcon::Information, IDI_ASTERISK}};
    BoxIcon best = BoxIcon::Unknown;
    std::uint64_t bestDiff = std::numeric_limits<std::uint64_t>::max(), secondDiff = bestDiff;
    for (const Candidate& c : candidates) {
        HICON handle = LoadIconW(nullptr, c.id);
        if (!handle)
            continue;
        const std::uint64_t diff =
            Difference(shown, Render(handle, shown.width, shown.height, background));
        if (diff < bestDiff) {
            secondDiff = bestDiff;
            bestDiff = diff;
            best = c.kind;
        } else if (diff < secondDiff) {
            secondDiff = diff;
        }
    }
    // Only a clear winner counts: the drawing must be far nearer one icon than any other.
    if (best == BoxIcon::Unknown || bestDiff * 4 > secondDiff)
        return BoxIcon::Unknown;
    return best;
}

std::vector<int> ButtonsOf(const MessageBoxInfo& box) {
    std::vector<int> ids;
    for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
        HWND button = GetDlgItem(box.hwnd, id);
        if (button && IsWindowVisible(button))
            ids.push_back(id);
    }
    return ids;
}

bool IsDefaultButton(const MessageBoxInfo& box, int id) {
    HWND button = GetDlgItem(box.hwnd, id);
    return button && (GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

FileLock::FileLock(const std::wstring& path)
    : handle_(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (!handle_)
        ADD_FAILURE() << "cannot hold " << Narrow(path) << " open: error " << GetLastError();
}

namespace {

// Eight bytes of position-dependent noise for each eight bytes of file.
void Fill(char* data, std::size_t size, std::uint64_t offset, std::uint32_t seed) {
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint64_t at = offset + i;
        if (i == 0 || at % 8 == 0) {
            std::uint64_t x = (at / 8) * 0x9E3779B97F4A7C15ull + seed;
            x ^= x >> 31;
            x *= 0xBF58476D1CE4E5B9ull;
            x ^= x >> 29;
            word = x;
        }
        data[i] = static_cast<char>((word >> (8 * (at % 8))) & 0xFF);
    }
}

} // namespace

std::string Pattern(std::size_t size, std::uint32_t seed) {
    std::string out(size, '\0');
    Fill(out.data(), size, 0, seed);
    return out;
}

bool WriteBigFile(const std::wstring& path, std::uint64_t size, std::uint32_t seed) {
    constexpr std::size_t kChunk = 64u << 20;
    win32::File file{CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!file)
        return false;
    std::unique_ptr<char[]> chunk(new char[kChunk]);
    // One chunk of noise, each copy of it told apart by its first eight bytes.
    Fill(chunk.get(), kChunk, 0, seed);
    bool ok = true;
    for (std::uint64_t written = 0; ok && written < size;) {
        const std::uint64_t index = written / kChunk;
        std::memcpy(chunk.get(), &index, sizeof index);
        const DWORD part = static_cast<DWORD>(std::min<std::uint64_t>(kChunk, size - written));
        DWORD put = 0;
        ok = ::WriteFile(file.get(), chunk.get(), part, &put, nullptr) && put == part;
        written += part;
    }
    return win32::CloseFile(file) && ok;
}

std::uint64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

::testing::AssertionResult FileHolds(const DataFolder& folder, const std::wstring& relative,
                                     const std::string& bytes) {
    const std::wstring path = folder.Full(relative);
    if (!folder.IsFile(relative))
        return ::testing::AssertionFailure() << Narrow(relative) << " is not a file";
    const std::uint64_t size = FileSize(path);
    if (size != bytes.size())
        return ::testing::AssertionFailure()
               << Narrow(relative) << " holds " << size << " bytes, not " << bytes.size();
    const auto read = folder.ReadFile(relative);
    if (!read)
        return ::testing::AssertionFailure() << Narrow(relative) << " cannot be read";
    const auto differ = std::mismatch(read->begin(), read->end(), bytes.begin());
    if (differ.first != read->end())
        return ::testing::AssertionFailure() << Narrow(relative) << " differs from byte "
                                             << (differ.first - read->begin()) << " on";
    return ::testing::AssertionSuccess();
}

std::wstring DefaultName() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t text[32];
    std::swprintf(text, 32, L"Respaldo VQX (%02u-%02u-%04u)", unsigned{now.wDay},
                  unsigned{now.wMonth}, unsigned{now.wYear});
    return text;
}

std::string LogLine(const std::wstring& line) {
    const std::wstring text = line + L"\r\n";
    const UINT acp = GetACP();
    if (acp == CP_UTF8)
        return Narrow(text);
    BOOL usedDefault = FALSE;
    const int n =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                            static_cast<int>(text.size()), nullptr, 0, nullptr, &usedDefault);
    if (n > 0 && !usedDefault) {
        std::string ansi(static_cast<std::size_t>(n), '\0');
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                            static_cast<int>(text.size()), ansi.data(), n, nullptr, &usedDefault);
        if (!usedDefault)
            return ansi;
    }
    return "\xEF\xBB\xBF" + Narrow(text);
}

bool IsCopyTemporary(const std::wstring& name) {
    const std::size_t digits = 16, mark = 4;
    if (name.size() <= mark + digits ||
        name.compare(name.size() - digits - mark, mark, L".~rs") != 0)
        return false;
    return std::all_of(name.end() - static_cast<std::ptrdiff_t>(digits), name.end(), [](wchar_t c) {
        return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
    });
}

std::vector<std::wstring> Temporaries(const DataFolder& folder, const std::wstring& relative) {
    std::vector<std::wstring> found;
    for (const std::wstring& name : folder.List(relative))
        if (IsCopyTemporary(name))
            found.push_back(name);
    return found;
}

void ExpectNoMessage(App& app) {
    ASSERT_TRUE(RoundTrip(app));
    for (const auto& box : app.MessageBoxes())
        ADD_FAILURE() << "a message: \"" << Narrow(box.title) << "\", \"" << Narrow(box.text)
                      << "\"";
}

void ExpectSuccess(App& app, Then then) {
    const HWND counter = HandleOf(app, ctl::EstadoLBL1), status = HandleOf(app, ctl::EstadoLBL2);
    ASSERT_TRUE(counter && status) << "no status labels";
    ASSERT_TRUE(WaitUntil(
        [&] {
            return StoredText(status) == kSuccess || !app.MessageBoxes().empty() || !app.Running();
        },
        kRunDeadline))
        << "the run did not end; status \"" << Narrow(StoredText(status)) << "\"";
    ASSERT_EQ(StoredText(status), kSuccess) << "counter \"" << Narrow(StoredText(counter)) << "\"";
    EXPECT_EQ(StoredText(counter), L":)");
    if (then == Then::Nothing)
        ExpectGreen(app);
}

void ExpectGreen(App& app) {
    EXPECT_TRUE(WaitForColour(app, ctl::EstadoLBL1, kGreen)) << "\":)\" is not green";
    EXPECT_TRUE(WaitForColour(app, ctl::EstadoLBL2, kGreen)) << "the status is not green";
}

void ExpectFailure(App& app, std::optional<std::int32_t> number, const std::wstring& counter,
                   const std::wstring& caption, const std::optional<std::wstring>& detail) {
    const HWND counterLabel = HandleOf(app, ctl::EstadoLBL1);
    const HWND status = HandleOf(app, ctl::EstadoLBL2);
    ASSERT_TRUE(counterLabel && status) << "no status labels";
    auto box = app.WaitForMessageBox(kRunDeadline);
    ASSERT_TRUE(box.has_value()) << "no error report; status \"" << Narrow(StoredText(status))
                                 << "\"";
    EXPECT_EQ(box->title, kErrorTitle) << Narrow(box->title) << ": " << Narrow(box->text);
    const auto lines = Lines(box->text);
    ASSERT_EQ(lines.size(), 6u) << Narrow(box->text);
    if (number) {
        EXPECT_EQ(lines[0], L"N\u00famero: " + std::to_wstring(*number)) << Narrow(box->text);
    } else {
        EXPECT_TRUE(StartsWith(lines[0], L"N\u00famero: -")) << Narrow(box->text);
    }
    EXPECT_TRUE(StartsWith(lines[1], L"Descripci\u00f3n: ") && lines[1].size() > 14)
        << Narrow(lines[1]);
    EXPECT_EQ(lines[2], L"");
    EXPECT_TRUE(StartsWith(lines[3], L"Fuente: ") && lines[3].size() > 8) << Narrow(lines[3]);
    EXPECT_EQ(lines[4], L"Ventana: Principal           Proceso : proFN_Respaldar");
    if (detail)
        EXPECT_EQ(lines[5], L"Detalle : " + *detail);
    else
        EXPECT_TRUE(StartsWith(lines[5], L"Detalle : ") && lines[5].size() > 10)
            << Narrow(lines[5]);
    EXPECT_EQ(IconOf(*box), BoxIcon::None);
    EXPECT_EQ(ButtonsOf(*box), std::vector<int>{IDOK});
    EXPECT_EQ(StoredText(status), caption) << "the failed stage is not shown behind the report";
    EXPECT_EQ(StoredText(counterLabel), counter);
    ASSERT_TRUE(app.Answer(*box, IDOK));
    const std::wstring failure = L"ERROR ERROR ERROR EN " + counter + L" " + caption;
    ASSERT_TRUE(WaitUntil([&] { return StoredText(status) == failure; }))
        << "status \"" << Narrow(StoredText(status)) << "\"";
    EXPECT_EQ(StoredText(counterLabel), L":(");
    EXPECT_TRUE(WaitForColour(app, ctl::EstadoLBL1, kRed)) << "\":(\" is not red";
    EXPECT_TRUE(WaitForColour(app, ctl::EstadoLBL2, kRed)) << "the status is not red";
    ExpectNoMessage(app);
}

void PreparedAppTest::SetUp() {
    folder.emplace(MakeLayout());
    ASSERT_FALSE(HasFailure()) << "the data folder could not be laid out";
    Prepare();
    ASSERT_FALSE(HasFailure()) << "the data folder could not be prepared";
    ASSERT_TRUE(app.Start(*folder));
    window = app.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
}

void ReadyToBackUpTest::Prepare() {
    folder->MakeFolder(L"Copias");
    folder->WriteFile(L"RS.log", LogLine(folder->Full(L"Copias") + L"\\"));
}

std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(L"\r\n", start);
        lines.push_back(text.substr(start, end == std::wstring::npos ? end : end - start));
        if (end == std::wstring::npos)
            return lines;
        start = end + 2;
    }
}

bool StartsWith(const std::wstring& text, const std::wstring& head) {
    return text.compare(0, head.size(), head) == 0;
}

} // namespace vqx::e2e
