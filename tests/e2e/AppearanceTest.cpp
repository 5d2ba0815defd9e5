// How the program looks: where every control sits at 96 and at 144 dpi, the colours of the title
// bar, the buttons, the fields and the background, the light-blue stage counter during a run,
// and what the program file carries (version record, icon group, Open Sans faces). Also the
// pictures of the README, made only when VQX_README_PICTURES names a folder for them.
#include "platform/win32/WinHandles.h"
#include "resources/ResourceIds.h"
#include "tests/driver/ControlIds.h"
#include "tests/driver/Harness.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace vqx::e2e {
namespace {

// ---- The controls and where they belong ---------------------------------------------------

struct Placement {
    int id;
    const char* name;
    int container;                // id of the panel that holds it; 0 for the window
    int left, top, width, height; // twips, from the container's top-left inner corner
};

// The window is 6030 x 4965 twips; the outline FormMCO is spread over all of it at start.
constexpr int kWindowWidth = 6030, kWindowHeight = 4965;
constexpr Placement kPlacements[] = {
    {ctl::FormDaFRM, "FormDaFRM", 0, 390, 930, 5205, 3615},
    {ctl::ItemText2, "ItemText(2)", ctl::FormDaFRM, 150, 1470, 4335, 435},
    {ctl::ItemText1, "ItemText(1)", ctl::FormDaFRM, 150, 420, 4935, 435},
    {ctl::BotonRespaldar, "BotonRespaldar", ctl::FormDaFRM, 30, 3000, 5175, 600},
    {ctl::BotonDescargar, "BotonDescargar", ctl::FormDaFRM, 4590, 1380, 585, 555},
    {ctl::ItemCheck, "ItemCheck", ctl::FormDaFRM, 0, 2152, 480, 480},
    {ctl::ItemTitulo2, "ItemTitulo(2)", ctl::FormDaFRM, 30, 1095, 1200, 225},
    {ctl::ItemBorde2, "ItemBorde(2)", ctl::FormDaFRM, 30, 1350, 5175, 615},
    {ctl::ItemTitulo1, "ItemTitulo(1)", ctl::FormDaFRM, 30, 0, 1725, 225},
    {ctl::ItemBorde1, "ItemBorde(1)", ctl::FormDaFRM, 30, 255, 5175, 615},
    {ctl::ItemCheckLBL, "ItemCheckLBL", ctl::FormDaFRM, 480, 2280, 2160, 225},
    {ctl::EstadoFRM, "EstadoFRM", 0, 390, 930, 5175, 3615},
    {ctl::EstadoLBL2, "EstadoLBL2", ctl::EstadoFRM, 0, 2250, 5175, 1125},
    {ctl::EstadoLBL1, "EstadoLBL1", ctl::EstadoFRM, 1245, -150, 2685, 2445},
    {ctl::FormCerrar, "FormCerrar", 0, 5025, 0, 1005, 600},
    {ctl::FormBarraTituloTXT, "FormBarraTituloTXT", 0, 0, 135, 6030, 360},
    {ctl::FormBarraTitulo, "FormBarraTitulo", 0, 0, 0, 6030, 600},
    {ctl::FormMCO, "FormMCO", 0, 0, 0, kWindowWidth, kWindowHeight},
};

const Placement& PlacementOf(int controlId) {
    for (const Placement& p : kPlacements)
        if (p.id == controlId)
            return p;
    throw std::out_of_range("no such control");
}

int Px(int twips, int dpi) {
    return MulDiv(twips, dpi, 1440);
}

// Where the control should lie, in the window's client co-ordinates.
RECT ExpectedRect(const Placement& p, int dpi) {
    int x = 0, y = 0;
    if (p.container) {
        const Placement& c = PlacementOf(p.container);
        x = Px(c.left, dpi);
        y = Px(c.top, dpi);
    }
    x += Px(p.left, dpi);
    y += Px(p.top, dpi);
    return {x, y, x + Px(p.width, dpi), y + Px(p.height, dpi)};
}

std::string Describe(const RECT& r) {
    std::ostringstream out;
    out << "(" << r.left << ", " << r.top << ") " << r.right - r.left << " x " << r.bottom - r.top;
    return out.str();
}

// The control's rectangle in the main window's client co-ordinates.
RECT ClientRectOf(HWND main, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, main, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Every control window by id, with the parent it hangs from.
std::map<int, HWND> ControlWindows(const App& app) {
    std::map<int, HWND> found;
    for (const Child& c : app.Children())
        found[c.id] = c.hwnd;
    return found;
}

// Each control lies where the table puts it, converted to pixels at `dpi`, within one pixel,
// under the container the table names; the window itself has its converted size.
void ExpectPlacements(const App& app, int dpi) {
    HWND main = app.MainWindow();
    RECT outer{};
    ASSERT_TRUE(GetWindowRect(main, &outer));
    EXPECT_EQ(outer.right - outer.left, Px(kWindowWidth, dpi)) << "window width at " << dpi;
    EXPECT_EQ(outer.bottom - outer.top, Px(kWindowHeight, dpi)) << "window height at " << dpi;

    const std::map<int, HWND> windows = ControlWindows(app);
    for (const Placement& p : kPlacements) {
        auto it = windows.find(p.id);
        if (it == windows.end()) {
            ADD_FAILURE() << p.name << " (id " << p.id << ") has no window";
            continue;
        }
        HWND expectedParent = main;
        if (p.container) {
            auto parent = windows.find(p.container);
            expectedParent = parent == windows.end() ? nullptr : parent->second;
        }
        EXPECT_EQ(GetParent(it->second), expectedParent)
            << p.name << " is not a child of " << (p.container ? "its panel" : "the window");
        const RECT want = ExpectedRect(p, dpi), got = ClientRectOf(main, it->second);
        const bool within =
            std::abs(got.left - want.left) <= 1 && std::abs(got.top - want.top) <= 1 &&
            std::abs(got.right - want.right) <= 1 && std::abs(got.bottom - want.bottom) <= 1;
        EXPECT_TRUE(within) << p.name << " at " << dpi << " dpi lies at " << Describe(got)
                            << ", expected " << Describe(want) << " (within 1 px)";
    }
}

// ---- Pixels --------------------------------------------------------------------------------

std::size_t Stride(const Image& image) {
    return (static_cast<std::size_t>(image.width) * 3 + 3) & ~std::size_t{3};
}

// The colour at (x, y) of a picture, counted from its top-left corner.
COLORREF At(const Image& image, int x, int y) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height)
        return CLR_INVALID;
    const std::uint8_t* p = image.bottomUpBgr.data() +
                            Stride(image) * static_cast<std::size_t>(image.height - 1 - y) +
                            3 * static_cast<std::size_t>(x);
    return RGB(p[2], p[1], p[0]);
}

std::string Describe(COLORREF c) {
    if (c == CLR_INVALID)
        return "(off the picture)";
    std::ostringstream out;
    out << "(" << int{GetRValue(c)} << ", " << int{GetGValue(c)} << ", " << int{GetBValue(c)}
        << ")";
    return out.str();
}

// "(x, y) is (r, g, b)"
std::string PixelIs(int x, int y, COLORREF c) {
    std::ostringstream out;
    out << "(" << x << ", " << y << ") is " << Describe(c);
    return out.str();
}

// The window as the screen shows it, corner (0, 0) at the client origin.
Image Shot(const App& app) {
    RECT r{};
    GetWindowRect(app.MainWindow(), &r);
    return Capture(r);
}

// The pixels of a rectangle (client co-ordinates) that have exactly `colour`: their number and
// the box around them.
struct Found {
    int count = 0;
    RECT box{INT_MAX, INT_MAX, INT_MIN, INT_MIN}; // right and bottom inclusive
};

Found Find(const Image& image, const RECT& area, COLORREF colour) {
    Found f;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (At(image, x, y) == colour) {
                ++f.count;
                f.box = {std::min<LONG>(f.box.left, x), std::min<LONG>(f.box.top, y),
                         std::max<LONG>(f.box.right, x), std::max<LONG>(f.box.bottom, y)};
            }
    return f;
}

constexpr COLORREF kBackground = RGB(249, 249, 249);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBarBase = RGB(79, 79, 79), kBarHatch = RGB(85, 85, 85);
constexpr COLORREF kCloseHover = RGB(217, 0, 0);
constexpr COLORREF kGreen = RGB(125, 180, 97);
constexpr COLORREF kFieldBorder = RGB(224, 224, 224), kFocusedBorder = RGB(128, 128, 128);
constexpr COLORREF kCounterBlue = RGB(9, 203, 246);

// A point of the screen that no window of the program covers (the screen is larger than the
// centred window).
POINT AwayFromTheWindow() {
    return {2, 2};
}

// The window with the focus in the program's thread, as another process sees it.
HWND FocusOf(HWND main) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const DWORD thread = GetWindowThreadProcessId(main, nullptr);
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

// ---- The 96-dpi window, ready for input ----------------------------------------------------

int ScreenDpi() {
    const win32::WindowDc dc(nullptr);
    return GetDeviceCaps(dc.get(), LOGPIXELSX);
}

// The title bar's caption as stored.
const std::wstring kBarTitle = L"Zorvantec VQX - Respaldo de seg.......";

// The width of a line of text in a font of that face, height (as LOGFONT takes it) and weight,
// as this machine lays it out.
int TextWidth(const std::wstring& text, const wchar_t* face, int height, int weight) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfCharSet = ANSI_CHARSET;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    const win32::Font font{CreateFontIndirectW(&lf)};
    const win32::WindowDc dc(nullptr);
    const win32::Selection selected(dc.get(), font.get());
    SIZE size{};
    GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

class AppearanceTest : public AppTest {
protected:
    void SetUp() override {
        if (ScreenDpi() != 96)
            GTEST_SKIP() << "the screen is at " << ScreenDpi() << " dpi";
        AppTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(MovePointer(AwayFromTheWindow()));
        ASSERT_TRUE(app.WaitUntilPainted()) << "the window did not settle into a drawing";
        windows = ControlWindows(app);
    }

    RECT Rect(int controlId) const {
        auto it = windows.find(controlId);
        return it == windows.end() ? RECT{} : ClientRectOf(window, it->second);
    }

    std::map<int, HWND> windows;
};

TEST_F(AppearanceTest, PlacesEveryControlWhereItsTwipsPutItAt96Dpi) {
    ExpectPlacements(app, 96);
    RECT outer{};
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, 402);
    EXPECT_EQ(outer.bottom - outer.top, 331);
}

// The dark band across the top: its base colour with a hatch of lighter lines, wherever neither
// the title text nor the close button lies; the title in white, centred on the window.
TEST_F(AppearanceTest, TitleBarIsAHatchedDarkBandWithTheTitleInWhiteAtItsCentre) {
    const Image shot = Shot(app);
    const RECT bar = Rect(ctl::FormBarraTitulo), title = Rect(ctl::FormBarraTituloTXT),
               close = Rect(ctl::FormCerrar);
    ASSERT_EQ(bar.bottom, 40);
    ASSERT_EQ(close.left, 335);

    int base = 0, hatch = 0;
    std::vector<std::string> strays;
    for (int y = bar.top; y < bar.bottom; ++y) {
        if (y >= title.top && y < title.bottom)
            continue; // the title text's own rows
        for (int x = bar.left; x < close.left; ++x) {
            const COLORREF c = At(shot, x, y);
            if (c == kBarBase)
                ++base;
            else if (c == kBarHatch)
                ++hatch;
            else if (strays.size() < 8)
                strays.push_back(PixelIs(x, y, c));
        }
    }
    EXPECT_TRUE(strays.empty()) << "title-bar pixels of neither (79, 79, 79) nor (85, 85, 85): "
                                << ::testing::PrintToString(strays);
    EXPECT_GT(base, 0) << "no pixel of the base colour (79, 79, 79)";
    EXPECT_GT(hatch, 0) << "no pixel of the hatch colour (85, 85, 85)";
    // The hatch is a pattern of lines, not a flat second colour.
    EXPECT_GT(base, hatch) << "the hatch covers more of the band than its base";

    // The label keeps its stored caption, cut short with full stops, not the window's title.
    const auto caption = WindowText(windows[ctl::FormBarraTituloTXT]);
    EXPECT_EQ(caption.value_or(L""), kBarTitle) << Narrow(caption.value_or(L"(no answer)"));

    // White text inside the label, starting where a text of its width centred on the window
    // starts. Its right end lies under the close button, which covers it.
    const RECT titleArea{0, title.top, close.left, title.bottom};
    const Found text = Find(shot, titleArea, kWhite);
    ASSERT_GT(text.count, 40) << "hardly any white title text in " << Describe(title);
    const int width = TextWidth(kBarTitle, L"Open Sans Light", -16, FW_BOLD);
    const int left = (bar.right - bar.left - width) / 2;
    EXPECT_LE(std::abs(text.box.left - left), 3)
        << "the white title starts at x " << text.box.left << "; a title " << width
        << " px wide centred on the window starts at " << left;
    EXPECT_GE(text.box.top, title.top);
    EXPECT_LE(text.box.bottom, title.bottom - 1);
    const Found onClose = Find(shot, {close.left, title.top, close.left + 8, title.bottom}, kWhite);
    EXPECT_EQ(onClose.count, 0) << "the title text is drawn over the close button";
}

TEST_F(AppearanceTest, CloseButtonTurnsRedUnderThePointerAndBackWhenItLeaves) {
    const RECT close = Rect(ctl::FormCerrar);
    ASSERT_EQ(close.right - close.left, 67);
    ASSERT_EQ(close.bottom - close.top, 40);
    const POINT corner{close.left + 3, close.top + 3}; // face, clear of the cross
    POINT screenCorner = corner;
    ClientToScreen(window, &screenCorner);

    EXPECT_EQ(app.PixelAt(corner), RGB(85, 85, 85))
        << "face before the pointer comes: " << Describe(app.PixelAt(corner));
    const Image before = Shot(app);
    const RECT middle{close.left + 20, close.top + 8, close.right - 20, close.bottom - 8};
    EXPECT_GT(Find(before, middle, kWhite).count, 10) << "no white cross on the close button";

    ASSERT_TRUE(MovePointer(screenCorner));
    EXPECT_TRUE(WaitUntil([&] { return app.PixelAt(corner) == kCloseHover; }))
        << "face under the pointer: " << Describe(app.PixelAt(corner));
    const Image hovered = Shot(app);
    EXPECT_EQ(At(hovered, close.right - 3, close.bottom - 3), kCloseHover)
        << "the whole face turns red, not only a part";
    EXPECT_GT(Find(hovered, middle, kWhite).count, 10) << "the cross is lost under the pointer";

    POINT elsewhere{200, 318}; // the window's background under the panels
    ClientToScreen(window, &elsewhere);
    ASSERT_TRUE(MovePointer(elsewhere));
    EXPECT_TRUE(WaitUntil([&] { return app.PixelAt(corner) == RGB(85, 85, 85); }))
        << "face after the pointer left: " << Describe(app.PixelAt(corner));
}

// A frame one pixel wide of `colour` around the rectangle, white just inside it.
void ExpectFieldBorder(const Image& shot, const RECT& r, COLORREF colour, const char* name) {
    std::vector<std::string> wrong;
    auto check = [&](int x, int y, COLORREF want) {
        const COLORREF got = At(shot, x, y);
        if (got != want && wrong.size() < 8)
            wrong.push_back(PixelIs(x, y, got) + ", not " + Describe(want));
    };
    for (int x = r.left; x < r.right; ++x) {
        check(x, r.top, colour);
        check(x, r.bottom - 1, colour);
        if (x > r.left && x < r.right - 1) {
            check(x, r.top + 1, kWhite);
            check(x, r.bottom - 2, kWhite);
        }
    }
    for (int y = r.top + 1; y < r.bottom - 1; ++y) {
        check(r.left, y, colour);
        check(r.right - 1, y, colour);
        check(r.left + 1, y, kWhite);
        check(r.right - 2, y, kWhite);
    }
    EXPECT_TRUE(wrong.empty()) << name << " at " << Describe(r) << ": "
                               << ::testing::PrintToString(wrong);
}

TEST_F(AppearanceTest, ButtonsFieldsOutlineAndBackgroundShowTheirColours) {
    const Image shot = Shot(app);

    // The green backup button with its white caption in the middle.
    const RECT backup = Rect(ctl::BotonRespaldar);
    for (POINT p :
         {POINT{backup.left + 1, backup.top + 1}, POINT{backup.right - 2, backup.top + 1},
          POINT{backup.left + 1, backup.bottom - 2}, POINT{backup.right - 2, backup.bottom - 2}})
        EXPECT_EQ(At(shot, p.x, p.y), kGreen) << "BotonRespaldar's face at (" << p.x << ", " << p.y
                                              << ") is " << Describe(At(shot, p.x, p.y));
    const Found caption = Find(shot, backup, kWhite);
    ASSERT_GT(caption.count, 20) << "no white caption on BotonRespaldar";
    const int centreX = (caption.box.left + caption.box.right) / 2;
    const int centreY = (caption.box.top + caption.box.bottom) / 2;
    EXPECT_LE(std::abs(centreX - (backup.left + backup.right) / 2), 4)
        << "caption not centred across the button";
    EXPECT_LE(std::abs(centreY - (backup.top + backup.bottom) / 2), 4)
        << "caption not centred down the button";

    // The browse button: a light-grey face.
    const RECT browse = Rect(ctl::BotonDescargar);
    EXPECT_EQ(At(shot, browse.left + 1, browse.top + 1), RGB(224, 224, 224))
        << "BotonDescargar's face is " << Describe(At(shot, browse.left + 1, browse.top + 1));

    // The field boxes: 224 grey one pixel wide, or 128 grey around the field with the focus.
    const HWND focus = FocusOf(window);
    int unfocused = 0;
    for (auto [field, border, name] :
         {std::tuple{ctl::ItemText1, ctl::ItemBorde1, "ItemBorde(1)"},
          std::tuple{ctl::ItemText2, ctl::ItemBorde2, "ItemBorde(2)"}}) {
        const bool focused = focus && focus == windows[field];
        unfocused += focused ? 0 : 1;
        ExpectFieldBorder(shot, Rect(border), focused ? kFocusedBorder : kFieldBorder, name);
    }
    EXPECT_GT(unfocused, 0) << "both fields claim the focus";

    // The outline: left, right and bottom edges of the window in 224 grey below the title bar.
    std::vector<std::string> outline;
    auto expectOutline = [&](int x, int y) {
        if (At(shot, x, y) != kFieldBorder && outline.size() < 8)
            outline.push_back(PixelIs(x, y, At(shot, x, y)));
    };
    const int w = shot.width, h = shot.height;
    for (int y = 40; y < h; ++y) {
        expectOutline(0, y);
        expectOutline(w - 1, y);
    }
    for (int x = 0; x < w; ++x)
        expectOutline(x, h - 1);
    EXPECT_TRUE(outline.empty()) << "window outline: " << ::testing::PrintToString(outline);

    // The background of the window and of the input panel.
    for (POINT p : {POINT{10, 100}, POINT{390, 200}, POINT{200, 318}, POINT{300, 66},
                    POINT{330, 220}, POINT{200, 197}})
        EXPECT_EQ(At(shot, p.x, p.y), kBackground)
            << "background at (" << p.x << ", " << p.y << ") is " << Describe(At(shot, p.x, p.y));
}

TEST_F(AppearanceTest, WindowCarriesItsLargeAndSmallIcons) {
    // Wine 8 answers WM_GETICON from another process with 0 whatever icon the window has (a
    // pair of probe programs shows it), so only Windows can tell.
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        GTEST_SKIP() << "Wine answers WM_GETICON across processes with 0";
    for (WPARAM which : {WPARAM{ICON_BIG}, WPARAM{ICON_SMALL}}) {
        DWORD_PTR icon = 0;
        ASSERT_TRUE(
            SendMessageTimeoutW(window, WM_GETICON, which, 0, SMTO_ABORTIFHUNG, 2000, &icon))
            << "no answer to WM_GETICON";
        EXPECT_NE(icon, 0u) << (which == ICON_BIG ? "no large icon" : "no small icon");
    }
}

// ---- During a run: the stage counter ------------------------------------------------------

// A file of `size` bytes of zeros, made at once (extended, not written).
bool MakeLargeFile(const std::wstring& path, LONGLONG size) {
    const win32::File file{CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!file)
        return false;
    LARGE_INTEGER end;
    end.QuadPart = size;
    return SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

// The text a window keeps, read without sending it a message (the program may be busy
// copying).
std::wstring StoredText(HWND hwnd) {
    wchar_t text[256];
    const int n = InternalGetWindowText(hwnd, text, 256);
    return std::wstring(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// The data folder with a data centre, a destination folder named in RS.log, and a database of
// `databaseBytes`.
void LayOutForABackup(DataFolder& folder, const std::wstring& destination, LONGLONG databaseBytes) {
    ASSERT_TRUE(MakeLargeFile(folder.Full(L"VQX Datos.mdb"), databaseBytes));
    folder.WriteFile(L"RS.log", Narrow(destination) + "\r\n");
}

TEST(AppearanceRunTest, StageCounterIsLightBlueAndACloseDuringTheRunEndsWithCodeZero) {
    if (ScreenDpi() != 96)
        GTEST_SKIP() << "the screen is at " << ScreenDpi() << " dpi";
    DataFolder folder;
    folder.MakeFolder(L"Copias");
    const std::wstring destination = folder.Full(L"Copias") + L"\\";
    // Large enough that the first stage lasts a while.
    LayOutForABackup(folder, destination, 200LL * 1024 * 1024);
    ASSERT_FALSE(::testing::Test::HasFailure());

    App app;
    ASSERT_TRUE(app.Start(folder));
    HWND window = app.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitUntil([&] {
        return WindowText(GetDlgItem(GetDlgItem(window, ctl::FormDaFRM), ctl::ItemText2)) ==
               destination;
    })) << "the destination from RS.log did not show";
    const HWND counter = GetDlgItem(GetDlgItem(window, ctl::EstadoFRM), ctl::EstadoLBL1);
    const HWND backup = GetDlgItem(GetDlgItem(window, ctl::FormDaFRM), ctl::BotonRespaldar);
    ASSERT_TRUE(counter && backup);

    RECT button{};
    GetWindowRect(backup, &button);
    ASSERT_TRUE(BringToFront(window));
    ASSERT_TRUE(ClickAt({(button.left + button.right) / 2, (button.top + button.bottom) / 2}));

    // The visible part of the counter: the panel clips its top.
    RECT label{}, panel{}, visible{};
    GetWindowRect(counter, &label);
    GetWindowRect(GetParent(counter), &panel);
    IntersectRect(&visible, &label, &panel);
    Found blue;
    std::wstring stage;
    const bool seen = WaitUntil([&] {
        Image now = Capture(visible);
        blue = Find(now, {0, 0, now.width, now.height}, kCounterBlue);
        stage = StoredText(counter);
        return blue.count > 0;
    });
    EXPECT_TRUE(seen) << "no light-blue (9, 203, 246) counter in " << Describe(visible)
                      << "; the counter reads \"" << Narrow(stage) << "\"";
    if (seen) {
        EXPECT_GT(blue.count, 50) << "only a few light-blue pixels";
        EXPECT_TRUE(stage.size() == 3 && stage[1] == L'/' && stage[2] == L'6')
            << "the counter reads \"" << Narrow(stage) << "\"";
    }

    // The close is handled at once while the worker copies the database: the window hides and
    // the program ends once the copy has stopped.
    ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    const std::wstring atClose = StoredText(counter);
    EXPECT_TRUE(atClose.size() == 3 && atClose[1] == L'/')
        << "the run was over before the close came: the counter reads \"" << Narrow(atClose)
        << "\"";
    auto code = app.WaitForExit(30s);
    ASSERT_TRUE(code.has_value()) << "still running 30 s after WM_CLOSE during the run";
    EXPECT_EQ(*code, 0u) << "exit code after a close during the run";
}

// ---- At 144 dpi ----------------------------------------------------------------------------

// HKCU\Control Panel\Desktop LogPixels set for the programs started while it lives; the value
// that was there before (or its absence) comes back when it goes.
class LogPixels {
public:
    explicit LogPixels(DWORD dpi) {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_,
                            nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        DWORD size = 0;
        if (RegQueryValueExW(key_, kName, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            old_.resize(size);
            had_ =
                RegQueryValueExW(key_, kName, nullptr, &type_, old_.data(), &size) == ERROR_SUCCESS;
            old_.resize(size);
        }
        set_ = RegSetValueExW(key_, kName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                              sizeof dpi) == ERROR_SUCCESS;
    }
    ~LogPixels() {
        if (!key_)
            return;
        if (had_)
            RegSetValueExW(key_, kName, 0, type_, old_.data(), static_cast<DWORD>(old_.size()));
        else
            RegDeleteValueW(key_, kName);
        RegCloseKey(key_);
    }
    LogPixels(const LogPixels&) = delete;
    LogPixels& operator=(const LogPixels&) = delete;
    bool Set() const { return set_; }

private:
    static constexpr const wchar_t* kName = L"LogPixels";
    HKEY key_ = nullptr;
    bool had_ = false, set_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> old_;
};

TEST(AppearanceHiDpiTest, WindowAndEveryControlScaleByOneAndAHalfAt144Dpi) {
    LogPixels dpi(144);
    ASSERT_TRUE(dpi.Set()) << "cannot set LogPixels";
    DataFolder folder;
    App app;
    ASSERT_TRUE(app.Start(folder));
    HWND window = app.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    RECT outer{};
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, 603);
    EXPECT_EQ(outer.bottom - outer.top, 497);
    ExpectPlacements(app, 144);
    auto code = app.Close();
    ASSERT_TRUE(code.has_value()) << "the program did not close on WM_CLOSE";
    EXPECT_EQ(*code, 0u);
}

// ---- The program file's resources ---------------------------------------------------------

// The program file loaded for its resources only.
class ResourceFile {
public:
    ResourceFile()
        : module_(LoadLibraryExW(ProgramPath().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~ResourceFile() {
        if (module_)
            FreeLibrary(module_);
    }
    ResourceFile(const ResourceFile&) = delete;
    ResourceFile& operator=(const ResourceFile&) = delete;
    HMODULE Module() const { return module_; }

    // The bytes of a resource; empty when there is none.
    std::string Bytes(const wchar_t* name, const wchar_t* type) const {
        HRSRC res = FindResourceW(module_, name, type);
        HGLOBAL data = res ? LoadResource(module_, res) : nullptr;
        const void* bytes = data ? LockResource(data) : nullptr;
        return bytes ? std::string(static_cast<const char*>(bytes), SizeofResource(module_, res))
                     : std::string();
    }

private:
    HMODULE module_;
};

// version.dll, loaded where it is needed.
struct VersionApi {
    using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    HMODULE dll = LoadLibraryW(L"version.dll");
    SizeFn size = dll ? reinterpret_cast<SizeFn>(
                            reinterpret_cast<void*>(GetProcAddress(dll, "GetFileVersionInfoSizeW")))
                      : nullptr;
    InfoFn info = dll ? reinterpret_cast<InfoFn>(
                            reinterpret_cast<void*>(GetProcAddress(dll, "GetFileVersionInfoW")))
                      : nullptr;
    QueryFn query = dll ? reinterpret_cast<QueryFn>(
                              reinterpret_cast<void*>(GetProcAddress(dll, "VerQueryValueW")))
                        : nullptr;
    ~VersionApi() {
        if (dll)
            FreeLibrary(dll);
    }
};

TEST(AppearanceProgramFileTest, CarriesTheSpanishVersionRecordOfVersion5004) {
    VersionApi api;
    ASSERT_TRUE(api.size && api.info && api.query) << "version.dll is missing";
    const std::wstring program = ProgramPath();
    DWORD handle = 0;
    const DWORD size = api.size(program.c_str(), &handle);
    ASSERT_GT(size, 0u) << "no version record in " << Narrow(program);
    std::vector<BYTE> record(size);
    ASSERT_TRUE(api.info(program.c_str(), 0, size, record.data()));

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(api.query(record.data(), L"\\", &value, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD high = MAKELONG(VQX_VERSION_MINOR, VQX_VERSION_MAJOR);
    const DWORD low = MAKELONG(VQX_VERSION_TWEAK, VQX_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, high) << "file version major.minor";
    EXPECT_EQ(fixed->dwFileVersionLS, low) << "file version .patch.tweak";
    EXPECT_EQ(fixed->dwProductVersionMS, high) << "product version major.minor";
    EXPECT_EQ(fixed->dwProductVersionLS, low) << "product version .patch.tweak";
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "no flags";
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    ASSERT_TRUE(api.query(record.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u) << "one translation";
    const auto* translation = static_cast<const WORD*>(value);
    EXPECT_EQ(translation[0], 0x0C0A) << "Spanish (Spain)";
    EXPECT_EQ(translation[1], 0x04B0) << "Unicode";

    // As the office knows it: major, then minor in two digits and tweak in four.
    wchar_t version[32];
    std::swprintf(version, std::size(version), L"%d.%02d.%04d", VQX_VERSION_MAJOR,
                  VQX_VERSION_MINOR, VQX_VERSION_TWEAK);
    const std::pair<const wchar_t*, std::wstring> strings[] = {
        {L"CompanyName", L"Zorvantec\u00ae"},
        {L"FileDescription", L"Zorvantec VQX - Respaldo de seguridad"},
        {L"ProductName", L"Zorvantec VQX-UTL-RS"},
        {L"FileVersion", version},
        {L"ProductVersion", version},
        {L"InternalName", L"Zorvantec UTL-RS"},
        {L"OriginalFilename", L"Zorvantec UTL-RS.exe"},
    };
    for (const auto& [key, want] : strings) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\0C0A04B0\\") + key;
        if (!api.query(record.data(), path.c_str(), &value, &length) || !value) {
            ADD_FAILURE() << "no " << Narrow(key);
            continue;
        }
        std::wstring got(static_cast<const wchar_t*>(value), length);
        while (!got.empty() && got.back() == L'\0')
            got.pop_back();
        EXPECT_EQ(got, want) << Narrow(key) << " is \"" << Narrow(got) << "\"";
    }
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14);

TEST(AppearanceProgramFileTest, CarriesTheIconGroupOfSixOpaqueBitmapSizes) {
    ResourceFile file;
    ASSERT_NE(file.Module(), nullptr) << "cannot load " << Narrow(ProgramPath());
    const std::string group = file.Bytes(L"ICONOAPL", RT_GROUP_ICON);
    ASSERT_GE(group.size(), 6u) << "no icon group ICONOAPL";
    WORD header[3];
    std::memcpy(header, group.data(), sizeof header);
    EXPECT_EQ(header[1], 1) << "an icon group, not a cursor group";
    ASSERT_EQ(header[2], 6) << "images in the group";
    ASSERT_GE(group.size(), 6 + 6 * sizeof(GroupIconEntry));

    const int sizes[] = {256, 128, 64, 48, 32, 16};
    for (int i = 0; i < 6; ++i) {
        GroupIconEntry e;
        std::memcpy(&e, group.data() + 6 + i * sizeof e, sizeof e);
        const int side = e.width == 0 ? 256 : e.width;
        EXPECT_EQ(side, sizes[i]) << "image " << i;
        EXPECT_EQ(e.height == 0 ? 256 : e.height, side) << "image " << i << " is not square";
        EXPECT_EQ(e.bitCount, 32) << side << " x " << side;

        // Each image: an uncompressed 32-bit bitmap, fully opaque, slate-grey at its corners.
        const std::string image = file.Bytes(MAKEINTRESOURCEW(e.id), RT_ICON);
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER)) << "no icon image " << e.id;
        BITMAPINFOHEADER bmp;
        std::memcpy(&bmp, image.data(), sizeof bmp);
        ASSERT_EQ(bmp.biSize, sizeof bmp) << side << " x " << side << " is not a bitmap";
        EXPECT_EQ(bmp.biWidth, side);
        EXPECT_EQ(bmp.biHeight, 2 * side) << "colour and mask";
        EXPECT_EQ(bmp.biBitCount, 32);
        EXPECT_EQ(bmp.biCompression, static_cast<DWORD>(BI_RGB));
        const std::size_t pixels = static_cast<std::size_t>(side) * side;
        ASSERT_GE(image.size(), sizeof bmp + 4 * pixels);
        const auto* bgra = reinterpret_cast<const std::uint8_t*>(image.data()) + sizeof bmp;
        std::size_t transparent = 0;
        for (std::size_t p = 0; p < pixels; ++p)
            transparent += bgra[4 * p + 3] != 255 ? 1 : 0;
        EXPECT_EQ(transparent, 0u) << side << " x " << side << " is not fully opaque";
        for (std::size_t corner :
             {std::size_t{0}, std::size_t(side - 1), pixels - side, pixels - 1}) {
            const std::uint8_t* p = bgra + 4 * corner;
            EXPECT_EQ(RGB(p[2], p[1], p[0]), RGB(101, 109, 120))
                << side << " x " << side << " corner is " << Describe(RGB(p[2], p[1], p[0]));
        }
    }

    const win32::Icon icon{
        static_cast<HICON>(LoadImageW(file.Module(), L"IconoAPL", IMAGE_ICON, 32, 32, 0))};
    ASSERT_NE(icon.get(), nullptr) << "LoadImage of \"IconoAPL\" at 32 x 32 failed";
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon.get(), &info));
    // GetIconInfo makes the two bitmaps for the caller to delete.
    const win32::Bitmap colourBitmap{info.hbmColor}, maskBitmap{info.hbmMask};
    BITMAP colour{};
    if (info.hbmColor)
        GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, 32);
    EXPECT_EQ(colour.bmHeight, 32);
}

// The full name (name id 4, Windows platform, US English) of a TrueType font file.
std::wstring FullFontName(const std::string& font) {
    auto u16 = [&](std::size_t at) -> unsigned {
        if (at + 2 > font.size())
            return 0;
        return (static_cast<unsigned char>(font[at]) << 8) |
               static_cast<unsigned char>(font[at + 1]);
    };
    auto u32 = [&](std::size_t at) -> std::size_t {
        return (std::size_t{u16(at)} << 16) | u16(at + 2);
    };
    if (u32(0) != 0x00010000)
        return {};
    for (unsigned t = 0; t < u16(4); ++t) {
        const std::size_t record = 12 + 16 * std::size_t{t};
        if (font.compare(record, 4, "name") != 0)
            continue;
        const std::size_t table = u32(record + 8);
        const std::size_t strings = table + u16(table + 4);
        for (unsigned n = 0; n < u16(table + 2); ++n) {
            const std::size_t r = table + 6 + 12 * std::size_t{n};
            if (u16(r) != 3 || u16(r + 2) != 1 || u16(r + 4) != 0x409 || u16(r + 6) != 4)
                continue;
            std::wstring name;
            const std::size_t at = strings + u16(r + 10);
            for (std::size_t i = 0; i + 1 < u16(r + 8); i += 2)
                name += static_cast<wchar_t>(u16(at + i));
            return name;
        }
    }
    return {};
}

TEST(AppearanceProgramFileTest, CarriesTheThreeOpenSansFacesWhenTheBuildHadThem) {
    ResourceFile file;
    ASSERT_NE(file.Module(), nullptr) << "cannot load " << Narrow(ProgramPath());
    const std::pair<int, std::wstring> faces[] = {{IDR_FONT_REGULAR, L"Open Sans"},
                                                  {IDR_FONT_LIGHT, L"Open Sans Light"},
                                                  {IDR_FONT_SEMIBOLD, L"Open Sans Semibold"}};
    int carried = 0;
    for (const auto& [resource, face] : faces)
        carried += file.Bytes(MAKEINTRESOURCEW(resource), RT_RCDATA).empty() ? 0 : 1;
    if (carried == 0)
        GTEST_SKIP() << "the program carries no font: the build found no Open Sans";
    for (const auto& [resource, face] : faces) {
        const std::string font = file.Bytes(MAKEINTRESOURCEW(resource), RT_RCDATA);
        EXPECT_EQ(FullFontName(font), face)
            << "resource " << resource << " (" << font.size() << " bytes)";
    }
}

// ---- The README's pictures ------------------------------------------------------------------

// Removes a folder and everything in it.
void RemoveFolder(const std::wstring& path) {
    WIN32_FIND_DATAW fd;
    if (win32::FindHandle find{FindFirstFileW((path + L"\\*").c_str(), &fd)}) {
        do {
            const std::wstring name = fd.cFileName, full = path + L"\\" + name;
            if (name == L"." || name == L"..")
                continue;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolder(full);
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(find.get(), &fd));
    } // the enumeration is closed before its folder is removed
    RemoveDirectoryW(path.c_str());
}

// A folder of the system drive for the pictures' backup (a short path, as a user would have
// it); made for them and removed afterwards, unless it was there before.
class DriveFolder {
public:
    explicit DriveFolder(const std::wstring& name) {
        wchar_t drive[8];
        const DWORD n = GetEnvironmentVariableW(L"SystemDrive", drive, 8);
        path_ = (n > 0 && n < 8 ? std::wstring(drive, n) : L"C:") + L"\\" + name;
        made_ = CreateDirectoryW(path_.c_str(), nullptr) != FALSE;
    }
    ~DriveFolder() {
        if (made_)
            RemoveFolder(path_);
    }
    DriveFolder(const DriveFolder&) = delete;
    DriveFolder& operator=(const DriveFolder&) = delete;
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
    bool made_ = false;
};

// The ready window and the window after a successful backup, at `dpi`, saved as
// ventana-<dpi>.bmp and completado-<dpi>.bmp in `out`.
void TakePictures(const std::wstring& out, int dpi) {
    LogPixels setting(static_cast<DWORD>(dpi));
    ASSERT_TRUE(setting.Set());
    DriveFolder copies(L"Copias VQX");
    Layout layout = Layout::Typical();
    DataFolder folder(layout);
    folder.WriteFile(L"VQX Datos.mdb", std::string(2 * 1024 * 1024, '\x5A'));
    folder.WriteFile(L"RS.log", Narrow(copies.Path()) + "\\\r\n");
    ASSERT_FALSE(::testing::Test::HasFailure());

    App app;
    ASSERT_TRUE(app.Start(folder));
    HWND window = app.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    HWND panel = GetDlgItem(window, ctl::FormDaFRM);
    ASSERT_TRUE(WaitUntil([&] {
        return !WindowText(GetDlgItem(panel, ctl::ItemText2)).value_or(L"").empty();
    })) << "the destination did not show";
    ASSERT_TRUE(MovePointer(AwayFromTheWindow()));
    ASSERT_TRUE(app.WaitUntilPainted());
    const std::wstring suffix = L"-" + std::to_wstring(dpi) + L".bmp";
    ASSERT_TRUE(SaveScreenshot(app.WindowsRect(), out + L"\\ventana" + suffix));

    RECT backup{};
    ASSERT_TRUE(BringToFront(window));
    GetWindowRect(GetDlgItem(panel, ctl::BotonRespaldar), &backup);
    ASSERT_TRUE(ClickAt({(backup.left + backup.right) / 2, (backup.top + backup.bottom) / 2}));
    const HWND status = GetDlgItem(GetDlgItem(window, ctl::EstadoFRM), ctl::EstadoLBL2);
    const bool done = WaitUntil(
        [&] {
            // A backup of the same name from an earlier run here: replace it.
            for (const auto& box : app.MessageBoxes())
                app.Answer(box, IDYES);
            return StoredText(status) == L"COMPLETADO CON EXITO";
        },
        30s);
    ASSERT_TRUE(done) << "no success line; the status reads \"" << Narrow(StoredText(status))
                      << "\"";
    ASSERT_TRUE(MovePointer(AwayFromTheWindow()));
    ASSERT_TRUE(app.WaitUntilPainted());
    ASSERT_TRUE(SaveScreenshot(app.WindowsRect(), out + L"\\completado" + suffix));
    auto code = app.Close();
    EXPECT_EQ(code.value_or(999), 0u);
}

TEST(ReadmePictures, ReadyAndCompletedWindowAt96And144Dpi) {
    wchar_t out[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"VQX_README_PICTURES", out, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        GTEST_SKIP() << "VQX_README_PICTURES names no folder for the pictures";
    for (int dpi : {96, 144}) {
        SCOPED_TRACE(std::to_string(dpi) + " dpi");
        TakePictures(std::wstring(out, n), dpi);
        if (HasFatalFailure())
            return;
    }
}

} // namespace
} // namespace vqx::e2e
