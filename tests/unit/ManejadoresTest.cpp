// The input handlers on the window model: drag by the title text, the option toggle from the
// image and its caption, the focus colouring and selection of the fields, and the destination
// picker with the form it gives the chosen folder.
#include "tests/fakes/Borrowed.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeShell.h"
#include "tests/fakes/RecordingHost.h"
#include "window/APLwAPP.h"
#include "window/FieldText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

namespace vqx {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint32_t kFocused = 8421504, kUnfocused = 14737632, kRed = 5987062;

// Records, at each picture change and each focus, what the model held at that moment.
class ObservingHost : public fake::RecordingHost {
public:
    std::vector<std::string> tagsAtPicture; // the option's tag when its picture changed
    std::vector<std::string> textAtFocus;   // the focused field's text when it got the focus

    void Changed(const Control& c, Prop what) override {
        RecordingHost::Changed(c, what);
        if (what == Prop::Picture)
            tagsAtPicture.push_back(c.Tag());
    }
    void Focus(const Control& c) override {
        RecordingHost::Focus(c);
        textAtFocus.push_back(c.Text());
    }
};

// Records what the folder dialog was asked, and the destination border when it opened.
class PickerShell : public fake::FakeShell {
public:
    std::function<std::uint32_t()> borderNow;
    std::vector<std::uintptr_t> owners;
    std::vector<std::uint32_t> bordersAtDialog;

    std::string PickFolder(std::uintptr_t owner, const std::string& title) override {
        owners.push_back(owner);
        bordersAtDialog.push_back(borderNow ? borderNow() : 0);
        return FakeShell::PickFolder(owner, title);
    }
};

class ManejadoresTest : public ::testing::Test {
protected:
    ManejadoresTest() : app(fake::LendFileSystem(fs), shell) {
        app.AttachHost(&host);
        shell.borderNow = [this] { return app.ItemBorde(Campo::Destino).BorderColor(); };
    }

    fake::FakeFileSystem fs;
    PickerShell shell;
    ObservingHost host;
    APLwAPP app;
};

// --- Window drag -------------------------------------------------------------------------

struct DragCase {
    int button;
    int shift;
    int drags;
};

class DragTest : public ManejadoresTest, public ::testing::WithParamInterface<DragCase> {};

TEST_P(DragTest, OnlyTheLeftButtonAloneMovesTheWindow) {
    const DragCase& c = GetParam();
    app.FormBarraTituloTXT_MouseMove(c.button, c.shift, 120.0f, 45.0f);
    EXPECT_EQ(host.drags, c.drags);
    EXPECT_THAT(host.log, IsEmpty()); // no control changes
}

INSTANTIATE_TEST_SUITE_P(ButtonStates, DragTest,
                         ::testing::Values(DragCase{0, 0, 0}, // no button: a plain move
                                           DragCase{1, 0, 1}, // left
                                           DragCase{2, 0, 0}, // right
                                           DragCase{3, 0, 0}, // left and right
                                           DragCase{4, 0, 0}, // middle
                                           DragCase{5, 0, 0}, // left and middle
                                           DragCase{7, 0, 0}, // all three
                                           DragCase{1, 1, 1}, // shift held: not used
                                           DragCase{1, 7, 1}, // shift, ctrl and alt
                                           DragCase{-1, 0, 0}));

// --- Option toggle -----------------------------------------------------------------------

using Click = void (APLwAPP::*)();

struct ToggleCase {
    const char* name;
    const char* before;
    Click click;
    const char* after;
};

class ToggleTest : public ManejadoresTest, public ::testing::WithParamInterface<ToggleCase> {};

TEST_P(ToggleTest, PictureThenTagFollowTheState) {
    const ToggleCase& c = GetParam();
    app.ItemCheck.SetTag(c.before);
    (app.*c.click)();
    const std::string after = c.after;
    EXPECT_EQ(app.ItemCheck.Tag(), after);
    EXPECT_THAT(host.log, ElementsAre("ItemCheck.Picture=icoEstado" + after));
    // The picture changes first, while the tag still holds the state before.
    EXPECT_THAT(host.tagsAtPicture, ElementsAre(c.before));
}

INSTANTIATE_TEST_SUITE_P(
    States, ToggleTest,
    ::testing::Values(ToggleCase{"ImageOn", "ON", &APLwAPP::ItemCheck_Click, "OFF"},
                      ToggleCase{"CaptionOn", "ON", &APLwAPP::ItemCheckLBL_Click, "OFF"},
                      ToggleCase{"ImageOff", "OFF", &APLwAPP::ItemCheck_Click, "ON"},
                      ToggleCase{"CaptionOff", "OFF", &APLwAPP::ItemCheckLBL_Click, "ON"},
                      ToggleCase{"ImageEmpty", "", &APLwAPP::ItemCheck_Click, "ON"},
                      ToggleCase{"CaptionEmpty", "", &APLwAPP::ItemCheckLBL_Click, "ON"},
                      // Only the exact text "ON" counts as on.
                      ToggleCase{"LowerCase", "on", &APLwAPP::ItemCheck_Click, "ON"},
                      ToggleCase{"TrailingSpace", "ON ", &APLwAPP::ItemCheckLBL_Click, "ON"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TwoClicks {
    const char* name;
    Click first, second;
};

class TwoClicksTest : public ManejadoresTest, public ::testing::WithParamInterface<TwoClicks> {};

TEST_P(TwoClicksTest, ReturnToTheFirstState) {
    for (const char* start : {"ON", "OFF"}) {
        app.ItemCheck.SetTag(start);
        app.ItemCheck.SetPicture(std::string("icoEstado") + start);
        (app.*GetParam().first)();
        EXPECT_NE(app.ItemCheck.Tag(), start);
        (app.*GetParam().second)();
        EXPECT_EQ(app.ItemCheck.Tag(), start);
        EXPECT_EQ(app.ItemCheck.Picture(), std::string("icoEstado") + start);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, TwoClicksTest,
    ::testing::Values(TwoClicks{"Image", &APLwAPP::ItemCheck_Click, &APLwAPP::ItemCheck_Click},
                      TwoClicks{"Caption", &APLwAPP::ItemCheckLBL_Click,
                                &APLwAPP::ItemCheckLBL_Click},
                      TwoClicks{"Mixed", &APLwAPP::ItemCheck_Click, &APLwAPP::ItemCheckLBL_Click}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Focus -------------------------------------------------------------------------------

struct FocusCase {
    const char* name;
    const char* text;
    int units; // the length as Windows counts it, in UTF-16 code units
};

class FocusTest : public ManejadoresTest,
                  public ::testing::WithParamInterface<std::tuple<Campo, FocusCase>> {};

TEST_P(FocusTest, GotFocusSelectsTheWholeTextAndLostFocusKeepsIt) {
    const auto& [i, c] = GetParam();
    const Campo other = i == Campo::Nombre ? Campo::Destino : Campo::Nombre;
    app.ItemText(i).SetText(c.text);
    app.ItemText(i).SetSelStart(2); // an earlier selection is replaced
    app.ItemText(i).SetSelLength(1);
    host.log.clear();

    app.ItemText_GotFocus(i);
    EXPECT_EQ(app.ItemText(i).SelStart(), 0);
    EXPECT_EQ(app.ItemText(i).SelLength(), c.units);
    EXPECT_EQ(app.ItemText(i).Text(), c.text); // the text itself is left alone
    EXPECT_THAT(host.log, ElementsAre("ItemBorde(" + std::to_string(static_cast<int>(i)) +
                                      ").BorderColor=" + std::to_string(kFocused)));

    host.log.clear();
    app.ItemText_LostFocus(i);
    EXPECT_EQ(app.ItemText(i).SelStart(), 0);
    EXPECT_EQ(app.ItemText(i).SelLength(), c.units);
    EXPECT_THAT(host.log, ElementsAre("ItemBorde(" + std::to_string(static_cast<int>(i)) +
                                      ").BorderColor=" + std::to_string(kUnfocused)));
    EXPECT_EQ(app.ItemBorde(other).BorderColor(), kUnfocused); // the other field untouched
    EXPECT_EQ(app.ItemText(other).SelLength(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FocusTest,
    ::testing::Combine(
        ::testing::Values(Campo::Nombre, Campo::Destino),
        ::testing::Values(FocusCase{"Empty", "", 0},
                          FocusCase{"Default", "Respaldo VQX (07-12-2026)", 25},
                          FocusCase{"Network", "\\\\servidor\\copias\\", 18},
                          // Two-byte and three-byte sequences are one unit each.
                          FocusCase{"Spanish", "Año ñandú 日本 ✓", 14},
                          // A character outside the BMP is a surrogate pair: two units.
                          FocusCase{"Emoji", "Copia 😀", 8}, FocusCase{"OnlyEmoji", "😀🗂", 4},
                          FocusCase{"Mixed", "D:\\Año\\😀\\", 10})),
    [](const auto& info) {
        return std::get<1>(info.param).name +
               std::to_string(static_cast<int>(std::get<0>(info.param)));
    });

TEST_F(ManejadoresTest, FocusRepaintsAFieldThatWasMarkedRed) {
    for (Campo i : kCampos) {
        app.ItemBorde(i).SetBorderColor(kRed);
        app.ItemText_GotFocus(i);
        EXPECT_EQ(app.ItemBorde(i).BorderColor(), kFocused);
        app.ItemBorde(i).SetBorderColor(kRed); // marked again while focused
        app.ItemText_LostFocus(i);
        EXPECT_EQ(app.ItemBorde(i).BorderColor(), kUnfocused);
    }
}

// --- Destination picker ------------------------------------------------------------------

struct PickCase {
    const char* name;
    const char* chosen; // what the dialog gives; "" = cancelled
    const char* field;  // the field afterwards
};

class PickerTest : public ManejadoresTest, public ::testing::WithParamInterface<PickCase> {};

TEST_P(PickerTest, FieldTakesTheFolderWithOneTrailingSeparatorAndTheFocus) {
    const PickCase& c = GetParam();
    const std::string chosen = c.chosen;
    app.ItemText(Campo::Destino).SetText("D:\\Anterior\\");
    app.ItemBorde(Campo::Destino).SetBorderColor(kRed);
    shell.folders.push_back(chosen);
    host.log.clear();

    app.BotonDescargar_Click();

    EXPECT_THAT(shell.folderTitles, ElementsAre("Descargar en..."));
    EXPECT_THAT(shell.owners, ElementsAre(host.Handle()));
    EXPECT_THAT(shell.bordersAtDialog, ElementsAre(kFocused)); // grey before the dialog opens
    EXPECT_EQ(app.ItemText(Campo::Destino).Text(), c.field);
    // The dialog's answer is written first; a non-empty one is then brought into form.
    std::vector<std::string> writes{"ItemText(2).Caption=" + chosen};
    if (!chosen.empty())
        writes.push_back(std::string("ItemText(2).Caption=") + c.field);
    EXPECT_EQ(host.Only("ItemText(2).Caption="), writes);
    EXPECT_EQ(app.ItemBorde(Campo::Destino).BorderColor(), kFocused);
    // The focus goes to the destination field once its text is final.
    EXPECT_EQ(host.focused, "ItemText(2)");
    EXPECT_THAT(host.textAtFocus, ElementsAre(c.field));
    EXPECT_EQ(app.ItemText(Campo::Nombre).Text(), "");
    EXPECT_EQ(app.ItemBorde(Campo::Nombre).BorderColor(), kUnfocused);
}

INSTANTIATE_TEST_SUITE_P(
    DialogResults, PickerTest,
    ::testing::Values(PickCase{"Cancelled", "", ""}, PickCase{"DriveRoot", "C:\\", "C:\\"},
                      PickCase{"Folder", "C:\\Copias", "C:\\Copias\\"},
                      PickCase{"Network", "\\\\servidor\\copias", "\\\\servidor\\copias\\"},
                      PickCase{"DoubledInside", "C:\\Copias\\\\x", "C:\\Copias\\x\\"},
                      PickCase{"NonAscii", "D:\\Año ñandú\\日本 😀", "D:\\Año ñandú\\日本 😀\\"}),
    [](const auto& info) { return std::string(info.param.name); });

// The handlers change the model even before a window realises it.
TEST(ManejadoresWithoutHost, HandlersWorkOnTheModelAlone) {
    fake::FakeFileSystem fs;
    fake::FakeShell shell;
    APLwAPP app(fake::LendFileSystem(fs), shell);
    app.FormBarraTituloTXT_MouseMove(1, 0, 0.0f, 0.0f);
    app.ItemCheck.SetTag("ON");
    app.ItemCheckLBL_Click();
    EXPECT_EQ(app.ItemCheck.Tag(), "OFF");
    app.ItemText(Campo::Nombre).SetText("abc");
    app.ItemText_GotFocus(Campo::Nombre);
    EXPECT_EQ(app.ItemText(Campo::Nombre).SelLength(), 3);
    shell.folders.push_back("C:\\Copias");
    app.BotonDescargar_Click();
    EXPECT_EQ(app.ItemText(Campo::Destino).Text(), "C:\\Copias\\");
}

// --- The form of a chosen folder ---------------------------------------------------------

struct FolderCase {
    const char* chosen;
    const char* normal;
};

class NormalizeFolderTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(NormalizeFolderTest, KeepsTheFirstTwoCharactersAndHalvesDoubledSeparators) {
    EXPECT_EQ(NormalizeFolder(GetParam().chosen), GetParam().normal);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NormalizeFolderTest,
    ::testing::Values(FolderCase{"", ""}, FolderCase{"C:\\", "C:\\"},
                      FolderCase{"C:\\Copias", "C:\\Copias\\"},
                      FolderCase{"C:\\Copias\\", "C:\\Copias\\"},
                      FolderCase{"\\\\servidor\\copias", "\\\\servidor\\copias\\"},
                      FolderCase{"C:\\Copias\\\\x", "C:\\Copias\\x\\"},
                      // One pass, matches not overlapping: three become two, four become two.
                      FolderCase{"C:\\a\\\\\\b", "C:\\a\\\\b\\"},
                      FolderCase{"C:\\a\\\\\\\\b", "C:\\a\\\\b\\"},
                      FolderCase{"D:\\\\", "D:\\\\"}, // the appended separator pairs with neither
                      FolderCase{"\\\\\\\\srv", "\\\\\\srv\\"},
                      // Shorter than two characters.
                      FolderCase{"C", "C\\"}, FolderCase{"\\", "\\\\"},
                      // The first two characters are code points, not bytes.
                      FolderCase{"ñ\\\\d", "ñ\\\\d\\"}, FolderCase{"😀\\\\x", "😀\\\\x\\"},
                      FolderCase{"日本\\\\x", "日本\\x\\"},
                      FolderCase{"D:\\Año ñandú\\日本", "D:\\Año ñandú\\日本\\"}));

} // namespace
} // namespace vqx
