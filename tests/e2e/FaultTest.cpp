// Faults around a backup, each checked on disk afterwards and in what the user is shown:
// stage-1 failures (database held or gone, destination missing or a file, a name the file
// system refuses), data-centre failures (locked files, folders blocked by files, a destination
// that goes away mid-run), odd and unwritable "RS.log" files, the program killed or closed
// mid-copy, awkward names and destinations, and (through faults.sh) a full disk and a
// read-only destination. The run ends with a table of the cases and what each checked.
#include "tests/e2e/FaultSupport.h"

#include <algorithm>
#include <iostream>
#include <set>
#include <sstream>

namespace vqx::e2e {
namespace {

// The failure line after stage 1.
const std::wstring kStageOneFailure = L"ERROR ERROR ERROR EN 1/6 COPIANDO BASE DE DATOS";
const std::wstring kLeftOutHead = L"El respaldo termin\u00f3, pero no se pudieron copiar ";

// The five folders that stages 2 to 6 copy, relative to "VQX Datos" and to "Respaldo VQX".
const std::vector<std::wstring> kStageFolders = {L"", L"Archivo", L"Plantillas", L"Referencias",
                                                 L"Informes"};

// Big enough that its copy is still running when the driver looks (well under a second here).
constexpr std::uint64_t kBigFile = 200ull << 20;

// The number the error report shows for a system error: its HRESULT, as a signed value.
std::int32_t Number(DWORD error) {
    return static_cast<std::int32_t>(0x80070000u | error);
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::set<std::wstring> AsSet(const std::vector<std::wstring>& names) {
    return {names.begin(), names.end()};
}

std::string Described(const std::set<std::wstring>& names) {
    std::string out;
    for (const auto& n : names)
        out += (out.empty() ? "" : ", ") + Narrow(n);
    return out.empty() ? "(none)" : out;
}

// A file of the data folder held open by the driver, with the access and sharing given.
class Held {
public:
    Held(const std::wstring& path, DWORD access, DWORD share)
        : handle_(CreateFileW(Extended(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {
        if (!handle_)
            ADD_FAILURE() << "cannot hold " << Narrow(path) << " open: error " << GetLastError();
    }
    void Release() { handle_.reset(); }

private:
    win32::File handle_;
};

// A data folder with the typical data centre, a database of recognisable bytes and an empty
// destination folder that "RS.log" names. The helpers take the program they act on, so that a
// case can start it a second time.
class FaultTest : public PreparedAppTest {
protected:
    Layout MakeLayout() override {
        Layout l = Layout::Typical();
        l.database = Pattern(256 * 1024, 21);
        return l;
    }
    void Prepare() override {
        ASSERT_TRUE(MakeFoldersAt(DestinationPath())) << Narrow(DestinationPath());
        ASSERT_TRUE(WriteAt(LogPath(), LogLine(Destination())));
    }

    // D without its trailing "\".
    virtual std::wstring DestinationPath() const { return folder->Full(L"Copias"); }
    std::wstring Destination() const { return DestinationPath() + L"\\"; }
    std::wstring Tree() const { return DestinationPath() + L"\\Respaldo VQX"; }
    std::wstring BackupFile(const std::wstring& name) const {
        return DestinationPath() + L"\\" + name + L".vqxdb";
    }
    std::wstring DatabasePath() const { return folder->Full(L"VQX Datos.mdb"); }
    std::wstring LogPath() const { return folder->Full(L"RS.log"); }
    std::wstring Source(const std::wstring& relative) const {
        return folder->Full(L"VQX Datos\\" + relative);
    }

    // The files a full run copies into the tree, relative to "VQX Datos" (and to the tree).
    std::vector<std::wstring> DataCentreFiles() const {
        std::vector<std::wstring> files;
        for (const auto& sub : kStageFolders)
            for (const auto& name :
                 PlainFilesIn(sub.empty() ? folder->Full(L"VQX Datos") : Source(sub)))
                files.push_back(sub.empty() ? name : sub + L"\\" + name);
        std::sort(files.begin(), files.end());
        return files;
    }

    // Every file of a backup tree under a real name holds what its source holds, or for the
    // files of `earlier`, what the earlier backup held. Returns those files; temporaries apart.
    std::set<std::wstring>
    ExpectFaithfulTree(const std::wstring& tree,
                       const std::map<std::wstring, std::string>& earlier = {}) {
        std::set<std::wstring> found;
        for (const auto& relative : FilesUnder(tree)) {
            if (IsCopyTemporary(relative.substr(relative.find_last_of(L'\\') + 1)))
                continue;
            found.insert(relative);
            const std::wstring copy = tree + L"\\" + relative;
            auto it = earlier.find(relative);
            if (it != earlier.end())
                EXPECT_TRUE(Holds(copy, it->second)) << "an earlier copy was replaced";
            else if (!IsFileAt(Source(relative)))
                ADD_FAILURE() << Narrow(relative) << " in the backup has no source";
            else
                EXPECT_TRUE(SameBytes(copy, Source(relative)));
        }
        return found;
    }
    // The whole data centre, faithful, and no temporary anywhere in the destination.
    void ExpectCompleteTree(const std::map<std::wstring, std::string>& earlier = {}) {
        const auto found = ExpectFaithfulTree(Tree(), earlier);
        EXPECT_EQ(found, AsSet(DataCentreFiles()))
            << "in the backup: " << Described(found) << "; in the data centre "
            << Described(AsSet(DataCentreFiles()));
        EXPECT_EQ(TemporariesUnder(DestinationPath()), std::vector<std::wstring>{});
    }

    // ---- Driving the window ----

    void SetName(App& a, const std::wstring& name) {
        ASSERT_TRUE(SetEditText(a, ctl::ItemText1, name));
        ASSERT_EQ(TextOf(a, ctl::ItemText1), name);
    }
    void PickDestination(App& a, const std::wstring& destination) {
        ASSERT_TRUE(SetEditText(a, ctl::ItemText2, destination));
        ASSERT_EQ(TextOf(a, ctl::ItemText2), destination);
    }
    // Finds the labels and the close button while the program is idle (during a copy it answers
    // only between chunks), then presses "Respaldar".
    void Press(App& a) {
        auto counter = ControlById(a, ctl::EstadoLBL1), status = ControlById(a, ctl::EstadoLBL2);
        closeButton = ControlById(a, ctl::FormCerrar);
        ASSERT_TRUE(counter && status && closeButton);
        counter_ = counter->hwnd;
        status_ = status->hwnd;
        ASSERT_TRUE(ClickControl(a, ctl::BotonRespaldar));
    }
    std::wstring Counter() const { return StoredText(counter_); }
    std::wstring Status() const { return StoredText(status_); }

    void AnswerQuestion(App& a, const std::wstring& name, int answer) {
        auto box = a.WaitForMessageBox();
        ASSERT_TRUE(box.has_value()) << "no question about the existing backup file";
        ASSERT_EQ(box->title, kAppTitle) << Narrow(box->text);
        ASSERT_TRUE(StartsWith(box->text, L"Ya existe un archivo con igual nombre '" + name + L"'"))
            << Narrow(box->text);
        ASSERT_TRUE(a.Answer(*box, answer));
    }

    // The message after a run that left data-centre files out; returns the names it lists.
    std::vector<std::wstring> ExpectLeftOut(App& a, std::size_t count) {
        std::vector<std::wstring> listed;
        auto box = a.WaitForMessageBox(kRunDeadline);
        EXPECT_TRUE(box.has_value()) << "no message about the files left out";
        if (!box)
            return listed;
        EXPECT_EQ(Status(), kSuccess) << "the outcome is not shown before the message";
        EXPECT_EQ(box->title, kAppTitle);
        const std::wstring head =
            kLeftOutHead + std::to_wstring(count) + L" archivo(s) del centro de datos:";
        auto lines = Lines(box->text);
        EXPECT_TRUE(lines.size() >= 3 && lines[0] == head && lines[1].empty()) << Narrow(box->text);
        const std::size_t named = std::min<std::size_t>(count, 10);
        EXPECT_EQ(lines.size(), 2 + named + (count > 10 ? 1 : 0)) << Narrow(box->text);
        for (std::size_t i = 2; i < lines.size() && i < 2 + named; ++i)
            listed.push_back(lines[i]);
        if (count > 10 && lines.size() == 3 + named) {
            EXPECT_EQ(lines.back(), L"... y " + std::to_wstring(count - 10) + L" m\u00e1s.");
        }
        // The icon is told from its drawing: the box may not have painted yet.
        EXPECT_TRUE(WaitUntil([&] { return IconOf(*box) == BoxIcon::Exclamation; }))
            << "the box shows " << Name(IconOf(*box));
        EXPECT_EQ(ButtonsOf(*box), std::vector<int>{IDOK});
        EXPECT_TRUE(a.Answer(*box, IDOK));
        ExpectNoMessage(a);
        ExpectGreen(a);
        EXPECT_EQ(Status(), kSuccess) << "the outcome did not stay";
        return listed;
    }

    // "VQX Datos\..." as the message of left-out files names them.
    static std::set<std::wstring> AsListed(const std::vector<std::wstring>& relative) {
        std::set<std::wstring> out;
        for (const auto& r : relative)
            out.insert(L"VQX Datos\\" + r);
        return out;
    }

    void ExpectClosesCleanly(App& a) {
        auto code = a.Close();
        ASSERT_TRUE(code.has_value()) << "the program did not end on WM_CLOSE";
        EXPECT_EQ(*code, 0u) << "exit code";
    }

    std::optional<Child> closeButton;
    HWND counter_ = nullptr, status_ = nullptr;
};

// =============================================================================================
// Stage 1: the report, the failure line, and nothing changed anywhere in the data folder.

class StageOneTest;

struct StageOneCase {
    const char* label;
    const char* checks;
    DWORD error;                                  // the system's error the report must name
    std::wstring name = L"Copia diaria";          // the backup's name
    bool earlierBackup = true;                    // one of that name lies in the destination
    std::function<void(StageOneTest&)> prepare;   // before the program starts
    std::function<void(StageOneTest&)> afterOpen; // once the window is open
    bool dataCentre = true;                       // the option left on
};

void PrintTo(const StageOneCase& c, std::ostream* out) {
    *out << c.label;
}

class StageOneTest : public FaultTest, public ::testing::WithParamInterface<StageOneCase> {
public:
    void Prepare() override {
        FaultTest::Prepare();
        if (GetParam().earlierBackup) {
            ASSERT_TRUE(WriteAt(BackupFile(GetParam().name), "copia anterior\r\n"));
        }
        if (GetParam().prepare)
            GetParam().prepare(*this);
    }
    void TearDown() override {
        held.reset();
        FaultTest::TearDown();
    }
    using FaultTest::DatabasePath;
    using FaultTest::DestinationPath;
    std::optional<Held> held;
};

TEST_P(StageOneTest, ReportsTheFailureAndChangesNothing) {
    const StageOneCase& c = GetParam();
    Checks(c.checks);
    if (c.afterOpen)
        c.afterOpen(*this);
    if (!c.dataCentre) {
        // The option's image: a click turns it off.
        ASSERT_TRUE(ClickControl(app, ctl::ItemCheck));
        ASSERT_TRUE(RoundTrip(app));
    }
    ASSERT_FALSE(HasFailure());
    SetName(app, c.name);
    const TreePicture before = Picture(folder->Path());
    Press(app);
    if (c.earlierBackup)
        AnswerQuestion(app, c.name, IDYES);
    ExpectFailure(app, Number(c.error), c.dataCentre ? L"1/6" : L"1/1");
    // Looked at while a held file is still held, as before the press.
    EXPECT_TRUE(Unchanged(before, Picture(folder->Path())));
    held.reset();
    ExpectClosesCleanly(app);
}

INSTANTIATE_TEST_SUITE_P(
    FaultStageOne, StageOneTest,
    ::testing::Values(
        StageOneCase{
            "DatabaseHeldOpenWithoutSharing",
            "database held open without sharing: report names the sharing violation, "
            "\":(\" + failure line in red, data folder unchanged (earlier backup identical, "
            "no temporary, no tree, RS.log), exit 0",
            ERROR_SHARING_VIOLATION,
            L"Copia diaria",
            true,
            [](StageOneTest& t) { t.held.emplace(t.DatabasePath(), GENERIC_READ, 0); },
            {}},
        StageOneCase{
            "DatabaseOpenForWritingByAnotherProgram",
            "database open for writing by another program that shares everything: the copy "
            "refuses a source that may change under it (sharing violation), nothing changed, "
            "exit 0",
            ERROR_SHARING_VIOLATION,
            L"Copia diaria",
            true,
            [](StageOneTest& t) {
                t.held.emplace(t.DatabasePath(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
            },
            {}},
        StageOneCase{"DatabaseRemovedAfterStart",
                     "database deleted after the window opened: report (file not found), "
                     "failure line, nothing changed, exit 0",
                     ERROR_FILE_NOT_FOUND,
                     L"Copia diaria",
                     true,
                     {},
                     [](StageOneTest& t) { ASSERT_TRUE(RemoveTreeAt(t.DatabasePath())); }},
        StageOneCase{"DatabaseRemovedAfterStartWithoutDataCentre",
                     "data centre switched off, then the database deleted: report (file not "
                     "found), failure line names 1/1, nothing changed, exit 0",
                     ERROR_FILE_NOT_FOUND,
                     L"Copia diaria",
                     true,
                     {},
                     [](StageOneTest& t) { ASSERT_TRUE(RemoveTreeAt(t.DatabasePath())); },
                     false},
        StageOneCase{"DatabaseReplacedByAFolderAfterStart",
                     "a folder put where the database was after the window opened: report "
                     "(file not found), nothing changed, exit 0",
                     ERROR_FILE_NOT_FOUND,
                     L"Copia diaria",
                     true,
                     {},
                     [](StageOneTest& t) {
                         ASSERT_TRUE(RemoveTreeAt(t.DatabasePath()));
                         ASSERT_TRUE(MakeFoldersAt(t.DatabasePath()));
                     }},
        StageOneCase{"DestinationMissing",
                     "RS.log names a folder that does not exist: report (path not found), the "
                     "folder is not created, nothing changed, exit 0",
                     ERROR_PATH_NOT_FOUND,
                     L"Copia diaria",
                     false,
                     [](StageOneTest& t) { ASSERT_TRUE(RemoveTreeAt(t.DestinationPath())); },
                     {}},
        StageOneCase{"DestinationRemovedAfterStart",
                     "destination folder deleted after the window opened: report (path not "
                     "found), nothing re-created, exit 0",
                     ERROR_PATH_NOT_FOUND,
                     L"Copia diaria",
                     false,
                     {},
                     [](StageOneTest& t) { ASSERT_TRUE(RemoveTreeAt(t.DestinationPath())); }},
        StageOneCase{"DestinationIsAFile",
                     "RS.log names a file, not a folder: report (path not found), the file "
                     "unchanged, nothing else written, exit 0",
                     ERROR_PATH_NOT_FOUND,
                     L"Copia diaria",
                     false,
                     [](StageOneTest& t) {
                         ASSERT_TRUE(RemoveTreeAt(t.DestinationPath()));
                         ASSERT_TRUE(WriteAt(t.DestinationPath(), "no soy una carpeta\r\n"));
                     },
                     {}},
        StageOneCase{"DoubleQuoteInTheName",
                     "name with a double quote passes the name check, the copy then fails: "
                     "report (invalid name), failure line, nothing written, exit 0",
                     ERROR_INVALID_NAME,
                     L"Copia \"1\"",
                     false,
                     {},
                     {}}),
    [](const auto& info) { return std::string(info.param.label); });

// A database gone since the start, with the ".accdb" still there: that one is copied.
TEST_F(FaultTest, DatabaseRemovedButAccdbPresent) {
    Checks("\".mdb\" deleted after start, \".accdb\" present: the run copies the .accdb "
           "byte for byte, success, complete data centre, RS.log written");
    const std::string accdb = Pattern(100 * 1024, 77);
    ASSERT_TRUE(WriteAt(folder->Full(L"VQX Datos.accdb"), accdb));
    ASSERT_TRUE(RemoveTreeAt(DatabasePath()));
    Press(app);
    ExpectSuccess(app);
    ExpectNoMessage(app);
    const std::wstring name = TextOf(app, ctl::ItemText1);
    EXPECT_TRUE(Holds(BackupFile(name), accdb));
    ExpectCompleteTree();
    EXPECT_EQ(ReadAt(LogPath()), LogLine(Destination()));
    ExpectClosesCleanly(app);
}

// =============================================================================================
// Data centre: files that cannot be copied are passed over and listed afterwards.

class DataCentreTest;

struct LeftOutCase {
    const char* label;
    const char* checks;
    std::function<void(DataCentreTest&)> prepare;
    std::vector<std::wstring> leftOut; // relative to "VQX Datos"; empty: all of them
    // Files in the tree before the run (relative to it) that must stay as they were.
    std::map<std::wstring, std::string> earlier;
    std::function<void(DataCentreTest&)> verify; // what else must hold afterwards
};

void PrintTo(const LeftOutCase& c, std::ostream* out) {
    *out << c.label;
}

class DataCentreTest : public FaultTest, public ::testing::WithParamInterface<LeftOutCase> {
public:
    void Prepare() override {
        FaultTest::Prepare();
        for (const auto& [relative, bytes] : GetParam().earlier)
            ASSERT_TRUE(WriteAt(Tree() + L"\\" + relative, bytes));
        if (GetParam().prepare)
            GetParam().prepare(*this);
    }
    void TearDown() override {
        held.clear();
        FaultTest::TearDown();
    }
    using FaultTest::Source;
    using FaultTest::Tree;
    std::vector<std::unique_ptr<Held>> held;
};

TEST_P(DataCentreTest, ListsWhatWasLeftOutAndCopiesTheRest) {
    const LeftOutCase& c = GetParam();
    Checks(c.checks);
    const std::vector<std::wstring> leftOut = c.leftOut.empty() ? DataCentreFiles() : c.leftOut;
    Press(app);
    ExpectSuccess(app, Then::Message);
    const auto listed = ExpectLeftOut(app, leftOut.size());
    EXPECT_EQ(AsSet(listed), AsListed(leftOut));
    held.clear();

    const std::wstring name = TextOf(app, ctl::ItemText1);
    EXPECT_TRUE(SameBytes(BackupFile(name), DatabasePath()));
    std::set<std::wstring> expected = AsSet(DataCentreFiles());
    for (const auto& r : leftOut)
        expected.erase(r);
    for (const auto& [relative, bytes] : c.earlier)
        expected.insert(relative);
    EXPECT_EQ(ExpectFaithfulTree(Tree(), c.earlier), expected);
    EXPECT_EQ(TemporariesUnder(DestinationPath()), std::vector<std::wstring>{});
    if (c.verify)
        c.verify(*this);
    EXPECT_EQ(ReadAt(LogPath()), LogLine(Destination())) << "RS.log after a completed run";
    ExpectClosesCleanly(app);
}

INSTANTIATE_TEST_SUITE_P(
    FaultDataCentre, DataCentreTest,
    ::testing::Values(
        LeftOutCase{"TwoFilesLocked",
                    "a stage-2 and a stage-6 file held open without sharing: success line, one "
                    "message listing exactly those 2, every other file copied byte for byte, "
                    "no temporary, RS.log written",
                    [](DataCentreTest& t) {
                        for (const wchar_t* f :
                             {L"Parametros.ini", L"Informes\\Balance de situaci\u00f3n.txt"})
                            t.held.push_back(std::make_unique<Held>(t.Source(f), GENERIC_READ, 0));
                    },
                    {L"Parametros.ini", L"Informes\\Balance de situaci\u00f3n.txt"},
                    {},
                    {}},
        LeftOutCase{"TreeFolderBlockedByAFile",
                    "a file named \"Respaldo VQX\" in the destination: every data-centre file "
                    "listed, the file untouched, the database still copied, RS.log written",
                    [](DataCentreTest& t) { ASSERT_TRUE(WriteAt(t.Tree(), "bloqueo")); },
                    {},
                    {},
                    [](DataCentreTest& t) { EXPECT_TRUE(Holds(t.Tree(), "bloqueo")); }},
        LeftOutCase{
            "SubFolderBlockedByAFile",
            "a file named \"Archivo\" inside the tree: the files of that stage listed, "
            "the other stages copied, the file and an older copy of a file untouched",
            {},
            {L"Archivo\\Facturas 2024.dat"},
            {{L"Archivo", "bloqueo"}, {L"Parametros.ini", "[General]\r\nEmpresa=la de antes\r\n"}},
            {}},
        LeftOutCase{"FolderWhereAFileGoes",
                    "a folder stands under the name of a data-centre file: that file listed, "
                    "the folder left as it was (empty), the rest copied",
                    [](DataCentreTest& t) {
                        ASSERT_TRUE(MakeFoldersAt(t.Tree() + L"\\Plantillas\\Factura.rtf"));
                    },
                    {L"Plantillas\\Factura.rtf"},
                    {},
                    [](DataCentreTest& t) {
                        EXPECT_TRUE(IsFolderAt(t.Tree() + L"\\Plantillas\\Factura.rtf"));
                        EXPECT_EQ(ListAt(t.Tree() + L"\\Plantillas\\Factura.rtf"),
                                  std::vector<std::wstring>{});
                    }}),
    [](const auto& info) { return std::string(info.param.label); });

// The destination goes away (moved, as when a drive is unplugged) between two files of the
// data centre.
class FaultDestinationGoneTest : public FaultTest {
protected:
    Layout MakeLayout() override {
        Layout l = FaultTest::MakeLayout();
        // Enough files in "Archivo" that stage 3 lasts a while and the driver finds the program
        // in the middle of it.
        for (int i = 0; i < 200; ++i)
            l.files.push_back({L"VQX Datos\\Archivo\\Lote " + std::to_wstring(1000 + i) + L".dat",
                               Pattern(4096, 1000 + static_cast<std::uint32_t>(i))});
        return l;
    }
};

TEST_F(FaultDestinationGoneTest, DuringTheDataCentre) {
    Checks("destination moved away during stage 3 (program suspended, copies under way): the "
           "run fails in 3/6 with the error report naming the file it was at, the red line "
           "\"ERROR ERROR ERROR EN 3/6 COPIANDO EL ARCHIVO\", no other message, the folder not "
           "re-created, the moved copy faithful with nothing visible but finished copies, RS.log "
           "as it was");
    const std::wstring moved = DestinationPath() + L" (retirada)";
    const std::wstring name = TextOf(app, ctl::ItemText1);
    const std::optional<std::string> logBefore = ReadAt(LogPath());
    Press(app);
    bool gone = false;
    int looks = 0; // at the program held still in stage 3
    ASSERT_TRUE(ActWhileFrozen(
        window,
        [&] {
            if (Counter() != L"3/6")
                return false;
            ++looks;
            return !FilesUnder(Tree() + L"\\Archivo").empty();
        },
        [&] { gone = MoveFileW(DestinationPath().c_str(), moved.c_str()) != FALSE; }, kRunDeadline))
        << "stage 3 was never seen with a file copied (" << looks << " looks); counter \""
        << Narrow(Counter()) << "\"";
    ASSERT_TRUE(gone) << "cannot move the destination away: error " << GetLastError();

    // The report names the entry the run was at, whichever of the copies under way failed, and
    // the error of that copy (Wine says "file not found" where Windows says "path not found").
    ExpectFailure(app, std::nullopt, L"3/6", L"COPIANDO EL ARCHIVO", std::nullopt);
    ExpectNoMessage(app);
    const std::wstring movedTree = moved + L"\\Respaldo VQX";
    const auto copied = ExpectFaithfulTree(movedTree);
    EXPECT_LT(copied.size(), DataCentreFiles().size());
    std::cout << "  note: the destination went after " << copied.size() << " of "
              << DataCentreFiles().size() << " data-centre files (" << looks << " looks)\n";
    for (const auto& f : copied)
        EXPECT_EQ(f.rfind(L"Informes\\", 0), std::wstring::npos)
            << Narrow(f) << ": a stage after the failed one ran";
    EXPECT_FALSE(ExistsAt(DestinationPath())) << "the run made the destination again";
    EXPECT_TRUE(SameBytes(moved + L"\\" + name + L".vqxdb", DatabasePath()));
    // The copies under way when the folder went cannot take their names there. What they
    // leave is hidden, and is what the next run into that folder sweeps away (Windows would
    // not even let a folder go with files open in it: a stick pulled out is the real case).
    for (const std::wstring& t : TemporariesUnder(moved)) {
        const DWORD attributes = GetFileAttributesW(Extended(moved + L"\\" + t).c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN))
            << Narrow(t);
    }
    EXPECT_EQ(ReadAt(LogPath()), logBefore);
    ExpectClosesCleanly(app);
}

// =============================================================================================
// RS.log: odd contents at start, and a log that cannot be written after the backup.

class LogTest;

// What RS.log holds after the backup.
enum class LogAfter {
    OneLine,   // exactly the destination of the run and CR LF
    Unchanged, // what it held before (the write failed and was passed over)
    Either,    // one of the two, never a mix
};

enum class Hold { Never, FromStart, ForTheWrite };

struct LogCase {
    const char* label;
    const char* checks;
    std::function<void(LogTest&)> prepare;       // lays RS.log out (instead of one line D)
    std::function<std::wstring(LogTest&)> field; // the destination field at start
    Hold hold;                                   // RS.log held open without sharing
    LogAfter after;
};

void PrintTo(const LogCase& c, std::ostream* out) {
    *out << c.label;
}

std::string Ansi(const std::wstring& text) {
    const std::string line = LogLine(text);
    return line.substr(0, line.size() - 2); // without CR LF
}

class LogTest : public FaultTest, public ::testing::WithParamInterface<LogCase> {
public:
    void Prepare() override {
        FaultTest::Prepare();
        GetParam().prepare(*this);
        logBefore = Picture(LogPath());
        logBytesBefore = ReadAt(LogPath());
        if (GetParam().hold == Hold::FromStart)
            held.emplace(LogPath(), GENERIC_READ, 0);
    }
    void TearDown() override {
        held.reset();
        FaultTest::TearDown();
    }
    using FaultTest::Destination;
    using FaultTest::LogPath;
    std::wstring Other() const { return folder->Full(L"Copias antiguas") + L"\\"; }
    std::optional<Held> held;
    TreePicture logBefore;
    std::optional<std::string> logBytesBefore;
};

TEST_P(LogTest, TheBackupSucceedsAndTheProgramCarriesOn) {
    const LogCase& c = GetParam();
    Checks(c.checks);
    const std::wstring field = TextOf(app, ctl::ItemText2);
    const std::wstring expectedField = c.field(*this);
    EXPECT_EQ(field.size(), expectedField.size());
    EXPECT_TRUE(field == expectedField)
        << "destination field \"" << Narrow(field.substr(0, 300)) << "\"";
    if (field != Destination())
        PickDestination(app, Destination()); // as the user would with the "..." button
    if (c.hold == Hold::ForTheWrite)
        held.emplace(LogPath(), GENERIC_READ, 0);
    const std::wstring name = TextOf(app, ctl::ItemText1);
    Press(app);
    ExpectSuccess(app);
    ExpectNoMessage(app);
    EXPECT_TRUE(SameBytes(BackupFile(name), DatabasePath()));
    ExpectCompleteTree();
    held.reset();
    const auto logNow = ReadAt(LogPath());
    switch (c.after) {
    case LogAfter::OneLine:
        EXPECT_EQ(logNow, LogLine(Destination()));
        break;
    case LogAfter::Unchanged:
        EXPECT_TRUE(Unchanged(logBefore, Picture(LogPath()))) << "RS.log";
        break;
    case LogAfter::Either:
        EXPECT_TRUE(logNow == logBytesBefore || logNow == LogLine(Destination()))
            << "RS.log holds \"" << logNow.value_or("(nothing)") << "\"";
        std::cout << "  note: RS.log was "
                  << (logNow == logBytesBefore ? "left alone" : "rewritten") << ", "
                  << (GetFileAttributesW(LogPath().c_str()) & FILE_ATTRIBUTE_HIDDEN ? "hidden"
                                                                                    : "not hidden")
                  << "\n";
        break;
    }
    // The outcome stays on the screen after the failed write.
    EXPECT_EQ(Status(), kSuccess);
    ExpectClosesCleanly(app);
}

INSTANTIATE_TEST_SUITE_P(
    FaultLog, LogTest,
    ::testing::Values(
        LogCase{"Empty", "empty RS.log: field empty, backup succeeds, RS.log then holds one line D",
                [](LogTest& t) { ASSERT_TRUE(WriteAt(t.LogPath(), "")); },
                [](LogTest&) { return std::wstring(); }, Hold::Never, LogAfter::OneLine},
        LogCase{"BinaryWithNuls",
                "RS.log = D, NUL, binary bytes, CR LF, more: the field stops at the NUL (shows "
                "D), success, RS.log rewritten as one line",
                [](LogTest& t) {
                    ASSERT_TRUE(WriteAt(t.LogPath(), Ansi(t.Destination()) +
                                                         std::string("\0\x01\xff\xfe\x80\r\n", 7) +
                                                         Pattern(4096, 9)));
                },
                [](LogTest& t) { return t.Destination(); }, Hold::Never, LogAfter::OneLine},
        LogCase{"StartsWithNul",
                "RS.log starting with a NUL: field empty, success, RS.log rewritten",
                [](LogTest& t) {
                    std::string bytes = LogLine(t.Destination());
                    bytes.insert(bytes.begin(), '\0');
                    ASSERT_TRUE(WriteAt(t.LogPath(), bytes));
                },
                [](LogTest&) { return std::wstring(); }, Hold::Never, LogAfter::OneLine},
        LogCase{"TenMegabytesWithoutALineBreak",
                "10 MiB RS.log without a line break: start in time, field holds the first 32 KiB "
                "only, success, RS.log replaced by one line",
                [](LogTest& t) { ASSERT_TRUE(WriteAt(t.LogPath(), std::string(10u << 20, 'A'))); },
                [](LogTest&) { return std::wstring(32u * 1024u, L'A'); }, Hold::Never,
                LogAfter::OneLine},
        LogCase{"Hidden",
                "hidden RS.log: not read (field empty), success, no message; afterwards the "
                "log is either untouched or exactly one line D, never a mix",
                [](LogTest& t) {
                    ASSERT_TRUE(WriteAt(t.LogPath(), LogLine(t.Other())));
                    ASSERT_TRUE(SetFileAttributesW(t.LogPath().c_str(), FILE_ATTRIBUTE_HIDDEN));
                },
                [](LogTest&) { return std::wstring(); }, Hold::Never, LogAfter::Either},
        LogCase{"AFolder",
                "a folder named RS.log (with a file in it): field empty, success, no message, "
                "the folder and its file unchanged, outcome stays, exit 0",
                [](LogTest& t) {
                    ASSERT_TRUE(RemoveTreeAt(t.LogPath()));
                    ASSERT_TRUE(WriteAt(t.LogPath() + L"\\nota.txt", "nota\r\n"));
                },
                [](LogTest&) { return std::wstring(); }, Hold::Never, LogAfter::Unchanged},
        LogCase{"HeldOpenWithoutSharing",
                "RS.log held open without sharing from before the start: field empty, success, "
                "no message, RS.log unchanged, outcome stays, exit 0",
                [](LogTest& t) { ASSERT_TRUE(WriteAt(t.LogPath(), LogLine(t.Other()))); },
                [](LogTest&) { return std::wstring(); }, Hold::FromStart, LogAfter::Unchanged},
        LogCase{"HeldOpenWhileWritten",
                "RS.log read at start (field = its line), then held open without sharing: "
                "backup to another folder succeeds, the failed write is passed over silently, "
                "RS.log unchanged, outcome stays, exit 0",
                [](LogTest& t) { ASSERT_TRUE(WriteAt(t.LogPath(), LogLine(t.Other()))); },
                [](LogTest& t) { return t.Other(); }, Hold::ForTheWrite, LogAfter::Unchanged}),
    [](const auto& info) { return std::string(info.param.label); });

// The whole 32 KiB line of a 10 MiB log used as the destination, as it stands.
class FaultLogTooLongTest : public FaultTest {
protected:
    void Prepare() override {
        FaultTest::Prepare();
        ASSERT_TRUE(WriteAt(LogPath(), std::string(10u << 20, 'A')));
    }
};

TEST_F(FaultLogTooLongTest, TenMegabytesUsedAsTheDestination) {
    Checks("the 32 KiB line of a 10 MiB RS.log, not an absolute path, pressed as the destination: "
           "its border turns red, no message, nothing written anywhere (data folder and its "
           "parent unchanged), RS.log unchanged, exit 0");
    ASSERT_EQ(TextOf(app, ctl::ItemText2).size(), 32u * 1024u);
    const std::wstring parent = folder->Path().substr(0, folder->Path().find_last_of(L'\\'));
    const TreePicture before = Picture(folder->Path());
    const auto around = ListAt(parent);
    Press(app);
    ASSERT_TRUE(WaitUntil([&] { return BorderOf(app, ctl::ItemBorde2) == kRed; }))
        << "border 0x" << std::hex << BorderOf(app, ctl::ItemBorde2);
    ExpectNoMessage(app);
    EXPECT_TRUE(Unchanged(before, Picture(folder->Path()))) << "the run wrote into the data folder";
    for (const auto& name : ListAt(parent))
        if (std::find(around.begin(), around.end(), name) == around.end() && name.size() > 100)
            ADD_FAILURE() << "the run wrote " << Narrow(parent.substr(0, 40)) << "...\\"
                          << Narrow(name.substr(0, 40)) << "... (" << name.size() << " characters)";
    ExpectClosesCleanly(app);
}

// =============================================================================================
// Killed or closed in the middle of a big copy.

enum class Where { Database, DataCentre };
enum class How { Kill, WmClose, CloseButton };

struct BigCopyCase {
    const char* label;
    const char* checks;
    Where where;
    How how;
};

void PrintTo(const BigCopyCase& c, std::ostream* out) {
    *out << c.label;
}

class BigCopyTest : public FaultTest, public ::testing::WithParamInterface<BigCopyCase> {
protected:
    const std::wstring name = L"Copia";
    const std::string earlierDatabase = Pattern(8192, 3);
    const std::string earlierIni = "[General]\r\nEmpresa=la de antes\r\n";
    const std::wstring big = L"Plantillas\\Plantilla grande.dotx";

    void Prepare() override {
        FaultTest::Prepare();
        ASSERT_TRUE(WriteAt(BackupFile(name), earlierDatabase));
        ASSERT_TRUE(WriteAt(Tree() + L"\\Parametros.ini", earlierIni));
        if (GetParam().where == Where::Database)
            ASSERT_TRUE(WriteBigFile(DatabasePath(), kBigFile, 5));
        else
            ASSERT_TRUE(WriteBigFile(Source(big), kBigFile, 7));
    }
    std::map<std::wstring, std::string> Earlier() const {
        return {{L"Parametros.ini", earlierIni}};
    }
    // The temporary of the big copy, beside its target; empty while there is none.
    std::wstring BigTemporary() const {
        return TemporaryOf(GetParam().where == Where::Database ? BackupFile(name)
                                                               : Tree() + L"\\" + big);
    }

    // Starts a backup over the earlier one; returns once its big copy is running.
    void StartTheBigCopy() {
        SetName(app, name);
        log = ReadAt(LogPath());
        destinationBefore = Picture(DestinationPath());
        Press(app);
        AnswerQuestion(app, name, IDYES);
    }

    // After a run that ended during the data centre: the database and the stages before the
    // big file done, the big file and what follows it not.
    void ExpectStoppedInStageFour() {
        EXPECT_TRUE(SameBytes(BackupFile(name), DatabasePath()));
        const auto found = ExpectFaithfulTree(Tree(), Earlier());
        EXPECT_FALSE(found.count(big)) << "the big file is there under its real name";
        EXPECT_FALSE(ExistsAt(Tree() + L"\\Referencias")) << "stage 5 ran after the stop";
        EXPECT_FALSE(ExistsAt(Tree() + L"\\Informes")) << "stage 6 ran after the stop";
        for (const auto& f : DataCentreFiles()) {
            if (f.find(L'\\') == std::wstring::npos || StartsWith(f, L"Archivo\\")) {
                EXPECT_TRUE(found.count(f)) << Narrow(f) << " of stages 2 and 3 is missing";
            }
        }
    }

    std::optional<std::string> log;
    TreePicture destinationBefore;
};

class KillTest : public BigCopyTest {};

TEST_P(KillTest, TheNextRunReplacesTheLeftoverAndSucceeds) {
    Checks(GetParam().checks);
    StartTheBigCopy();
    ASSERT_FALSE(HasFailure());
    bool killed = false;
    ASSERT_TRUE(ActWhileFrozen(
        window, [&] { return IsFileAt(BigTemporary()); }, [&] { killed = Kill(app); },
        kRunDeadline))
        << "the big copy was never seen running; status \"" << Narrow(Status()) << "\"";
    ASSERT_TRUE(killed) << "TerminateProcess failed";
    expectCleanExit = false;

    // What the kill left: the temporary, nothing false under a real name. In the data centre
    // the copies that ran beside the big one may have left theirs too.
    EXPECT_TRUE(IsFileAt(BigTemporary())) << "the temporary of the killed copy is gone";
    if (GetParam().where == Where::Database)
        EXPECT_EQ(TemporariesUnder(DestinationPath()).size(), 1u);
    else
        EXPECT_GE(TemporariesUnder(DestinationPath()).size(), 1u);
    if (GetParam().where == Where::Database) {
        EXPECT_TRUE(Holds(BackupFile(name), earlierDatabase)) << "the earlier backup was touched";
        EXPECT_EQ(ExpectFaithfulTree(Tree(), Earlier()), std::set<std::wstring>{L"Parametros.ini"});
    } else {
        ExpectStoppedInStageFour();
    }
    EXPECT_EQ(ReadAt(LogPath()), log) << "RS.log changed by a run that did not finish";

    // The next run, over the leftovers.
    App next;
    ASSERT_TRUE(next.Start(*folder));
    ASSERT_NE(next.WaitForMainWindow(), nullptr);
    EXPECT_EQ(TextOf(next, ctl::ItemText2), Destination());
    SetName(next, name);
    Press(next);
    AnswerQuestion(next, name, IDYES);
    ExpectSuccess(next);
    ExpectNoMessage(next);
    EXPECT_TRUE(SameBytes(BackupFile(name), DatabasePath()));
    ExpectCompleteTree(Earlier());
    EXPECT_EQ(ReadAt(LogPath()), LogLine(Destination()));
    ExpectClosesCleanly(next);
}

INSTANTIATE_TEST_SUITE_P(
    FaultKill, KillTest,
    ::testing::Values(
        BigCopyCase{"DuringTheDatabaseCopy",
                    "process killed (TerminateProcess) while the 200 MiB database is copied: "
                    "earlier backup byte-identical, only the temporary left, no tree change, "
                    "RS.log unchanged; a second run removes the temporary, succeeds, leaves "
                    "no temporary, everything byte-identical",
                    Where::Database, How::Kill},
        BigCopyCase{"DuringTheDataCentre",
                    "process killed while a 200 MiB template (stage 4) is copied: database and "
                    "stages 2-3 copied, the big file only as a temporary, stages 5-6 not begun, "
                    "earlier files kept, RS.log unchanged; a second run completes it with no "
                    "temporary left",
                    Where::DataCentre, How::Kill}),
    [](const auto& info) { return std::string(info.param.label); });

class CloseTest : public BigCopyTest {};

TEST_P(CloseTest, EndsTheRunAtOnceAndWritesNothingAfter) {
    Checks(GetParam().checks);
    StartTheBigCopy();
    ASSERT_FALSE(HasFailure());
    if (GetParam().how == How::WmClose) {
        // Posted while the program stands still with the copy not yet complete: whatever the
        // speed of the disk, the copy is under way when the close arrives.
        bool posted = false;
        ASSERT_TRUE(ActWhileFrozen(
            window,
            [&] { return IsFileAt(BigTemporary()) && FileSizeAt(BigTemporary()) < kBigFile; },
            [&] { posted = PostMessageW(window, WM_CLOSE, 0, 0) != FALSE; }, kRunDeadline))
            << "the big copy was never seen running; status \"" << Narrow(Status()) << "\"";
        ASSERT_TRUE(posted);
    } else {
        ASSERT_TRUE(WaitUntil([&] { return IsFileAt(BigTemporary()); }, kRunDeadline))
            << "the big copy was never seen running; status \"" << Narrow(Status()) << "\"";
        ASSERT_TRUE(app.Click(*closeButton));
    }
    auto code = app.WaitForExit();
    ASSERT_TRUE(code.has_value()) << "still running after the close";
    EXPECT_EQ(*code, 0u);
    EXPECT_EQ(TemporariesUnder(DestinationPath()), std::vector<std::wstring>{});
    if (GetParam().where == Where::Database)
        EXPECT_TRUE(Unchanged(destinationBefore, Picture(DestinationPath())));
    else
        ExpectStoppedInStageFour();
    EXPECT_EQ(ReadAt(LogPath()), log) << "RS.log changed by a run that was closed";
}

INSTANTIATE_TEST_SUITE_P(
    FaultClose, CloseTest,
    ::testing::Values(
        BigCopyCase{"DatabaseCopyByWmClose",
                    "WM_CLOSE while the database is copied: exit 0 at once, destination "
                    "unchanged (earlier backup identical, no temporary), RS.log unchanged",
                    Where::Database, How::WmClose},
        BigCopyCase{"DataCentreByWmClose",
                    "WM_CLOSE while a stage-4 file is copied: exit 0, no temporary, the file "
                    "not under its name, stages 5-6 not begun, RS.log unchanged",
                    Where::DataCentre, How::WmClose},
        BigCopyCase{"DataCentreByCloseButton",
                    "the window's close button clicked while a stage-4 file is copied: exit 0, "
                    "no temporary, nothing after stage 4, RS.log unchanged",
                    Where::DataCentre, How::CloseButton}),
    [](const auto& info) { return std::string(info.param.label); });

// Leftovers in the destination: temporaries of killed runs, a hard link planted at the name
// older versions gave the temporary, and a read-only database whose copy is read-only too.
class FaultLeftoversTest : public FaultTest {
protected:
    const std::wstring name = L"Copia";
};

TEST_F(FaultLeftoversTest, OwnTemporariesGoAndALinkAtTheOldNameKeepsItsData) {
    Checks("hidden temporaries of killed runs beside the database copy, an older backup and a "
           "data-centre file: the run removes them, succeeds, copies faithfully; a hard link "
           "planted at \"<backup>.~rs\" (the old fixed temporary name) stays, and the file it "
           "links to keeps its bytes");
    const std::wstring leftovers[] = {BackupFile(name) + L".~rs00000f0012345678",
                                      BackupFile(L"Copia del lunes") + L".~rs0000abcd00000001",
                                      Tree() + L"\\Parametros.ini.~rs00001234DEADBEEF"};
    for (const auto& t : leftovers) {
        ASSERT_TRUE(WriteAt(t, "a medias"));
        ASSERT_TRUE(SetFileAttributesW(Extended(t).c_str(), FILE_ATTRIBUTE_HIDDEN));
    }
    const std::wstring other = DestinationPath() + L"\\ajeno.dat",
                       link = BackupFile(name) + L".~rs";
    ASSERT_TRUE(WriteAt(other, "datos de otro"));
    ASSERT_TRUE(CreateHardLinkW(Extended(link).c_str(), Extended(other).c_str(), nullptr))
        << "error " << GetLastError();
    SetName(app, name);
    Press(app);
    ExpectSuccess(app);
    ExpectNoMessage(app);
    EXPECT_TRUE(SameBytes(BackupFile(name), DatabasePath()));
    ExpectCompleteTree();
    EXPECT_TRUE(Holds(other, "datos de otro")) << "the backup reached another file through a link";
    EXPECT_TRUE(Holds(link, "datos de otro"));
    ExpectClosesCleanly(app);
}

TEST_F(FaultLeftoversTest, ReadOnlyDatabaseBackedUpTwice) {
    Checks("a read-only database backed up twice under the same name (Yes to replace): both "
           "runs succeed and the second copy replaces the first");
    ASSERT_TRUE(SetFileAttributesW(DatabasePath().c_str(), FILE_ATTRIBUTE_READONLY));
    SetName(app, name);
    Press(app);
    ExpectSuccess(app);
    ExpectNoMessage(app);
    EXPECT_TRUE(SameBytes(BackupFile(name), DatabasePath()));
    ExpectClosesCleanly(app);
    const DWORD attributes = GetFileAttributesW(Extended(BackupFile(name)).c_str());
    std::cout << "  note: the first copy is "
              << (attributes & FILE_ATTRIBUTE_READONLY ? "" : "not ") << "read-only\n";

    App next;
    ASSERT_TRUE(next.Start(*folder));
    ASSERT_NE(next.WaitForMainWindow(), nullptr);
    SetName(next, name);
    Press(next);
    AnswerQuestion(next, name, IDYES);
    ExpectSuccess(next);
    ExpectNoMessage(next);
    EXPECT_TRUE(SameBytes(BackupFile(name), DatabasePath()));
    EXPECT_EQ(TemporariesUnder(DestinationPath()), std::vector<std::wstring>{});
    ExpectClosesCleanly(next);
    SetFileAttributesW(DatabasePath().c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A close while the program asks whether to replace the earlier backup: no consent was given.
class FaultCloseQuestionTest : public FaultTest {
protected:
    const std::wstring name = L"Copia";
    void Prepare() override {
        FaultTest::Prepare();
        ASSERT_TRUE(WriteAt(BackupFile(name), "copia anterior\r\n"));
    }
};

TEST_F(FaultCloseQuestionTest, DuringTheOverwriteQuestion) {
    Checks("WM_CLOSE while the question \"¿Desea sobreescribir?\" is open: the program ends "
           "(exit 0) and writes nothing: earlier backup identical, no tree, RS.log unchanged");
    SetName(app, name);
    const TreePicture before = Picture(folder->Path());
    Press(app);
    auto box = app.WaitForMessageBox();
    ASSERT_TRUE(box.has_value()) << "no question";
    ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    auto code = app.WaitForExit(kRunDeadline);
    ASSERT_TRUE(code.has_value()) << "still running after the close";
    EXPECT_EQ(*code, 0u);
    EXPECT_TRUE(Unchanged(before, Picture(folder->Path())))
        << "a close during the question is no consent to replace the backup";
}

// A close while a start-up message is still open.
class CloseAtStartTest : public FaultTest, public ::testing::WithParamInterface<bool> {
protected:
    Layout MakeLayout() override {
        Layout l = FaultTest::MakeLayout();
        if (GetParam()) {
            l.database.reset(); // message 1, the window disabled
        } else {
            l.folders.clear(); // message 2, no data centre
            l.files.clear();
        }
        return l;
    }
};

TEST_P(CloseAtStartTest, EndsCleanly) {
    Checks(GetParam() ? "WM_CLOSE while the start-up message \"no database\" is open: exit 0, "
                        "nothing written"
                      : "WM_CLOSE while the start-up message \"no data centre\" is open: exit 0, "
                        "nothing written");
    const TreePicture before = Picture(folder->Path());
    auto box = app.WaitForMessageBox();
    ASSERT_TRUE(box.has_value()) << "no start-up message";
    EXPECT_EQ(box->title, kLoadTitle);
    ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    auto code = app.WaitForExit();
    ASSERT_TRUE(code.has_value()) << "still running after the close";
    EXPECT_EQ(*code, 0u);
    EXPECT_TRUE(Unchanged(before, Picture(folder->Path())));
}

INSTANTIATE_TEST_SUITE_P(FaultCloseAtStart, CloseAtStartTest, ::testing::Bool(),
                         [](const auto& info) {
                             return info.param ? "NoDatabaseMessage" : "NoDataCentreMessage";
                         });

// =============================================================================================
// Names and destinations.

enum class Entry { SetText, Paste, Typed, Clipboard };

// Names the window must refuse, tried one after another in the same window.
struct NameCase {
    const char* label;
    std::vector<std::pair<std::wstring, Entry>> names;
};

void PrintTo(Entry e, std::ostream* out) {
    *out << (e == Entry::Typed       ? "typed"
             : e == Entry::Paste     ? "pasted (EM_REPLACESEL)"
             : e == Entry::Clipboard ? "pasted from the clipboard (Ctrl+V)"
                                     : "set (WM_SETTEXT)");
}

void PrintTo(const NameCase& c, std::ostream* out) {
    *out << c.label;
}

class NameTest : public FaultTest {
protected:
    // Puts text into the name field the way a user or a paste would.
    void Enter(const std::wstring& text, Entry entry) {
        switch (entry) {
        case Entry::SetText:
            ASSERT_TRUE(SetEditText(app, ctl::ItemText1, text));
            break;
        case Entry::Paste:
            ASSERT_TRUE(PasteIntoEdit(app, ctl::ItemText1, text));
            break;
        case Entry::Typed:
            // The field selects its text when it takes the focus: typing replaces it.
            ASSERT_TRUE(ClickControl(app, ctl::ItemText1));
            ASSERT_TRUE(WaitForBorder(app, ctl::ItemBorde1, kFocusedBorder));
            ASSERT_TRUE(app.Type(text));
            ASSERT_TRUE(RoundTrip(app));
            break;
        case Entry::Clipboard:
            ASSERT_TRUE(SetClipboardText(text));
            ASSERT_TRUE(ClickControl(app, ctl::ItemText1));
            ASSERT_TRUE(WaitForBorder(app, ctl::ItemBorde1, kFocusedBorder));
            ASSERT_TRUE(app.PressKeys({VK_CONTROL, 'V'}));
            ASSERT_TRUE(RoundTrip(app));
            break;
        }
    }
};

class FaultNameTest : public NameTest {};

class RefusedNameTest : public NameTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(RefusedNameTest, OnlyTurnTheBorderRed) {
    const NameCase& c = GetParam();
    std::string tried;
    for (const auto& [name, entry] : c.names) {
        std::ostringstream how;
        PrintTo(entry, &how);
        if (!tried.empty())
            tried += ", ";
        tried += '"';
        tried += Narrow(name);
        tried += "\" ";
        tried += how.str();
    }
    for (char& ch : tried)
        if (static_cast<unsigned char>(ch) < 0x20)
            ch = '^'; // a control character, shown as such in the table
    Checks(tried + ": each refused, border red, no message, input panel stays, data folder "
                   "unchanged; afterwards a good name backs up, exit 0");
    const TreePicture before = Picture(folder->Path());
    for (const auto& [name, entry] : c.names) {
        SCOPED_TRACE("name \"" + Narrow(name) + "\"");
        Enter(name, entry);
        ASSERT_TRUE(WaitUntil([&] { return TextOf(app, ctl::ItemText1) == name; }))
            << "the field holds \"" << Narrow(TextOf(app, ctl::ItemText1)) << "\"";
        // Grey while the field has the focus: red after that is this press's doing.
        ASSERT_TRUE(ClickControl(app, ctl::ItemText1));
        ASSERT_TRUE(WaitForBorder(app, ctl::ItemBorde1, kFocusedBorder));
        Press(app);
        EXPECT_TRUE(WaitForBorder(app, ctl::ItemBorde1, kRed))
            << "border 0x" << std::hex << BorderOf(app, ctl::ItemBorde1);
        ExpectNoMessage(app);
        auto input = ControlById(app, ctl::FormDaFRM);
        ASSERT_TRUE(input.has_value());
        ASSERT_TRUE(input->visible) << "the backup ran";
        EXPECT_NE(BorderOf(app, ctl::ItemBorde2), kRed) << "the destination was marked too";
        EXPECT_TRUE(Unchanged(before, Picture(folder->Path())));
        if (HasFatalFailure())
            return;
    }
    SetName(app, L"Copia buena");
    ASSERT_TRUE(ClickControl(app, ctl::ItemText1));
    ASSERT_TRUE(WaitForBorder(app, ctl::ItemBorde1, kFocusedBorder));
    Press(app);
    ExpectSuccess(app);
    EXPECT_TRUE(SameBytes(BackupFile(L"Copia buena"), DatabasePath()));
    ExpectClosesCleanly(app);
}

INSTANTIATE_TEST_SUITE_P(FaultNames, RefusedNameTest,
                         ::testing::Values(NameCase{"ForbiddenCharactersTyped",
                                                    {{L"Copia<1", Entry::Typed},
                                                     {L"Copia|1", Entry::Typed},
                                                     {L"Copia\\1", Entry::Typed},
                                                     {L"Copia/1", Entry::Typed},
                                                     {L"Copia>1", Entry::Typed},
                                                     {L"Copia:1", Entry::Typed},
                                                     {L"Copia?1", Entry::Typed},
                                                     {L"Copia*1", Entry::Typed},
                                                     {L"\u00bfCopia1", Entry::Typed}}},
                                           NameCase{"ControlCharactersPastedOrSet",
                                                    {{L"Copia\x01"
                                                      L"1",
                                                      Entry::Paste},
                                                     {L"Copia\t1", Entry::Paste},
                                                     {L"Copia\x1f", Entry::SetText},
                                                     {L"\x1b"
                                                      L"Copia",
                                                      Entry::SetText}}},
                                           NameCase{"DeviceNames",
                                                    {{L"COM\u00b9", Entry::Typed},
                                                     {L"lPt9.vqxdb", Entry::Typed},
                                                     {L"NUL  .txt", Entry::Paste},
                                                     {L"Aux", Entry::SetText},
                                                     {L"con.", Entry::Typed}}}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(FaultNameTest, TypedControlCharactersAreNotTaken) {
    Checks("control characters typed (SendInput, unicode) into the name: the field drops them "
           "and the backup runs under the name it shows; no control character reaches the "
           "disk");
    Enter(L"Copia\x02\x05\x1f 1", Entry::Typed);
    // The typing is done once the last character has arrived.
    WaitUntil([&] { return EndsWith(TextOf(app, ctl::ItemText1), L"1"); });
    const std::wstring shown = TextOf(app, ctl::ItemText1);
    const bool hasControl =
        std::any_of(shown.begin(), shown.end(), [](wchar_t ch) { return ch < 0x20; });
    ASSERT_FALSE(hasControl) << "the field took a control character: the name must be refused";
    EXPECT_EQ(shown, L"Copia 1");
    Press(app);
    ExpectSuccess(app);
    ExpectNoMessage(app);
    EXPECT_TRUE(SameBytes(BackupFile(shown), DatabasePath()));
    ExpectClosesCleanly(app);
}

// Longer names than the field's 25 characters, entered in three ways.
class LongNameTest : public NameTest, public ::testing::WithParamInterface<Entry> {};

TEST_P(LongNameTest, TheFieldKeepsTwentyFiveAndTheBackupUsesThem) {
    const std::wstring forty = L"Respaldo mensual de la oficina central 1";
    ASSERT_EQ(forty.size(), 40u);
    const std::wstring kept = forty.substr(0, 25);
    std::ostringstream how;
    PrintTo(GetParam(), &how);
    Checks("40 characters " + how.str() +
           ": the field keeps the first 25, the backup file is named with exactly those");
    Enter(forty, GetParam());
    ASSERT_TRUE(WaitUntil([&] { return TextOf(app, ctl::ItemText1) == kept; }))
        << "the field holds \"" << Narrow(TextOf(app, ctl::ItemText1)) << "\"";
    Press(app);
    ExpectSuccess(app);
    ExpectNoMessage(app);
    EXPECT_TRUE(SameBytes(BackupFile(kept), DatabasePath()));
    EXPECT_EQ(AsSet(ListAt(DestinationPath())),
              (std::set<std::wstring>{kept + L".vqxdb", L"Respaldo VQX"}));
    ExpectClosesCleanly(app);
}

INSTANTIATE_TEST_SUITE_P(FaultNamesLength, LongNameTest,
                         ::testing::Values(Entry::Typed, Entry::Paste, Entry::Clipboard),
                         [](const auto& info) {
                             return info.param == Entry::Typed   ? "Typed"
                                    : info.param == Entry::Paste ? "Pasted"
                                                                 : "Clipboard";
                         });

// A name and a destination outside the ANSI code page.
class FaultNonAnsiTest : public NameTest {
protected:
    std::wstring DestinationPath() const override {
        return folder->Full(L"Copias A\u00f1o \u00f1and\u00fa \u65e5\u672c \u2713");
    }
};

TEST_F(FaultNonAnsiTest, NameAndDestinationOutsideTheCodePage) {
    Checks("name \"Año ñandú 日本 ✓\" typed and a destination \"Copias Año ñandú 日本 ✓\" "
           "from RS.log: field shows both, backup file and complete tree there, RS.log "
           "rewritten (UTF-8) and read back at the next start");
    const std::wstring name = L"A\u00f1o \u00f1and\u00fa \u65e5\u672c \u2713";
    EXPECT_EQ(TextOf(app, ctl::ItemText2), Destination());
    Enter(name, Entry::Typed);
    ASSERT_TRUE(WaitUntil([&] { return TextOf(app, ctl::ItemText1) == name; }))
        << "the field holds \"" << Narrow(TextOf(app, ctl::ItemText1)) << "\"";
    Press(app);
    ExpectSuccess(app);
    ExpectNoMessage(app);
    EXPECT_TRUE(SameBytes(BackupFile(name), DatabasePath()));
    ExpectCompleteTree();
    EXPECT_EQ(ReadAt(LogPath()), LogLine(Destination()));
    ExpectClosesCleanly(app);
    App next;
    ASSERT_TRUE(next.Start(*folder));
    ASSERT_NE(next.WaitForMainWindow(), nullptr);
    EXPECT_EQ(TextOf(next, ctl::ItemText2), Destination());
    ExpectClosesCleanly(next);
}

// A destination deeper than the classic 260-character limit.
class FaultLongDestinationTest : public FaultTest {
protected:
    std::wstring DestinationPath() const override {
        std::wstring path = folder->Full(L"Copias");
        for (int level = 1; level <= 7; ++level)
            path += L"\\Carpeta de copias con un nombre largo " + std::to_wstring(level);
        return path;
    }
    void TearDown() override {
        // The data folder's own clean-up does not reach this deep.
        if (app.Running())
            ExpectClosesCleanly(app);
        RemoveTreeAt(folder->Full(L"Copias"));
        FaultTest::TearDown();
    }
};

TEST_F(FaultLongDestinationTest, LongerThan260) {
    Checks("RS.log names a folder over 300 characters deep: field shows it whole, backup "
           "file and complete tree there, RS.log rewritten and read back at the next start");
    ASSERT_GT(Destination().size(), 300u);
    EXPECT_EQ(TextOf(app, ctl::ItemText2), Destination());
    const std::wstring name = TextOf(app, ctl::ItemText1);
    Press(app);
    ExpectSuccess(app);
    ExpectNoMessage(app);
    EXPECT_TRUE(SameBytes(BackupFile(name), DatabasePath()));
    ExpectCompleteTree();
    EXPECT_EQ(ReadAt(LogPath()), LogLine(Destination()));
    ExpectClosesCleanly(app);
    App next;
    ASSERT_TRUE(next.Start(*folder));
    ASSERT_NE(next.WaitForMainWindow(), nullptr);
    EXPECT_EQ(TextOf(next, ctl::ItemText2), Destination());
    ExpectClosesCleanly(next);
}

// =============================================================================================
// Mounted faults: a full disk and a read-only folder, provided by faults.sh as Wine drives.

// The drive ("X:") an environment variable names; empty when it is not set.
std::wstring DriveFrom(const wchar_t* variable) {
    wchar_t value[16];
    const DWORD n = GetEnvironmentVariableW(variable, value, 16);
    if (n == 0 || n >= 16)
        return {};
    std::wstring drive(value, n);
    while (!drive.empty() && drive.back() == L'\\')
        drive.pop_back();
    return drive;
}

constexpr const char* kNoMounts =
    "the disk cases need the drives that tests/e2e/faults.sh mounts (a small tmpfs and a "
    "read-only folder, named by VQX_FAULT_FULL_DRIVE, VQX_FAULT_RO_DRIVE and "
    "VQX_FAULT_RW_DRIVE): run them through that script";

// A destination on the small drive, which is emptied before and after each case.
class DiskFullTest : public FaultTest {
protected:
    void SetUp() override {
        drive = DriveFrom(L"VQX_FAULT_FULL_DRIVE");
        if (drive.empty())
            GTEST_SKIP() << kNoMounts;
        ASSERT_TRUE(IsFolderAt(drive + L"\\")) << Narrow(drive) << " is no drive";
        ASSERT_TRUE(EmptyFolderAt(drive + L"\\"));
        ULARGE_INTEGER total{};
        ASSERT_TRUE(GetDiskFreeSpaceExW((drive + L"\\").c_str(), nullptr, &total, nullptr));
        capacity = total.QuadPart;
        ASSERT_LT(capacity, 256ull << 20) << "the small drive is not small";
        FaultTest::SetUp();
    }
    void TearDown() override {
        FaultTest::TearDown();
        if (!drive.empty())
            EmptyFolderAt(drive + L"\\");
    }
    std::wstring DestinationPath() const override { return drive + L"\\Copias"; }

    std::wstring drive;
    std::uint64_t capacity = 0;
};

class FaultDiskFullTest : public DiskFullTest {
protected:
    const std::wstring name = L"Copia";
    const std::string earlier = Pattern(1u << 20, 31);
};

// The database is bigger than the whole drive.
class FaultDiskFullDatabaseTest : public FaultDiskFullTest {
protected:
    void Prepare() override {
        FaultDiskFullTest::Prepare();
        ASSERT_TRUE(WriteAt(BackupFile(name), earlier));
        ASSERT_TRUE(WriteBigFile(DatabasePath(), capacity + (4u << 20), 13));
    }
};

TEST_F(FaultDiskFullDatabaseTest, DuringTheDatabaseCopy) {
    Checks("a database bigger than the drive (tmpfs): report names \"disk full\" before a byte "
           "is written (the backup's folder never had a temporary: its time is unchanged), "
           "failure line, earlier backup byte-identical, no temporary, RS.log unchanged, exit 0");
    SetName(app, name);
    const TreePicture before = Picture(drive + L"\\");
    const std::uint64_t free = FreeBytes(drive + L"\\");
    const auto log = ReadAt(LogPath());
    // A temporary made and removed again would leave its mark on the folder's time.
    const std::wstring folder = BackupFile(name).substr(0, BackupFile(name).find_last_of(L'\\'));
    const auto folderTime = [&] {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        GetFileAttributesExW(folder.c_str(), GetFileExInfoStandard, &data);
        return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
               data.ftLastWriteTime.dwLowDateTime;
    };
    const std::uint64_t untouched = folderTime();
    Sleep(20); // so that a change, should there be one, shows in the time
    Press(app);
    AnswerQuestion(app, name, IDYES);
    ExpectFailure(app, Number(ERROR_DISK_FULL));
    EXPECT_EQ(folderTime(), untouched) << "the copy wrote into the folder before the report";
    EXPECT_TRUE(Unchanged(before, Picture(drive + L"\\")));
    EXPECT_TRUE(Holds(BackupFile(name), earlier));
    EXPECT_EQ(FreeBytes(drive + L"\\"), free) << "space still taken after the failed copy";
    EXPECT_EQ(ReadAt(LogPath()), log);
    ExpectClosesCleanly(app);
}

// A data-centre file bigger than the drive; the files after it still fit.
class FaultDiskFullDataCentreTest : public FaultDiskFullTest {
protected:
    const std::wstring big = L"Archivo\\Archivo grande.dat";
    void Prepare() override {
        FaultDiskFullTest::Prepare();
        ASSERT_TRUE(WriteBigFile(Source(big), capacity + (4u << 20), 17));
    }
};

TEST_F(FaultDiskFullDataCentreTest, DuringTheDataCentre) {
    Checks("disk full while a stage-3 file is copied: success line, one message listing "
           "exactly that file, the later stages still copied, no temporary, RS.log written");
    const std::wstring backupName = TextOf(app, ctl::ItemText1);
    Press(app);
    ExpectSuccess(app, Then::Message);
    const auto listed = ExpectLeftOut(app, 1);
    EXPECT_EQ(AsSet(listed), AsListed({big}));
    EXPECT_TRUE(SameBytes(BackupFile(backupName), DatabasePath()));
    std::set<std::wstring> expected = AsSet(DataCentreFiles());
    expected.erase(big);
    EXPECT_EQ(ExpectFaithfulTree(Tree()), expected);
    EXPECT_EQ(TemporariesUnder(drive + L"\\"), std::vector<std::wstring>{});
    EXPECT_EQ(ReadAt(LogPath()), LogLine(Destination()));
    ExpectClosesCleanly(app);
}

// A destination seen through a read-only bind mount; written beforehand through the other view.
class FaultDiskReadOnlyTest : public FaultTest {
protected:
    void SetUp() override {
        readOnly = DriveFrom(L"VQX_FAULT_RO_DRIVE");
        writable = DriveFrom(L"VQX_FAULT_RW_DRIVE");
        if (readOnly.empty() || writable.empty())
            GTEST_SKIP() << kNoMounts;
        ASSERT_TRUE(EmptyFolderAt(writable + L"\\"));
        ASSERT_TRUE(WriteAt(writable + L"\\Copias\\" + name + L".vqxdb", earlier));
        ASSERT_TRUE(IsFileAt(BackupFile(name))) << "the read-only view does not show the file";
        FaultTest::SetUp();
    }
    void TearDown() override {
        FaultTest::TearDown();
        if (!writable.empty())
            EmptyFolderAt(writable + L"\\");
    }
    void Prepare() override { ASSERT_TRUE(WriteAt(LogPath(), LogLine(Destination()))); }
    std::wstring DestinationPath() const override { return readOnly + L"\\Copias"; }

    const std::wstring name = L"Copia";
    const std::string earlier = Pattern(4096, 41);
    std::wstring readOnly, writable;
};

TEST_F(FaultDiskReadOnlyTest, Destination) {
    Checks("destination on a read-only mount: the question, then a report (access denied), "
           "failure line, earlier backup identical, nothing added, RS.log unchanged, exit 0");
    SetName(app, name);
    const TreePicture before = Picture(writable + L"\\");
    const auto log = ReadAt(LogPath());
    Press(app);
    AnswerQuestion(app, name, IDYES);
    ExpectFailure(app, Number(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(Unchanged(before, Picture(writable + L"\\")));
    EXPECT_TRUE(Holds(BackupFile(name), earlier));
    EXPECT_EQ(ReadAt(LogPath()), log);
    ExpectClosesCleanly(app);
}

} // namespace
} // namespace vqx::e2e
