// The progress line under the status line during a backup: it appears in a stage that has
// lasted longer than two seconds, showing the share of the stage done, and not in a stage that
// has lasted less; a new stage and the outcome take it away. A stage is made long by holding the
// run's worker still while the window goes on.
#include "tests/e2e/FaultSupport.h"

#include <algorithm>
#include <sstream>

namespace vqx::e2e {
namespace {

constexpr COLORREF kBackground = RGB(249, 249, 249);
constexpr COLORREF kTrack = RGB(224, 224, 224);

// Where the line lies in the status panel, in twips: under the status line, as wide as the
// panel, 2 pixels high at 96 dpi.
constexpr int kLineTop = 3435, kLineHeight = 30;

// Big enough that its copy is still running when the driver looks; the first file of stage 2
// keeps that stage going long enough for a look at its start.
constexpr std::uint64_t kDatabase = 200ull << 20;
constexpr std::uint64_t kStageTwoFile = 64ull << 20;

// Twips in pixels at the dpi the program's window was made for: its width is 6030 twips.
int Px(HWND window, int twips) {
    RECT r{};
    GetWindowRect(window, &r);
    const int dpi = MulDiv(r.right - r.left, 1440, 6030);
    return MulDiv(twips, dpi, 1440);
}

COLORREF PixelOf(const Image& image, int x, int y) {
    const std::size_t stride = (static_cast<std::size_t>(image.width) * 3 + 3) & ~std::size_t{3};
    const std::uint8_t* p =
        &image.bottomUpBgr[static_cast<std::size_t>(image.height - 1 - y) * stride + x * 3];
    return RGB(p[2], p[1], p[0]);
}

// What the screen shows where the line goes: its rows, with one row of the panel above and one
// below them.
struct LineLook {
    bool blank = true; // the panel's background only
    bool line = false; // green from the left end, then the track, and background around it
    int green = 0;     // pixels of green in each row
    std::string text;  // what was seen, for a failure's message
};

LineLook Look(const Image& image) {
    LineLook look;
    std::ostringstream seen;
    const int rows = image.height - 2;
    look.line = rows > 0;
    for (int y = 0; y < image.height; ++y) {
        int green = 0, track = 0, background = 0, other = 0;
        for (int x = 0; x < image.width; ++x) {
            const COLORREF c = PixelOf(image, x, y);
            if (c == kGreen && track == 0)
                ++green;
            else if (c == kTrack)
                ++track;
            else if (c == kBackground)
                ++background;
            else
                ++other;
        }
        seen << " row " << y << ": " << green << " green, " << track << " track, " << background
             << " background, " << other << " other;";
        look.blank = look.blank && background == image.width;
        const bool edge = y == 0 || y == image.height - 1;
        if (edge ? background != image.width : green + track != image.width)
            look.line = false;
        if (!edge && y == 1)
            look.green = green;
        else if (!edge && green != look.green)
            look.line = false;
    }
    look.text = seen.str();
    return look;
}

class ProgressLineTest : public ReadyToBackUpTest {
protected:
    void Prepare() override {
        ReadyToBackUpTest::Prepare();
        ASSERT_TRUE(WriteBigFile(folder->Full(L"VQX Datos.mdb"), kDatabase, 19));
        ASSERT_TRUE(WriteBigFile(folder->Full(L"VQX Datos\\Grande.dat"), kStageTwoFile, 23));
    }

    LineLook LineNow() const {
        RECT panel{};
        GetWindowRect(HandleOf(app, ctl::EstadoFRM), &panel);
        const RECT line{panel.left, panel.top + Px(window, kLineTop) - 1, panel.right,
                        panel.top + Px(window, kLineTop + kLineHeight) + 1};
        return Look(Capture(line));
    }

    // Holds the worker still from a moment `ready` holds; false when it never did.
    bool HoldWhen(std::optional<Frozen>& held, const std::function<bool()>& ready) {
        return WaitUntil(
            [&] {
                for (int tries = 0; tries < 50 && ready(); ++tries) {
                    held.emplace(window, Threads::Workers);
                    if (held->Held() && ready())
                        return true;
                    held.reset();
                }
                return false;
            },
            kRunDeadline);
    }
};

TEST_F(ProgressLineTest, ShowsInAStageLongerThanTwoSecondsAndNotInAShortOne) {
    const HWND counter = HandleOf(app, ctl::EstadoLBL1);
    ASSERT_NE(counter, nullptr);
    // Wine's shell announces no taskbar button; on Windows the announcement comes before any run,
    // and the button's progress is set all through it.
    ASSERT_TRUE(PostMessageW(window, RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0));
    ASSERT_TRUE(RoundTrip(app));

    ASSERT_TRUE(ClickControl(app, ctl::BotonRespaldar));
    const std::wstring target = folder->Full(L"Copias\\" + DefaultName() + L".vqxdb");
    std::wstring temporary;
    std::optional<Frozen> held;
    ASSERT_TRUE(HoldWhen(held,
                         [&] {
                             temporary = TemporaryOf(target);
                             return StoredText(counter) == L"1/6" && !temporary.empty() &&
                                    FileSizeAt(temporary) < kDatabase;
                         }))
        << "the database copy was never seen running; the counter reads \""
        << Narrow(StoredText(counter)) << "\"";

    // The database stage, held, grows longer than two seconds: its line appears without a
    // report from the worker, green for the bytes copied so far. The share the worker last
    // reported may lag what is on disk by the part of the copy under way (a few MiB at most).
    const std::uint64_t written = FileSizeAt(temporary),
                        lag = std::min<std::uint64_t>(written, 4 << 20);
    const int width = Px(window, 5175);
    const auto green = [&](std::uint64_t bytes) {
        return MulDiv(width, static_cast<int>(bytes * 1000 / kDatabase), 1000);
    };
    LineLook look;
    EXPECT_TRUE(WaitUntil([&] {
        look = LineNow();
        return look.line && look.green >= green(written - lag) && look.green <= green(written);
    })) << look.green
        << " of " << width << " pixels green with " << written << " bytes written;" << look.text;
    held.reset();

    // A new stage starts without it, held at its start: it has not lasted two seconds.
    std::optional<std::chrono::steady_clock::time_point> stageSeen;
    ASSERT_TRUE(HoldWhen(held,
                         [&] {
                             if (StoredText(counter) != L"2/6")
                                 return false;
                             stageSeen = stageSeen.value_or(std::chrono::steady_clock::now());
                             return true;
                         }))
        << "stage 2 was never seen; the counter reads \"" << Narrow(StoredText(counter)) << "\"";
    look = LineNow();
    // Unless the driver itself stood still for as long.
    if (std::chrono::steady_clock::now() - *stageSeen < 1500ms) {
        EXPECT_TRUE(look.blank) << look.text;
    }
    held.reset();

    // The outcome looks as it always did.
    ExpectSuccess(app);
    look = LineNow();
    EXPECT_TRUE(look.blank) << look.text;
}

} // namespace
} // namespace vqx::e2e
