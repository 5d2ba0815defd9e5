// The destination picker: "..." opens the shell's folder dialog; what is chosen there lands in
// the destination field ending in exactly one "\", a cancel empties the field, and a backup
// into a picked folder is remembered for the next start.
#include "tests/driver/ControlIds.h"
#include "tests/e2e/FolderDialog.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace vqx::e2e {
namespace {

constexpr COLORREF kFocusGrey = RGB(128, 128, 128);
constexpr char kEarlierLog[] = "C:\\Copias anteriores\\\r\n";

std::string Ansi(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::string Rgb(COLORREF colour) {
    char text[16];
    snprintf(text, sizeof text, "%u,%u,%u", GetRValue(colour), GetGValue(colour),
             GetBValue(colour));
    return text;
}

class PickerTest : public AppTest {
protected:
    // A destination from an earlier run, so that the field starts filled in.
    Layout MakeLayout() override {
        Layout layout = Layout::Typical();
        layout.rsLog = kEarlierLog;
        return layout;
    }

    // The 1-pixel border of the destination field's box, on its left edge.
    COLORREF DestinationBorder() const {
        RECT r = Control(ctl::ItemBorde2).rect;
        return ScreenPixel({r.left, (r.top + r.bottom) / 2});
    }

    // Clicks "..." and waits for the folder dialog. Each click lands a few pixels from the
    // one before: two clicks on one spot within the double-click time make a double click.
    std::optional<FolderDialog> OpenPicker() {
        const RECT r = Control(ctl::BotonDescargar).rect;
        const POINT at{(r.left + r.right) / 2 + (clicks_++ % 2 ? 6 : -6), (r.top + r.bottom) / 2};
        if (!BringToFront(window) || !ClickAt(at))
            return std::nullopt;
        return FolderDialog::WaitFor(app);
    }
    int clicks_ = 0;

    // The field as the picker leaves it: its text, focused, its box grey.
    void ExpectDestinationField(const std::wstring& expected) {
        EXPECT_TRUE(WaitUntil([&] { return Text(ctl::ItemText2) == expected; }, 3s))
            << "destination field: \"" << Narrow(Text(ctl::ItemText2)) << "\", expected \""
            << Narrow(expected) << "\"";
        EXPECT_TRUE(WaitUntil([&] { return FocusedId() == ctl::ItemText2; }, 3s))
            << "the focus is on control " << FocusedId() << ", not on the destination field";
        EXPECT_TRUE(WaitUntil([&] { return DestinationBorder() == kFocusGrey; }, 3s))
            << "destination border " << Rgb(DestinationBorder());
    }

    // Picks `path` in a freshly opened dialog and confirms it.
    void Pick(const std::wstring& path) {
        auto dialog = OpenPicker();
        ASSERT_TRUE(dialog) << "no folder dialog after a click on \"...\"";
        ASSERT_TRUE(dialog->Select(path));
        ASSERT_TRUE(dialog->Confirm()) << "the dialog did not close on OK";
    }
};

TEST_F(PickerTest, ShowsItsTitleWhileTheFieldIsMarkedAndCancelEmptiesTheField) {
    ASSERT_EQ(Text(ctl::ItemText2), L"C:\\Copias anteriores\\") << "not filled in from RS.log";
    auto dialog = OpenPicker();
    ASSERT_TRUE(dialog) << "no folder dialog after a click on \"...\"";
    const auto texts = dialog->StaticTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), L"Descargar en..."), texts.end())
        << "the dialog does not show \"Descargar en...\"";
    EXPECT_EQ(GetWindow(dialog->Handle(), GW_OWNER), window) << "not owned by the window";
    EXPECT_FALSE(IsWindowEnabled(window)) << "the window takes input while the dialog is open";
    RECT main{};
    GetWindowRect(window, &main);
    ASSERT_TRUE(dialog->MoveAside(main)) << "the dialog could not be moved off the window";
    EXPECT_TRUE(WaitUntil([&] { return DestinationBorder() == kFocusGrey; }, 3s))
        << "destination border while choosing: " << Rgb(DestinationBorder());

    ASSERT_TRUE(dialog->Cancel()) << "the dialog did not close on Cancel";
    ExpectDestinationField(L"");
    EXPECT_TRUE(IsWindowEnabled(window));
}

TEST_F(PickerTest, ChosenFolderAndDriveRootEndInExactlyOneBackslash) {
    folder->MakeFolder(L"Destino\\Copias");
    const std::wstring chosen = folder->Full(L"Destino\\Copias");
    Pick(chosen);
    ExpectDestinationField(chosen + L"\\");

    Pick(L"C:\\");
    ExpectDestinationField(L"C:\\");
}

TEST_F(PickerTest, OnlyFileSystemFoldersCanBeConfirmed) {
    auto dialog = OpenPicker();
    ASSERT_TRUE(dialog) << "no folder dialog after a click on \"...\"";
    ASSERT_TRUE(dialog->SelectComputer());
    EXPECT_TRUE(WaitUntil([&] { return !dialog->CanConfirm(); }, 3s))
        << "OK can be pressed on \"" << Narrow(dialog->SelectedText().value_or(L"?")) << "\"";
    ASSERT_TRUE(dialog->Select(folder->Path()));
    EXPECT_TRUE(WaitUntil([&] { return dialog->CanConfirm(); }, 3s))
        << "OK cannot be pressed on a folder";
    ASSERT_TRUE(dialog->Cancel());
    ExpectDestinationField(L"");
}

// The folder's name has letters outside ASCII: the field shows them, RS.log holds them in the
// system's ANSI code page, and the next start shows them again.
TEST_F(PickerTest, BackupIntoPickedFolderIsRememberedForTheNextStart) {
    const std::wstring copias = L"Copias a\u00f1o \u00e9xito";
    folder->MakeFolder(copias);
    const std::wstring chosen = folder->Full(copias);
    Pick(chosen);
    ExpectDestinationField(chosen + L"\\");

    // Untick the option: the blue disc of "on" goes.
    const Child option = Control(ctl::ItemCheck);
    auto blue = [&] {
        Image image = Capture(option.rect);
        const std::size_t stride =
            (static_cast<std::size_t>(image.width) * 3 + 3) & ~std::size_t{3};
        int count = 0;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                const std::uint8_t* p = image.bottomUpBgr.data() + stride * y + 3 * x;
                count += p[0] == 215 && p[1] == 120 && p[2] == 0;
            }
        return count;
    };
    ASSERT_TRUE(WaitUntil([&] { return blue() > 0; }, 3s)) << "the option is not shown on";
    ASSERT_TRUE(app.Click(Control(ctl::ItemCheckLBL)));
    ASSERT_TRUE(WaitUntil([&] { return blue() == 0; }, 3s)) << "the option is still on";

    const std::wstring name = Text(ctl::ItemText1);
    ASSERT_FALSE(name.empty());
    ASSERT_TRUE(app.Click(Control(ctl::BotonRespaldar)));
    std::optional<MessageBoxInfo> box;
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (auto boxes = app.MessageBoxes(); !boxes.empty())
                box = boxes.front();
            return box || Text(ctl::EstadoLBL1) == L":)";
        },
        20s))
        << "no outcome; the counter shows \"" << Narrow(Text(ctl::EstadoLBL1)) << "\"";
    ASSERT_FALSE(box) << "message box \"" << Narrow(box->title) << "\": " << Narrow(box->text);

    EXPECT_EQ(folder->List(copias), std::vector<std::wstring>{name + L".vqxdb"})
        << "only the database copy belongs there (the option was off)";
    EXPECT_EQ(folder->ReadFile(copias + L"\\" + name + L".vqxdb"), Layout::Typical().database);
    EXPECT_EQ(folder->ReadFile(L"RS.log"), Ansi(chosen + L"\\\r\n"));

    // The input panel is gone: the close button is the one stop left, and Enter presses it.
    ASSERT_TRUE(app.PressKeys({VK_TAB}));
    EXPECT_TRUE(WaitUntil([&] { return FocusedId() == ctl::FormCerrar; }, 3s))
        << "focus on " << FocusedId() << " after Tab";
    ASSERT_TRUE(app.PressKeys({VK_RETURN}));
    ASSERT_EQ(app.WaitForExit(), std::optional<DWORD>(0)) << "Enter on the close button";

    App again;
    ASSERT_TRUE(again.Start(*folder));
    ASSERT_NE(again.WaitForMainWindow(), nullptr);
    auto field = again.FindChild([](const Child& c) { return c.id == ctl::ItemText2; });
    ASSERT_TRUE(field);
    EXPECT_EQ(Narrow(field->text), Narrow(chosen) + "\\");
    EXPECT_EQ(again.Close(), std::optional<DWORD>(0));
}

} // namespace
} // namespace vqx::e2e
