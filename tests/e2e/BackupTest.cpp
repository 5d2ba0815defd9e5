// Backups through the window, checked on disk: the full run and its record in "RS.log", the
// question before an existing backup is replaced, refused names, a failing database copy, a
// data-centre file that cannot be read, and a close while the database is being copied.
#include "tests/e2e/BackupSupport.h"
#include "tests/e2e/FaultSupport.h"

#include <algorithm>

namespace vqx::e2e {
namespace {

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    return names;
}

// A data folder with the typical data centre, a database of recognisable bytes and an empty
// destination folder that "RS.log" names.
class BackupTest : public PreparedAppTest {
protected:
    Layout MakeLayout() override {
        Layout l = Layout::Typical();
        l.database = Pattern(300 * 1024, 11);
        return l;
    }
    void Prepare() override {
        folder->MakeFolder(DestinationFolder());
        folder->WriteFile(L"RS.log", LogLine(Destination()));
    }
    virtual std::wstring DestinationFolder() const { return L"Copias"; }
    // D: the destination as the window shows it, with its trailing "\".
    std::wstring Destination() const { return folder->Full(DestinationFolder()) + L"\\"; }
    // A backup file, relative to the data folder.
    std::wstring BackupFile(const std::wstring& name) const {
        return DestinationFolder() + L"\\" + name + L".vqxdb";
    }
    std::vector<std::wstring> InDestination() const { return folder->List(DestinationFolder()); }

    // Puts a name into the name field (WM_SETTEXT: the field reports it as an edit).
    void SetName(const std::wstring& name) {
        ASSERT_TRUE(SetEditText(app, ctl::ItemText1, name));
        ASSERT_EQ(TextOf(app, ctl::ItemText1), name);
    }
    void PressBackup() { ASSERT_TRUE(ClickControl(app, ctl::BotonRespaldar)); }

    // The question before an existing backup file is replaced.
    std::optional<MessageBoxInfo> ExpectQuestion(const std::wstring& name) {
        auto box = app.WaitForMessageBox();
        EXPECT_TRUE(box.has_value()) << "no question about the existing backup file";
        if (!box)
            return box;
        EXPECT_EQ(box->title, kAppTitle) << Narrow(box->title);
        EXPECT_EQ(box->text, L"Ya existe un archivo con igual nombre '" + name +
                                 L"'. \u00bfDesea sobreescribir \u00e9ste archivo?")
            << Narrow(box->text);
        EXPECT_EQ(ButtonsOf(*box), (std::vector<int>{IDYES, IDNO}));
        EXPECT_TRUE(IsDefaultButton(*box, IDYES)) << "Yes is not the default button";
        EXPECT_EQ(IconOf(*box), BoxIcon::Question);
        return box;
    }
};

// ---- A full run ---------------------------------------------------------------------------

// The destination folder's name decides how "RS.log" is written: in the ANSI code page, or
// as UTF-8 behind a byte-order mark when the code page cannot hold it.
class BackupRunTest : public BackupTest, public ::testing::WithParamInterface<const wchar_t*> {
protected:
    std::wstring DestinationFolder() const override { return GetParam(); }
    void Prepare() override {
        BackupTest::Prepare();
        // Two lines: the run must leave exactly one.
        folder->WriteFile(L"RS.log", LogLine(Destination() + L"\r\nZ:\\otra copia\\"));
    }
};

TEST_P(BackupRunTest, CopiesDatabaseAndDataCentreAndRecordsTheDestination) {
    const std::wstring name = TextOf(app, ctl::ItemText1);
    ASSERT_EQ(name.size(), 25u) << Narrow(name);
    ASSERT_EQ(TextOf(app, ctl::ItemText2), Destination());

    PressBackup();
    ExpectSuccess(app);
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_TRUE(Dialogs(app).empty()) << "a message after a clean run";
    auto input = ControlById(app, ctl::FormDaFRM);
    ASSERT_TRUE(input.has_value());
    EXPECT_FALSE(input->visible) << "the input panel shows again after the run";

    // The database, byte for byte, and the data centre one level deep: plain files only.
    EXPECT_EQ(InDestination(), Sorted({name + L".vqxdb", L"Respaldo VQX"}));
    EXPECT_TRUE(FileHolds(*folder, BackupFile(name), *MakeLayout().database));
    const std::wstring tree = DestinationFolder() + L"\\Respaldo VQX";
    EXPECT_EQ(folder->List(tree), Sorted({L"Archivo", L"Informes", L"L\u00e9ame.txt",
                                          L"Parametros.ini", L"Plantillas", L"Referencias"}));
    EXPECT_EQ(folder->List(tree + L"\\Archivo"), std::vector<std::wstring>{L"Facturas 2024.dat"});
    EXPECT_EQ(folder->List(tree + L"\\Plantillas"), std::vector<std::wstring>{L"Factura.rtf"});
    EXPECT_EQ(folder->List(tree + L"\\Referencias"),
              std::vector<std::wstring>{L"Art\u00edculos.csv"});
    EXPECT_EQ(folder->List(tree + L"\\Informes"),
              std::vector<std::wstring>{L"Balance de situaci\u00f3n.txt"});
    const std::wstring source = L"VQX Datos\\";
    for (const auto& file : Layout::Typical().files) {
        const std::wstring inside = file.path.substr(source.size());
        if (file.hidden || std::count(inside.begin(), inside.end(), L'\\') > 1)
            continue;
        EXPECT_EQ(folder->ReadFile(tree + L"\\" + inside), std::optional<std::string>(file.bytes))
            << Narrow(inside);
    }
    EXPECT_EQ(folder->ReadFile(L"RS.log"), LogLine(Destination()));

    // The next start fills the destination in from the log.
    ASSERT_EQ(app.Close(), std::optional<DWORD>(0));
    App next;
    ASSERT_TRUE(next.Start(*folder));
    ASSERT_NE(next.WaitForMainWindow(), nullptr);
    EXPECT_EQ(TextOf(next, ctl::ItemText2), Destination())
        << "destination field \"" << Narrow(TextOf(next, ctl::ItemText2)) << "\"";
    EXPECT_EQ(next.Close(), std::optional<DWORD>(0));
}

INSTANTIATE_TEST_SUITE_P(BackupDestinations, BackupRunTest,
                         ::testing::Values(L"Copias de situaci\u00f3n",
                                           L"\u041a\u043e\u043f\u0438\u0438 \u03a9\u03bc\u03ad"),
                         [](const auto& info) {
                             return info.index == 0 ? "AnsiName" : "NameOutsideTheCodePage";
                         });

// ---- A network share as the destination ------------------------------------------------------

// Wine serves "\\server\share" from $WINEPREFIX/dosdevices/unc/server/share: a share of this
// case's own (its server named after the driver's process), removed at its end.
class BackupShareTest : public BackupTest {
protected:
    void Prepare() override {
        wchar_t prefix[MAX_PATH] = {};
        const DWORD n = GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
        if (n == 0 || n >= MAX_PATH || prefix[0] != L'/')
            return; // not under Wine: no share to make
        std::wstring dos = L"Z:" + std::wstring(prefix, n);
        std::replace(dos.begin(), dos.end(), L'/', L'\\');
        server_ = dos + L"\\dosdevices\\unc\\vqx-" + std::to_wstring(GetCurrentProcessId());
        share_ = server_ + L"\\copias";
        ASSERT_TRUE(MakeFoldersAt(share_));
        unc_ = L"\\\\vqx-" + std::to_wstring(GetCurrentProcessId()) + L"\\copias\\";
        folder->WriteFile(L"RS.log", LogLine(unc_));
    }
    void TearDown() override {
        BackupTest::TearDown();
        if (!server_.empty())
            RemoveTreeAt(server_);
    }

    std::wstring server_, share_, unc_; // the server's folder, the share's, and its UNC path
};

TEST_F(BackupShareTest, BacksUpToTheShareAndOffersItAtTheNextStart) {
    if (unc_.empty())
        GTEST_SKIP() << "no Wine prefix to serve a share from";
    const std::wstring name = TextOf(app, ctl::ItemText1);
    ASSERT_EQ(TextOf(app, ctl::ItemText2), unc_);
    PressBackup();
    ExpectSuccess(app);
    EXPECT_TRUE(SameBytes(share_ + L"\\" + name + L".vqxdb", folder->Full(L"VQX Datos.mdb")));
    EXPECT_TRUE(IsFileAt(share_ + L"\\Respaldo VQX\\Archivo\\Facturas 2024.dat"));
    EXPECT_TRUE(TemporariesUnder(share_).empty());
    EXPECT_EQ(folder->ReadFile(L"RS.log"), LogLine(unc_));

    ASSERT_EQ(app.Close(), std::optional<DWORD>(0));
    App next;
    ASSERT_TRUE(next.Start(*folder));
    ASSERT_NE(next.WaitForMainWindow(), nullptr);
    EXPECT_EQ(TextOf(next, ctl::ItemText2), unc_)
        << "destination field \"" << Narrow(TextOf(next, ctl::ItemText2)) << "\"";
    EXPECT_EQ(next.Close(), std::optional<DWORD>(0));
}

// ---- The question before a backup file is replaced ----------------------------------------

class BackupOverwriteTest : public BackupTest {
protected:
    const std::wstring name = L"Copia de situaci\u00f3n";
    const std::string earlier = "copia anterior\r\n";
    void Prepare() override {
        BackupTest::Prepare();
        folder->WriteFile(BackupFile(name), earlier);
    }
};

TEST_F(BackupOverwriteTest, NoKeepsEverythingAndYesReplacesTheFile) {
    SetName(name);
    const auto log = folder->ReadFile(L"RS.log");

    PressBackup();
    auto box = ExpectQuestion(name);
    ASSERT_TRUE(box.has_value());
    ASSERT_TRUE(app.Answer(*box, IDNO));
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_TRUE(Dialogs(app).empty());
    // The input panel still covers the status panel.
    auto input = ControlById(app, ctl::FormDaFRM);
    ASSERT_TRUE(input.has_value());
    EXPECT_TRUE(input->visible) << "the answer No hid the input panel";
    EXPECT_EQ(TextOf(app, ctl::EstadoLBL2), L"");
    EXPECT_EQ(InDestination(), std::vector<std::wstring>{name + L".vqxdb"});
    EXPECT_TRUE(FileHolds(*folder, BackupFile(name), earlier));
    EXPECT_EQ(folder->ReadFile(L"RS.log"), log);

    // A second click on the same spot this soon would count as a double click (lost under
    // Wine): the user goes back to the name field first.
    ASSERT_TRUE(ClickControl(app, ctl::ItemText1));
    ASSERT_TRUE(WaitForBorder(app, ctl::ItemBorde1, kFocusedBorder));
    PressBackup();
    box = ExpectQuestion(name);
    ASSERT_TRUE(box.has_value());
    ASSERT_TRUE(app.Answer(*box, IDYES));
    ExpectSuccess(app);
    EXPECT_TRUE(FileHolds(*folder, BackupFile(name), *MakeLayout().database));
    EXPECT_TRUE(Temporaries(*folder, DestinationFolder()).empty());
}

// ---- Refused names ------------------------------------------------------------------------

class BackupRefusedNameTest : public BackupTest {
protected:
    // Presses "Respaldar" with a name that must be refused: the border of the name field turns
    // red, and nothing else happens.
    void ExpectRefused(const std::wstring& name) {
        SCOPED_TRACE("name \"" + Narrow(name) + "\"");
        SetName(name);
        // The focus marks the border grey; the press moves the focus to the button (light
        // grey) and then refuses the name (red). Red after grey is this press's doing.
        ASSERT_TRUE(ClickControl(app, ctl::ItemText1));
        ASSERT_TRUE(WaitForBorder(app, ctl::ItemBorde1, kFocusedBorder))
            << "the name field did not take the focus";
        PressBackup();
        EXPECT_TRUE(WaitForBorder(app, ctl::ItemBorde1, kRed))
            << "border 0x" << std::hex << BorderOf(app, ctl::ItemBorde1);
        // The press has been handled once a message sent after it has been.
        ASSERT_TRUE(RoundTrip(app));
        for (const auto& box : app.MessageBoxes()) {
            ADD_FAILURE() << "a message for a refused name: \"" << Narrow(box.title) << "\", \""
                          << Narrow(box.text) << "\"";
            // Answered so that the rest of the table can go on.
            ASSERT_TRUE(app.Answer(box, ButtonsOf(box).size() == 2 ? IDNO : IDOK));
        }
        auto input = ControlById(app, ctl::FormDaFRM);
        ASSERT_TRUE(input.has_value());
        ASSERT_TRUE(input->visible) << "the backup ran";
        EXPECT_TRUE(InDestination().empty()) << "something was written to the destination";
        EXPECT_EQ(BorderOf(app, ctl::ItemBorde2), RGB(224, 224, 224))
            << "the destination field was marked too";
    }

    // After the refusals the same window still takes an acceptable name.
    void ExpectAcceptedAfterwards() {
        SetName(L"Copia buena");
        ASSERT_TRUE(ClickControl(app, ctl::ItemText1));
        ASSERT_TRUE(WaitForBorder(app, ctl::ItemBorde1, kFocusedBorder));
        PressBackup();
        ExpectSuccess(app);
        EXPECT_TRUE(FileHolds(*folder, BackupFile(L"Copia buena"), *MakeLayout().database));
    }
};

TEST_F(BackupRefusedNameTest, EachForbiddenCharacterOnlyTurnsTheBorderRed) {
    for (const wchar_t* c : {L"<", L"|", L"\\", L"/", L">", L":", L"?", L"*", L"\u00bf"}) {
        ExpectRefused(std::wstring(L"Copia") + c + L"1");
        if (HasFatalFailure())
            return;
    }
    ExpectAcceptedAfterwards();
}

// Windows opens a device for these names, with or without an extension, trailing dots or
// spaces, in any case.
TEST_F(BackupRefusedNameTest, DeviceNamesOnlyTurnTheBorderRed) {
    for (const wchar_t* name : {L"con", L"LPT1", L"Nul.txt", L"aux.", L"CoM9", L"prn .txt"}) {
        ExpectRefused(name);
        if (HasFatalFailure())
            return;
    }
    ExpectAcceptedAfterwards();
}

// ---- A failing database copy --------------------------------------------------------------

class BackupStageOneTest : public BackupTest {
protected:
    const std::wstring name = L"Copia diaria";
    const std::string earlier = "copia anterior\r\n";
};

// The database held open by another program: the report, the failure line, nothing changed.
class BackupLockedDatabaseTest : public BackupStageOneTest {
protected:
    void Prepare() override {
        BackupTest::Prepare();
        folder->WriteFile(BackupFile(name), earlier);
        lock.emplace(folder->Full(L"VQX Datos.mdb"));
    }
    void TearDown() override {
        lock.reset();
        BackupStageOneTest::TearDown();
    }
    std::optional<FileLock> lock;
};

TEST_F(BackupLockedDatabaseTest, ReportsTheFailureAndKeepsTheEarlierBackup) {
    ASSERT_TRUE(lock->Held());
    SetName(name);
    const auto log = folder->ReadFile(L"RS.log");
    PressBackup();
    auto question = ExpectQuestion(name);
    ASSERT_TRUE(question.has_value());
    ASSERT_TRUE(app.Answer(*question, IDYES));
    ExpectFailure(app);
    EXPECT_EQ(folder->ReadFile(L"RS.log"), log) << "RS.log changed after a failed run";
    EXPECT_EQ(InDestination(), std::vector<std::wstring>{name + L".vqxdb"});
    EXPECT_TRUE(FileHolds(*folder, BackupFile(name), earlier));
}

// The earlier backup held open: the new copy is made beside it and cannot take its place.
class BackupLockedEarlierBackupTest : public BackupStageOneTest {
protected:
    void Prepare() override {
        BackupTest::Prepare();
        folder->WriteFile(BackupFile(name), earlier);
        lock.emplace(folder->Full(BackupFile(name)));
    }
    void TearDown() override {
        lock.reset();
        BackupStageOneTest::TearDown();
    }
    std::optional<FileLock> lock;
};

TEST_F(BackupLockedEarlierBackupTest, KeepsItAndLeavesNoTemporary) {
    ASSERT_TRUE(lock->Held());
    SetName(name);
    const auto log = folder->ReadFile(L"RS.log");
    PressBackup();
    auto question = ExpectQuestion(name);
    ASSERT_TRUE(question.has_value());
    ASSERT_TRUE(app.Answer(*question, IDYES));
    ExpectFailure(app);
    lock.reset();
    EXPECT_EQ(folder->ReadFile(L"RS.log"), log);
    EXPECT_EQ(InDestination(), std::vector<std::wstring>{name + L".vqxdb"})
        << "a temporary or the data centre was left in the destination";
    EXPECT_TRUE(FileHolds(*folder, BackupFile(name), earlier));
}

// A folder stands where the backup file should go.
class BackupFolderInTheWayTest : public BackupStageOneTest {
protected:
    void Prepare() override {
        BackupTest::Prepare();
        folder->MakeFolder(BackupFile(name));
    }
};

TEST_F(BackupFolderInTheWayTest, ReportsTheFailureWithoutAQuestion) {
    SetName(name);
    const auto log = folder->ReadFile(L"RS.log");
    PressBackup();
    ExpectFailure(app);
    EXPECT_EQ(folder->ReadFile(L"RS.log"), log);
    EXPECT_EQ(InDestination(), std::vector<std::wstring>{name + L".vqxdb"});
    EXPECT_TRUE(folder->IsFolder(BackupFile(name)));
    EXPECT_TRUE(folder->List(BackupFile(name)).empty());
}

// ---- A data-centre file that cannot be read -----------------------------------------------

class BackupLockedDataCentreFileTest : public BackupTest {
protected:
    const std::wstring locked = L"VQX Datos\\Archivo\\Facturas 2024.dat";
    void Prepare() override {
        BackupTest::Prepare();
        lock.emplace(folder->Full(locked));
    }
    void TearDown() override {
        lock.reset();
        BackupTest::TearDown();
    }
    std::optional<FileLock> lock;
};

TEST_F(BackupLockedDataCentreFileTest, ReportsItAfterTheSuccessLineAndCopiesTheRest) {
    ASSERT_TRUE(lock->Held());
    const std::wstring name = TextOf(app, ctl::ItemText1);
    PressBackup();
    auto box = app.WaitForMessageBox();
    ASSERT_TRUE(box.has_value()) << "no message about the file left out; status \""
                                 << Narrow(TextOf(app, ctl::EstadoLBL2)) << "\"";
    // The outcome is shown before the message.
    EXPECT_EQ(TextOf(app, ctl::EstadoLBL1), L":)");
    EXPECT_EQ(TextOf(app, ctl::EstadoLBL2), kSuccess);
    EXPECT_EQ(box->title, kAppTitle) << Narrow(box->title);
    EXPECT_TRUE(StartsWith(box->text, L"El respaldo termin\u00f3, pero no se pudieron copiar 1 "
                                      L"archivo(s) del centro de datos:\r\n\r\n" +
                                          locked))
        << Narrow(box->text);
    EXPECT_EQ(box->text.find(L"Parametros"), std::wstring::npos) << Narrow(box->text);
    EXPECT_EQ(IconOf(*box), BoxIcon::Exclamation);
    EXPECT_EQ(ButtonsOf(*box), std::vector<int>{IDOK});
    ASSERT_TRUE(app.Answer(*box, IDOK));
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_TRUE(Dialogs(app).empty());

    const std::wstring tree = DestinationFolder() + L"\\Respaldo VQX";
    EXPECT_TRUE(folder->List(tree + L"\\Archivo").empty()) << "the locked file was copied";
    EXPECT_EQ(folder->ReadFile(tree + L"\\Parametros.ini"),
              std::optional<std::string>("[General]\r\nEmpresa=Distribuciones del Norte\r\n"));
    EXPECT_TRUE(folder->IsFile(tree + L"\\Plantillas\\Factura.rtf"));
    EXPECT_TRUE(folder->IsFile(tree + L"\\Referencias\\Art\u00edculos.csv"));
    EXPECT_TRUE(folder->IsFile(tree + L"\\Informes\\Balance de situaci\u00f3n.txt"));
    EXPECT_TRUE(FileHolds(*folder, BackupFile(name), *MakeLayout().database));
    EXPECT_EQ(folder->ReadFile(L"RS.log"), LogLine(Destination()));
}

// ---- A close while the database is being copied -------------------------------------------

// A database big enough that its copy is still running when the driver sees it start.
constexpr std::uint64_t kBigDatabase = 400ull << 20;

class BackupCloseDuringCopyTest : public BackupTest {
protected:
    const std::wstring name = L"Copia grande";
    const std::string earlier = Pattern(4096, 3);
    void Prepare() override {
        BackupTest::Prepare();
        folder->WriteFile(BackupFile(name), earlier);
        ASSERT_TRUE(WriteBigFile(folder->Full(L"VQX Datos.mdb"), kBigDatabase, 5))
            << "cannot write the big database";
    }

    // Starts the backup over the earlier one and waits until the database copy runs.
    void StartTheCopy() {
        SetName(name);
        log = folder->ReadFile(L"RS.log");
        PressBackup();
        auto question = ExpectQuestion(name);
        ASSERT_TRUE(question.has_value());
        // Found now: while it copies, the program answers messages only between chunks, too
        // slowly to look its controls up again. The status is read as the system keeps it.
        auto status = ControlById(app, ctl::EstadoLBL2);
        closeButton = ControlById(app, ctl::FormCerrar);
        ASSERT_TRUE(status && closeButton);
        ASSERT_TRUE(app.Answer(*question, IDYES));
        ASSERT_TRUE(WaitUntil([&] { return StoredText(status->hwnd) == kCopyingDatabase; }))
            << "status \"" << Narrow(StoredText(status->hwnd)) << "\"";
    }

    // The program ended at once, cleanly, and left everything as it was.
    void ExpectCancelled() {
        auto code = app.WaitForExit();
        ASSERT_TRUE(code.has_value()) << "still running after the close";
        EXPECT_EQ(*code, 0u);
        EXPECT_TRUE(FileHolds(*folder, BackupFile(name), earlier))
            << "the earlier backup was replaced (" << FileSize(folder->Full(BackupFile(name)))
            << " bytes); if the copy ended before the close, the database is too small here";
        EXPECT_EQ(InDestination(), std::vector<std::wstring>{name + L".vqxdb"})
            << "a temporary or the data centre was left behind";
        EXPECT_EQ(folder->ReadFile(L"RS.log"), log) << "RS.log changed";
    }

    std::optional<std::string> log;
    std::optional<Child> closeButton;
};

TEST_F(BackupCloseDuringCopyTest, WmCloseCancelsTheCopy) {
    StartTheCopy();
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    ExpectCancelled();
}

TEST_F(BackupCloseDuringCopyTest, CloseButtonCancelsTheCopy) {
    StartTheCopy();
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(app.Click(*closeButton));
    ExpectCancelled();
}

// Space and Enter typed right after the click on "Respaldar", before the program has taken
// the click, reach the button while the run is going (the review saw a second run start and
// fail). They must neither start a run nor ask anything, and the one run ends as usual.
TEST_F(BackupCloseDuringCopyTest, KeysRightAfterTheClickStartNothing) {
    const std::wstring fresh = L"Copia nueva"; // no earlier backup: no question first
    SetName(fresh);
    auto button = ControlById(app, ctl::BotonRespaldar);
    auto counter = ControlById(app, ctl::EstadoLBL1);
    ASSERT_TRUE(button && counter);
    ASSERT_TRUE(BringToFront(window));
    // One batch of input, so that the keys are queued before the click is handled.
    const POINT centre{(button->rect.left + button->rect.right) / 2,
                       (button->rect.top + button->rect.bottom) / 2};
    std::vector<INPUT> inputs(3);
    for (INPUT& in : inputs) {
        in.type = INPUT_MOUSE;
        in.mi.dx = MulDiv(centre.x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
        in.mi.dy = MulDiv(centre.y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
    }
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    for (WORD key : {VK_SPACE, VK_RETURN, VK_SPACE}) {
        for (DWORD flags : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}}) {
            INPUT in{};
            in.type = INPUT_KEYBOARD;
            in.ki.wVk = key;
            in.ki.dwFlags = flags;
            inputs.push_back(in);
        }
    }
    ASSERT_EQ(SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)),
              inputs.size());
    std::vector<MessageBoxInfo> boxes;
    ASSERT_TRUE(WaitUntil(
        [&] {
            boxes = app.MessageBoxes();
            return !boxes.empty() || StoredText(counter->hwnd) == L":)";
        },
        120s))
        << "counter \"" << Narrow(StoredText(counter->hwnd)) << "\"";
    EXPECT_TRUE(boxes.empty()) << "a box came up: " << Narrow(boxes.front().title) << ": "
                               << Narrow(boxes.front().text);
    EXPECT_EQ(FileSize(folder->Full(BackupFile(fresh))), kBigDatabase);
}

} // namespace
} // namespace vqx::e2e
