// The window's input handlers as a user meets them: dragging the window by its title text,
// the include-data-centre option, the focus colours of the two fields, and the keyboard.
#include "tests/driver/ControlIds.h"
#include "tests/e2e/FolderDialog.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <vector>

namespace vqx::e2e {
namespace {

constexpr COLORREF kFocusGrey = RGB(128, 128, 128);
constexpr COLORREF kNoFocusGrey = RGB(224, 224, 224);
constexpr COLORREF kRejectedRed = RGB(246, 90, 91);

constexpr char kEarlierLog[] = "C:\\Copias anteriores\\\r\n";
constexpr wchar_t kEarlierDestination[] = L"C:\\Copias anteriores\\";

std::string Rgb(COLORREF colour) {
    char text[16];
    std::snprintf(text, sizeof text, "%u,%u,%u", GetRValue(colour), GetGValue(colour),
                  GetBValue(colour));
    return text;
}

RECT WindowRect(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
}

std::string Describe(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

POINT Offset(POINT p, int dx, int dy) {
    return {p.x + dx, p.y + dy};
}

POINT Centre(const RECT& r) {
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// ---- The mouse, one event at a time ------------------------------------------------------

// Button events where the pointer is (MOUSEEVENTF_LEFTDOWN, ...), in the order given.
bool MouseButtons(const std::vector<DWORD>& events) {
    for (DWORD flags : events) {
        INPUT in{};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = flags;
        if (SendInput(1, &in, sizeof in) != 1)
            return false;
    }
    return true;
}

// Presses the buttons at `from`, moves the pointer by (dx, dy) in four steps (the first a
// single pixel), lets go in the order given. `after(step)` runs after the press (step 0) and
// after each move (steps 1 to 4) until it returns false. False when the input was not taken.
bool PressAndMove(POINT from, int dx, int dy, const std::vector<DWORD>& downs,
                  const std::vector<DWORD>& ups, const std::function<bool(int)>& after) {
    bool ok = MovePointer(from, 3s) && MouseButtons(downs);
    bool waiting = ok && after(0);
    for (int step = 1; ok && step <= 4; ++step) {
        const int part = step - 1;
        ok = MovePointer(
            step == 1 ? Offset(from, 1, 1) : Offset(from, dx * part / 3, dy * part / 3), 3s);
        if (ok && waiting)
            waiting = after(step);
    }
    // Let go whatever happened: a button left down would spoil every later case.
    return MouseButtons(ups) && ok;
}

// ---- Reading the window ------------------------------------------------------------------

// What the option's picture shows, told by its colours: "ON" a blue disc (0,120,215), "OFF" a
// mid-grey ring (128), "OX" a pale ring (210); "?" otherwise.
struct OptionPicture {
    int blue = 0, grey = 0, pale = 0;
    std::string State() const {
        if (blue > 100 && grey == 0 && pale == 0)
            return "ON";
        if (grey > 40 && blue == 0 && pale == 0)
            return "OFF";
        if (pale > 40 && blue == 0 && grey == 0)
            return "OX";
        return "?";
    }
    std::string Describe() const {
        return State() + " (blue " + std::to_string(blue) + ", grey " + std::to_string(grey) +
               ", pale " + std::to_string(pale) + " pixels)";
    }
};

OptionPicture ReadOption(const RECT& picture) {
    OptionPicture seen;
    // Inside the 1-pixel frame that marks the focus.
    RECT inside = picture;
    InflateRect(&inside, -1, -1);
    Image image = Capture(inside);
    const std::size_t stride = (static_cast<std::size_t>(image.width) * 3 + 3) & ~std::size_t{3};
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* row = image.bottomUpBgr.data() + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t b = row[3 * x], g = row[3 * x + 1], r = row[3 * x + 2];
            seen.blue += r == 0 && g == 120 && b == 215;
            seen.grey += r == 128 && g == 128 && b == 128;
            seen.pale += r == 210 && g == 210 && b == 210;
        }
    }
    return seen;
}

class InputTest : public AppTest {
protected:
    Layout MakeLayout() override {
        Layout layout = Layout::Typical();
        layout.rsLog = kEarlierLog; // the destination field starts filled in
        return layout;
    }

    bool WaitForFocus(int id) {
        return WaitUntil([&] { return FocusedId() == id; }, 3s);
    }

    // The program is moving its window with the mouse.
    bool Dragging() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) &&
               (info.flags & GUI_INMOVESIZE);
    }

    // A field's selection as (start, end).
    std::pair<int, int> Selection(int id) const {
        DWORD_PTR packed = 0;
        SendMessageTimeoutW(Control(id).hwnd, EM_GETSEL, 0, 0, SMTO_ABORTIFHUNG, 2000, &packed);
        return {LOWORD(packed), HIWORD(packed)};
    }

    // The 1-pixel border of a field's box, on its left edge.
    COLORREF Border(int boxId) const {
        RECT r = Control(boxId).rect;
        return ScreenPixel({r.left, (r.top + r.bottom) / 2});
    }

    ::testing::AssertionResult BordersBecome(COLORREF name, COLORREF destination) {
        if (WaitUntil(
                [&] {
                    return Border(ctl::ItemBorde1) == name &&
                           Border(ctl::ItemBorde2) == destination;
                },
                3s))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "borders: name " << Rgb(Border(ctl::ItemBorde1)) << ", destination "
               << Rgb(Border(ctl::ItemBorde2)) << "; expected " << Rgb(name) << ", "
               << Rgb(destination);
    }

    OptionPicture Option() const { return ReadOption(Control(ctl::ItemCheck).rect); }

    ::testing::AssertionResult OptionBecomes(const std::string& state) {
        if (WaitUntil([&] { return Option().State() == state; }, 3s))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "the option shows " << Option().Describe() << ", expected " << state;
    }

    // Once the program has handled every input given so far: a click on whichever field does
    // not have the focus moves the focus there, after everything before it.
    ::testing::AssertionResult Settle() {
        const int target = FocusedId() == ctl::ItemText1 ? ctl::ItemText2 : ctl::ItemText1;
        const RECT r = Control(target).rect;
        if (!ClickAt({r.left + 4, (r.top + r.bottom) / 2}) || !WaitForFocus(target))
            return ::testing::AssertionFailure()
                   << "the program did not take a click on a field afterwards (focus on "
                   << FocusedId() << ")";
        return ::testing::AssertionSuccess();
    }

    // Waits until the program has handled every input given so far, leaving the mouse alone:
    // a Tab moves the focus only after everything before it. False when the focus did not
    // move (the program is busy with something else, such as moving its window).
    bool InputHandled() {
        const int was = FocusedId();
        return e2e::PressKeys({VK_TAB}) && WaitUntil([&] { return FocusedId() != was; }, 2s);
    }

    // Presses the buttons at `start` and moves the pointer by (dx, dy), the program handling
    // each step before the next, then lets go: the window must stay where it was.
    void ExpectNoDrag(POINT start, int dx, int dy, const std::vector<DWORD>& downs,
                      const std::vector<DWORD>& ups) {
        const RECT before = WindowRect(window);
        bool handled = true;
        ASSERT_TRUE(PressAndMove(start, dx, dy, downs, ups, [&](int) {
            handled = InputHandled();
            return handled;
        }));
        EXPECT_TRUE(handled)
            << "the program stopped taking keys while the pointer moved: it was moving the window";
        EXPECT_TRUE(Settle());
        const RECT after = WindowRect(window);
        EXPECT_TRUE(EqualRect(&before, &after))
            << "window " << Describe(before) << " -> " << Describe(after);
        EXPECT_FALSE(Dragging());
    }

    // Repaints a control now, from what the program holds at this moment.
    static void Repaint(HWND hwnd) {
        RedrawWindow(hwnd, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }

    // Keys to the program's window (brought to the front first).
    void Press(std::initializer_list<WORD> keys) { ASSERT_TRUE(app.PressKeys(keys)); }

    // Focus on the name field with its text selected, reached by the keyboard from the
    // destination field.
    void TabIntoName() {
        ASSERT_TRUE(app.Click(Control(ctl::ItemText2)));
        ASSERT_TRUE(WaitForFocus(ctl::ItemText2)) << "focus on " << FocusedId();
        Press({VK_SHIFT, VK_TAB});
        ASSERT_TRUE(WaitForFocus(ctl::ItemText1)) << "focus on " << FocusedId();
    }
};

// ---- Moving the window by its title text -------------------------------------------------

using TitleDragTest = InputTest;

TEST_F(TitleDragTest, LeftButtonDragOnTheTitleTextMovesTheWindowWithThePointer) {
    const Child title = Control(ctl::FormBarraTituloTXT);
    const POINT start{title.rect.left + 100, Centre(title.rect).y};
    const Child close = Control(ctl::FormCerrar);
    ASSERT_FALSE(PtInRect(&close.rect, start)) << "the point lies on the close button";
    const RECT before = WindowRect(window);
    ASSERT_TRUE(BringToFront(window));

    bool pressOnly = false, began = false;
    ASSERT_TRUE(
        PressAndMove(start, 60, 40, {MOUSEEVENTF_LEFTDOWN}, {MOUSEEVENTF_LEFTUP}, [&](int step) {
            if (step == 0) // the press alone starts nothing
                pressOnly = InputHandled() && !Dragging();
            if (step == 1)
                began = WaitUntil([&] { return Dragging(); }, 3s);
            return true;
        }));
    EXPECT_TRUE(pressOnly) << "a drag began on the press, before the pointer moved";
    EXPECT_TRUE(began) << "no drag began on the first move with the left button held";
    // The drag follows the pointer from where it began, one pixel after the press.
    RECT after{};
    const bool moved = WaitUntil(
        [&] {
            after = WindowRect(window);
            return !Dragging() && std::abs(after.left - before.left - 60) <= 2 &&
                   std::abs(after.top - before.top - 40) <= 2;
        },
        3s);
    EXPECT_TRUE(moved) << "window " << Describe(before) << " -> " << Describe(after)
                       << ", expected moved by about (60, 40)";
    EXPECT_EQ(after.right - after.left, before.right - before.left) << "the size changed";
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top) << "the size changed";
    EXPECT_FALSE(Dragging()) << "still dragging after the button was let go";
}

TEST_F(TitleDragTest, RightMiddleOrLeftWithRightButtonDoNotMoveTheWindow) {
    const Child title = Control(ctl::FormBarraTituloTXT);
    const POINT start{title.rect.left + 100, Centre(title.rect).y};
    ASSERT_TRUE(BringToFront(window));
    struct Case {
        const char* buttons;
        std::vector<DWORD> downs, ups;
    };
    const Case cases[] = {
        {"right", {MOUSEEVENTF_RIGHTDOWN}, {MOUSEEVENTF_RIGHTUP}},
        {"middle", {MOUSEEVENTF_MIDDLEDOWN}, {MOUSEEVENTF_MIDDLEUP}},
        {"left and right",
         {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_RIGHTDOWN},
         {MOUSEEVENTF_LEFTUP, MOUSEEVENTF_RIGHTUP}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.buttons);
        ExpectNoDrag(start, 60, 40, c.downs, c.ups);
    }
}

TEST_F(TitleDragTest, LeftButtonDragOnTheTitleBarStripsOrThePanelDoesNotMoveTheWindow) {
    const Child title = Control(ctl::FormBarraTituloTXT), bar = Control(ctl::FormBarraTitulo),
                panel = Control(ctl::FormDaFRM);
    // The strips of the title bar above and below the text, the pointer moving along them.
    const POINT above{title.rect.left + 100, bar.rect.top + 3};
    const POINT below{title.rect.left + 100, (title.rect.bottom + bar.rect.bottom) / 2};
    for (POINT p : {above, below}) {
        ASSERT_TRUE(PtInRect(&bar.rect, p) && !PtInRect(&title.rect, p))
            << p.x << "," << p.y << " is not on the strip";
    }
    // The panel's own background, right of the option's caption, the pointer moving down.
    const Child caption = Control(ctl::ItemCheckLBL);
    const POINT background{caption.rect.right + 20, Centre(caption.rect).y};
    ASSERT_TRUE(PtInRect(&panel.rect, background));
    for (const Child& c : app.Children()) {
        if (c.visible && GetParent(c.hwnd) == panel.hwnd) {
            ASSERT_FALSE(PtInRect(&c.rect, background)) << "control " << c.id << " lies there";
        }
    }
    ASSERT_TRUE(BringToFront(window));
    struct Case {
        const char* where;
        POINT start;
        int dx, dy;
    };
    for (const Case& c :
         {Case{"strip above the text", above, 60, 0}, Case{"strip below the text", below, 60, 0},
          Case{"panel background", background, 60, 40}}) {
        SCOPED_TRACE(c.where);
        ExpectNoDrag(c.start, c.dx, c.dy, {MOUSEEVENTF_LEFTDOWN}, {MOUSEEVENTF_LEFTUP});
    }
}

// A press on the strip above the text, then down across the text: the press was not on the
// text, so the window stays where it is.
TEST_F(TitleDragTest, LeftButtonPressedAboveTheTitleTextThenMovedAcrossItDoesNotMoveTheWindow) {
    const Child title = Control(ctl::FormBarraTituloTXT), bar = Control(ctl::FormBarraTitulo);
    const POINT above{title.rect.left + 100, bar.rect.top + 3};
    ASSERT_TRUE(PtInRect(&bar.rect, above) && !PtInRect(&title.rect, above));
    ASSERT_GT(above.y + 40, title.rect.bottom) << "the move would not cross the text";
    ASSERT_TRUE(BringToFront(window));
    ExpectNoDrag(above, 60, 40, {MOUSEEVENTF_LEFTDOWN}, {MOUSEEVENTF_LEFTUP});
}

// ---- The include-data-centre option ------------------------------------------------------

using OptionTest = InputTest;

TEST_F(OptionTest, ClicksOnTheCaptionOrThePictureToggleIt) {
    const Child caption = Control(ctl::ItemCheckLBL), picture = Control(ctl::ItemCheck);
    ASSERT_TRUE(OptionBecomes("ON"));
    // Two clicks apart from each other, so that the second is no double click.
    for (const auto& [what, target] :
         {std::pair{"caption", caption}, std::pair{"picture", picture}}) {
        SCOPED_TRACE(what);
        const POINT centre = Centre(target.rect);
        ASSERT_TRUE(BringToFront(window));
        ASSERT_TRUE(ClickAt(Offset(centre, -8, 0)));
        EXPECT_TRUE(OptionBecomes("OFF"));
        ASSERT_TRUE(ClickAt(Offset(centre, 8, 0)));
        EXPECT_TRUE(OptionBecomes("ON"));
    }
}

class OptionUnavailableTest : public InputTest {
protected:
    // A database but no "VQX Datos" folder.
    Layout MakeLayout() override {
        Layout layout;
        layout.rsLog = kEarlierLog;
        return layout;
    }
};

TEST_F(OptionUnavailableTest, ClicksChangeNothingAndTheKeyboardPassesItBy) {
    auto box = app.WaitForMessageBox();
    ASSERT_TRUE(box) << "no message about the missing data centre";
    ASSERT_TRUE(app.Answer(*box, IDOK));
    const Child caption = Control(ctl::ItemCheckLBL), picture = Control(ctl::ItemCheck);
    ASSERT_TRUE(OptionBecomes("OX"));

    ASSERT_TRUE(app.Click(caption));
    ASSERT_TRUE(app.Click(picture));
    ASSERT_TRUE(Settle());
    Repaint(picture.hwnd);
    EXPECT_EQ(Option().State(), "OX") << Option().Describe();

    // The tab order without the option: name, destination, Respaldar, "...", close button.
    ASSERT_NO_FATAL_FAILURE(TabIntoName());
    std::vector<int> order;
    for (int i = 0; i < 5; ++i) {
        const int was = FocusedId();
        Press({VK_TAB});
        WaitUntil([&] { return FocusedId() != was; }, 3s);
        order.push_back(FocusedId());
    }
    EXPECT_EQ(order, (std::vector<int>{ctl::ItemText2, ctl::BotonRespaldar, ctl::BotonDescargar,
                                       ctl::FormCerrar, ctl::ItemText1}));
}

// ---- Focus colours of the fields ---------------------------------------------------------

using FieldFocusTest = InputTest;

TEST_F(FieldFocusTest, TabbingIntoAFieldSelectsItsTextAndGreysItsBorder) {
    ASSERT_NO_FATAL_FAILURE(TabIntoName());
    const int nameLength = static_cast<int>(Text(ctl::ItemText1).size());
    ASSERT_GT(nameLength, 0);
    EXPECT_EQ(Selection(ctl::ItemText1), std::make_pair(0, nameLength)) << "name field selection";
    EXPECT_TRUE(BordersBecome(kFocusGrey, kNoFocusGrey));

    // The destination field takes no typing, but gets the selection and the colour as well.
    Press({VK_TAB});
    ASSERT_TRUE(WaitForFocus(ctl::ItemText2)) << "focus on " << FocusedId();
    const int destinationLength = static_cast<int>(Text(ctl::ItemText2).size());
    ASSERT_EQ(Text(ctl::ItemText2), kEarlierDestination);
    EXPECT_EQ(Selection(ctl::ItemText2), std::make_pair(0, destinationLength))
        << "destination field selection";
    EXPECT_TRUE(BordersBecome(kNoFocusGrey, kFocusGrey));
    EXPECT_EQ(Selection(ctl::ItemText1), std::make_pair(0, nameLength))
        << "the name field's selection changed when it lost the focus";

    Press({VK_TAB});
    ASSERT_TRUE(WaitForFocus(ctl::BotonRespaldar)) << "focus on " << FocusedId();
    EXPECT_TRUE(BordersBecome(kNoFocusGrey, kNoFocusGrey));

    // Back into the name field from the other side.
    Press({VK_SHIFT, VK_TAB});
    Press({VK_SHIFT, VK_TAB});
    ASSERT_TRUE(WaitForFocus(ctl::ItemText1)) << "focus on " << FocusedId();
    EXPECT_EQ(Selection(ctl::ItemText1), std::make_pair(0, nameLength)) << "name field selection";
    EXPECT_TRUE(BordersBecome(kFocusGrey, kNoFocusGrey));
}

TEST_F(FieldFocusTest, RejectedFieldTurnsGreyOnFocusAndLightGreyAfter) {
    ASSERT_NO_FATAL_FAILURE(TabIntoName());
    Press({VK_BACK}); // the whole name was selected
    ASSERT_TRUE(WaitUntil([&] { return Text(ctl::ItemText1).empty(); }, 3s))
        << Narrow(Text(ctl::ItemText1));

    ASSERT_TRUE(app.Click(Control(ctl::BotonRespaldar)));
    EXPECT_TRUE(BordersBecome(kRejectedRed, kNoFocusGrey)) << "after Respaldar with no name";
    EXPECT_TRUE(app.MessageBoxes().empty()) << "a message box came up";

    ASSERT_TRUE(app.Click(Control(ctl::ItemText1)));
    ASSERT_TRUE(WaitForFocus(ctl::ItemText1)) << "focus on " << FocusedId();
    EXPECT_TRUE(BordersBecome(kFocusGrey, kNoFocusGrey)) << "with the focus";
    Press({VK_TAB});
    ASSERT_TRUE(WaitForFocus(ctl::ItemText2)) << "focus on " << FocusedId();
    EXPECT_TRUE(BordersBecome(kNoFocusGrey, kFocusGrey)) << "after the focus left";

    // The destination, emptied by a cancelled picker, then refused.
    ASSERT_TRUE(app.Click(Control(ctl::BotonDescargar)));
    auto dialog = FolderDialog::WaitFor(app);
    ASSERT_TRUE(dialog) << "no folder dialog";
    ASSERT_TRUE(dialog->Cancel());
    ASSERT_TRUE(WaitUntil([&] { return Text(ctl::ItemText2).empty(); }, 3s));
    ASSERT_TRUE(app.Click(Control(ctl::BotonRespaldar)));
    EXPECT_TRUE(BordersBecome(kRejectedRed, kRejectedRed)) << "after Respaldar with nothing";
    Press({VK_SHIFT, VK_TAB}); // from Respaldar
    ASSERT_TRUE(WaitForFocus(ctl::ItemText2)) << "focus on " << FocusedId();
    EXPECT_TRUE(BordersBecome(kRejectedRed, kFocusGrey)) << "destination with the focus";
    Press({VK_TAB});
    ASSERT_TRUE(WaitForFocus(ctl::BotonRespaldar)) << "focus on " << FocusedId();
    EXPECT_TRUE(BordersBecome(kRejectedRed, kNoFocusGrey)) << "after the focus left";
}

// ---- The keyboard ------------------------------------------------------------------------

using KeyboardTest = InputTest;

TEST_F(KeyboardTest, TabAndShiftTabFollowTheTabOrder) {
    ASSERT_NO_FATAL_FAILURE(TabIntoName());
    auto walk = [&](std::initializer_list<WORD> keys) {
        std::vector<int> order;
        for (int i = 0; i < 6; ++i) {
            const int was = FocusedId();
            Press(keys);
            WaitUntil([&] { return FocusedId() != was; }, 3s);
            order.push_back(FocusedId());
        }
        return order;
    };
    EXPECT_EQ(walk({VK_TAB}),
              (std::vector<int>{ctl::ItemText2, ctl::BotonRespaldar, ctl::BotonDescargar,
                                ctl::ItemCheck, ctl::FormCerrar, ctl::ItemText1}))
        << "Tab from the name field";
    EXPECT_EQ(walk({VK_SHIFT, VK_TAB}),
              (std::vector<int>{ctl::FormCerrar, ctl::ItemCheck, ctl::BotonDescargar,
                                ctl::BotonRespaldar, ctl::ItemText2, ctl::ItemText1}))
        << "Shift+Tab from the name field";
}

TEST_F(KeyboardTest, KeysActOnTheFocusedControlAndAltF4Closes) {
    // Typing replaces the selected name and stops at 25 characters.
    ASSERT_NO_FATAL_FAILURE(TabIntoName());
    const std::wstring typed = L"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
    ASSERT_TRUE(app.Type(typed));
    Press({VK_TAB}); // handled after the typing
    ASSERT_TRUE(WaitForFocus(ctl::ItemText2)) << "focus on " << FocusedId();
    EXPECT_EQ(Narrow(Text(ctl::ItemText1)), Narrow(typed.substr(0, 25)));

    // The destination field takes no typing.
    ASSERT_TRUE(app.Type(L"xyz"));
    Press({VK_BACK});
    Press({VK_DELETE});
    Press({VK_TAB});
    ASSERT_TRUE(WaitForFocus(ctl::BotonRespaldar)) << "focus on " << FocusedId();
    EXPECT_EQ(Text(ctl::ItemText2), kEarlierDestination);

    // The option comes after the buttons; Space on it toggles it.
    for (int next : {ctl::BotonDescargar, ctl::ItemCheck}) {
        Press({VK_TAB});
        ASSERT_TRUE(WaitForFocus(next)) << "focus on " << FocusedId();
    }
    ASSERT_TRUE(OptionBecomes("ON"));
    Press({VK_SPACE});
    EXPECT_TRUE(OptionBecomes("OFF"));
    Press({VK_SPACE});
    EXPECT_TRUE(OptionBecomes("ON"));

    // Enter, then Space, on "..." opens the folder dialog; cancelled, it empties the field and
    // gives it the focus.
    for (WORD key : {VK_RETURN, VK_SPACE}) {
        SCOPED_TRACE(key == VK_RETURN ? "Enter" : "Space");
        while (FocusedId() != ctl::BotonDescargar) {
            const int was = FocusedId();
            if (was == ctl::ItemCheck)
                Press({VK_SHIFT, VK_TAB});
            else
                Press({VK_TAB});
            ASSERT_TRUE(WaitUntil([&] { return FocusedId() != was; }, 3s));
            ASSERT_NE(FocusedId(), ctl::FormCerrar) << "Tab passed \"...\" by";
        }
        Press({key});
        auto dialog = FolderDialog::WaitFor(app);
        ASSERT_TRUE(dialog) << "no folder dialog";
        ASSERT_TRUE(dialog->Cancel());
        EXPECT_TRUE(WaitUntil([&] { return Text(ctl::ItemText2).empty(); }, 3s))
            << Narrow(Text(ctl::ItemText2));
        ASSERT_TRUE(WaitForFocus(ctl::ItemText2)) << "focus on " << FocusedId();
    }

    // Alt+F4, with the focus in a field, ends the program normally.
    Press({VK_MENU, VK_F4});
    auto code = app.WaitForExit();
    ASSERT_TRUE(code.has_value()) << "still running after Alt+F4";
    EXPECT_EQ(*code, 0u);
}

} // namespace
} // namespace vqx::e2e
