// The backup run on the in-memory file system: its stages, the files on "disk" afterwards, the
// failures of the database stage and those passed over later, and a stop between files. Then
// the window's side of it: the status panel, the error report, the worker that does all the
// file work, and a close.
#include "engine/Respaldar.h"
#include "tests/driver/ControlIds.h"
#include "tests/fakes/Borrowed.h"
#include "tests/fakes/RecordingObserver.h"
#include "tests/fakes/World.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vqx {
namespace {

using engine::RunOutcome;
using fake::FakeFileSystem;
using fake::Op;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const std::string kData = "C:\\VQX";
const std::string kDest = "D:\\Copias\\";
const std::string kName = "Respaldo VQX (07-12-2026)";
const std::string kBackup = kDest + kName + ".vqxdb";
const std::string kTree = kDest + "Respaldo VQX\\";

void AddDataFolder(FakeFileSystem& fs) {
    fs.AddFile(kData + "\\VQX Datos.mdb", "base de datos");
    fs.AddFile(kData + "\\VQX Datos\\raiz.txt", "raiz");
    fs.AddFile(kData + "\\VQX Datos\\oculto.txt", "h", /*hidden=*/true);
    fs.AddFile(kData + "\\VQX Datos\\sistema.dat", "s", false, /*system=*/true);
    fs.AddFile(kData + "\\VQX Datos\\Archivo\\a1.pdf", "a1");
    fs.AddFile(kData + "\\VQX Datos\\Archivo\\a2.pdf", "a2");
    fs.AddFile(kData + "\\VQX Datos\\Archivo\\2025\\viejo.pdf", "nested");
    fs.AddFile(kData + "\\VQX Datos\\Plantillas\\p.docx", "p");
    fs.AddFile(kData + "\\VQX Datos\\Informes\\i.xlsx", "i");
    fs.AddFolder(kData + "\\VQX Datos\\Referencias");
    fs.AddFolder("D:\\Copias");
}

std::string Describe(const Error& e) {
    return std::to_string(e.number) + " | " + e.description + " | " + e.source;
}

class RespaldarTest : public ::testing::Test {
protected:
    RespaldarTest() { AddDataFolder(fs); }

    RunOutcome::Kind Run() {
        seen.events.clear();
        seen.leftOut.clear();
        return engine::Run(fake::LendFileSystem(fs), input, seen).kind;
    }

    FakeFileSystem fs;
    engine::RunInput input{.destination = kDest,
                           .name = kName,
                           .dataFolder = kData,
                           .dataCentreChosen = true,
                           .includeDataCentre = true};
    fake::RecordingObserver seen;
};

TEST_F(RespaldarTest, FullRunGoesThroughSixStagesAndCopiesPlainFilesOfOneLevel) {
    ASSERT_EQ(Run(), RunOutcome::Kind::Completed);
    // One line per stage, then its progress: bytes of the database, files of each folder.
    EXPECT_THAT(
        seen.events,
        ElementsAreArray(
            {"1/6 COPIANDO BASE DE DATOS", "13/13", "2/6 COPIANDO CENTRO DE DATOS", "0/1", "1/1",
             "3/6 COPIANDO EL ARCHIVO", "0/2", "1/2", "2/2", "4/6 COPIANDO LAS PLANTILLAS", "0/1",
             "1/1", "5/6 COPIANDO LAS REFERENCIAS", "0/0", "6/6 COPIANDO INFORMES", "0/1", "1/1"}));
    EXPECT_EQ(fs.Read(kBackup), "base de datos");
    EXPECT_EQ(fs.Read(kTree + "raiz.txt"), "raiz");
    EXPECT_EQ(fs.Read(kTree + "Archivo\\a1.pdf"), "a1");
    EXPECT_EQ(fs.Read(kTree + "Archivo\\a2.pdf"), "a2");
    EXPECT_EQ(fs.Read(kTree + "Plantillas\\p.docx"), "p");
    EXPECT_EQ(fs.Read(kTree + "Informes\\i.xlsx"), "i");
    EXPECT_TRUE(fs.IsFolder(kTree + "Referencias")); // empty source still gets its folder
    EXPECT_FALSE(fs.Find(kTree + "oculto.txt"));
    EXPECT_FALSE(fs.Find(kTree + "sistema.dat"));
    EXPECT_FALSE(fs.Find(kTree + "Archivo\\2025"));
    EXPECT_THAT(seen.leftOut, IsEmpty());
}

TEST_F(RespaldarTest, DatabaseChoiceReplacementAndPathJoining) {
    fs.AddFile(kData + "\\VQX Datos.accdb", "access");
    fs.AddFile(kBackup, "copia vieja");
    input.dataCentreChosen = input.includeDataCentre = false;
    ASSERT_EQ(Run(), RunOutcome::Kind::Completed);
    EXPECT_THAT(seen.events, ElementsAre("1/1 COPIANDO BASE DE DATOS", "13/13"));
    EXPECT_EQ(fs.Read(kBackup), "base de datos"); // .mdb wins, the older copy is replaced
    EXPECT_FALSE(fs.Find(kTree));

    fs.Remove(kData + "\\VQX Datos.mdb");
    ASSERT_EQ(Run(), RunOutcome::Kind::Completed);
    EXPECT_EQ(fs.Read(kBackup), "access"); // the fallback, still named .vqxdb

    // A destination without a trailing separator is used as a plain prefix.
    fs.AddFolder("C:\\");
    input = {.destination = "C:\\Copias",
             .name = "X",
             .dataFolder = kData,
             .dataCentreChosen = true,
             .includeDataCentre = true};
    ASSERT_EQ(Run(), RunOutcome::Kind::Completed);
    EXPECT_TRUE(fs.IsFile("C:\\CopiasX.vqxdb"));
    EXPECT_TRUE(fs.IsFolder("C:\\CopiasRespaldo VQX"));
    EXPECT_TRUE(fs.IsFile("C:\\CopiasRespaldo VQX\\Archivo\\a1.pdf"));
}

TEST(RespaldarStageOneTest, EachFailureEndsTheRunWithItsError) {
    const Error denied = FakeFileSystem::MakeError(errnum::AccessDenied, "CopyFile");
    const Error odd{-2146828218, "Permiso denegado", "Scripting.FileSystemObject"};
    struct Case {
        const char* what;
        std::function<void(FakeFileSystem&)> arrange;
        Error expected;
        bool serviceFails = false;
        bool copyStarts = true;
    };
    const std::vector<Case> cases = {
        {"service object", [](FakeFileSystem&) {}, odd, true},
        {"test of .mdb",
         [&](FakeFileSystem& fs) { fs.FailOn(Op::Exists, kData + "\\VQX Datos.mdb", odd); }, odd},
        {"test of .accdb",
         [&](FakeFileSystem& fs) {
             fs.Remove(kData + "\\VQX Datos.mdb");
             fs.FailOn(Op::Exists, kData + "\\VQX Datos.accdb", odd);
         },
         odd},
        {"database copy", [&](FakeFileSystem& fs) { fs.FailOn(Op::CopyFile, kBackup, denied); },
         denied},
        {"no database at all", [](FakeFileSystem& fs) { fs.Remove(kData + "\\VQX Datos.mdb"); },
         FakeFileSystem::MakeError(errnum::FileNotFound, "CopyFile")},
        // Known before a byte is written: the earlier backup does not count as room.
        {"no room on the destination", [](FakeFileSystem& fs) { fs.SetFreeSpace(1); },
         FakeFileSystem::MakeError(errnum::DiskFull, "CopyFile"), false, false},
        {"a 4 GiB database for FAT32",
         [](FakeFileSystem& fs) {
             fs.SetFreeSpace(std::uint64_t{1} << 40);
             fs.SetFileSystem("FAT32");
             fs.SetSize(kData + "\\VQX Datos.mdb", std::uint64_t{1} << 32);
         },
         FakeFileSystem::MakeError(errnum::FileTooLarge, "CopyFile"), false, false},
        {"the copy read back differs", [](FakeFileSystem& fs) { fs.CorruptOnTheWay(kBackup); },
         FakeFileSystem::MakeError(errnum::Crc, "CopyFile")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeFileSystem fs;
        fs.AddFile(kData + "\\VQX Datos.mdb", "db");
        fs.AddFile(kData + "\\VQX Datos\\raiz.txt", "r");
        fs.AddFile(kBackup, "buena");
        c.arrange(fs);
        FileSystemFactory factory = fake::LendFileSystem(fs);
        if (c.serviceFails)
            factory = [&] { return Result<std::unique_ptr<FileSystem>>(odd); };
        fake::RecordingObserver seen;

        const RunOutcome outcome = engine::Run(factory, {kDest, kName, kData, true, true}, seen);
        EXPECT_EQ(outcome.kind, RunOutcome::Kind::Failed);
        EXPECT_EQ(Describe(outcome.error), Describe(c.expected));
        EXPECT_EQ(outcome.entry, ""); // no enumeration has started
        ASSERT_FALSE(seen.events.empty());
        EXPECT_EQ(seen.events[0], "1/6 COPIANDO BASE DE DATOS");
        EXPECT_LE(seen.events.size(), 2u);    // at most the database copy after it
        EXPECT_EQ(fs.Read(kBackup), "buena"); // the earlier backup is untouched
        EXPECT_FALSE(fs.Find(kTree));
        if (!c.copyStarts) {
            EXPECT_THAT(fs.calls, testing::Not(Contains(testing::StartsWith("CopyFile"))));
        }
    }
    // Where the volume cannot say, or the file fits, the copy goes ahead.
    FakeFileSystem fs;
    fs.AddFile(kData + "\\VQX Datos.mdb", "db");
    fs.AddFolder("D:\\Copias");
    fs.SetFileSystem("exFAT");
    fs.SetSize(kData + "\\VQX Datos.mdb", std::uint64_t{5} << 30);
    fake::RecordingObserver seen;
    EXPECT_EQ(engine::Run(fake::LendFileSystem(fs), {kDest, kName, kData, false, false}, seen).kind,
              RunOutcome::Kind::Completed);
}

TEST_F(RespaldarTest, LaterFailuresArePassedOverAndListed) {
    const Error locked = FakeFileSystem::MakeError(errnum::SharingViolation, "CopyFile");
    // A copy whose data does not reach the disk never takes its name.
    fs.FailOn(Op::Flush, kTree + "raiz.txt",
              FakeFileSystem::MakeError(errnum::DiskFull, "CopyFile"));
    fs.Lock(kData + "\\VQX Datos\\Archivo\\a1.pdf");
    // Filled for a moment by a copy beside it, the disk had room again later: tried once more.
    fs.FailCopyMidway(kTree + "Archivo\\a2.pdf", 1,
                      FakeFileSystem::MakeError(errnum::DiskFull, "CopyFile"), 1);
    // Read back from the device, a copy differs from its source: it never takes its name.
    fs.AddFile(kData + "\\VQX Datos\\Archivo\\a3.pdf", "a3");
    fs.CorruptOnTheWay(kTree + "Archivo\\a3.pdf");
    fs.FailOn(Op::MakeFolder, kTree + "Plantillas",
              FakeFileSystem::MakeError(errnum::AccessDenied, "MakeFolder"));
    fs.FailOn(Op::Exists, kData + "\\VQX Datos\\Informes\\*.*",
              FakeFileSystem::MakeError(errnum::AccessDenied, "Exists"));
    fs.FailOn(Op::Exists, kTree + "Referencias",
              FakeFileSystem::MakeError(errnum::AccessDenied, "Exists"));

    ASSERT_EQ(Run(), RunOutcome::Kind::Completed);
    std::vector<std::string> paths;
    for (const auto& f : seen.leftOut)
        paths.push_back(f.path);
    EXPECT_THAT(paths, ElementsAre("VQX Datos\\raiz.txt", "VQX Datos\\Archivo\\a1.pdf",
                                   "VQX Datos\\Archivo\\a3.pdf", "VQX Datos\\Plantillas\\p.docx",
                                   "VQX Datos\\Informes\\*.*"));
    EXPECT_EQ(seen.leftOut[0].reason.number, errnum::DiskFull);
    EXPECT_FALSE(fs.Find(kTree + "raiz.txt"));
    EXPECT_EQ(seen.leftOut[1].reason.number, locked.number);
    EXPECT_EQ(seen.leftOut[2].reason.number, errnum::Crc);
    EXPECT_FALSE(fs.Find(kTree + "Archivo\\a3.pdf"));
    EXPECT_EQ(fs.Read(kTree + "Archivo\\a2.pdf"), "a2"); // the rest copied, a2 on its second try
    // A failed existence test still leads to the folder being made.
    EXPECT_TRUE(fs.IsFolder(kTree + "Referencias"));
    // The last stage ends with nothing to do, since its listing failed.
    EXPECT_THAT(std::vector(seen.events.end() - 2, seen.events.end()),
                ElementsAre("6/6 COPIANDO INFORMES", "0/0"));
}

TEST_F(RespaldarTest, SecondRunKeepsOlderCopiesAndAddsNewFiles) {
    ASSERT_EQ(Run(), RunOutcome::Kind::Completed);
    fs.AddFile(kData + "\\VQX Datos\\Archivo\\a1.pdf", "a1 cambiado");
    fs.AddFile(kData + "\\VQX Datos\\Archivo\\a3.pdf", "nuevo");
    fs.AddFile(kData + "\\VQX Datos\\Archivo\\a4.pdf", "nuevo");
    // A file that appears in the backup between the listing and the copy's naming keeps its
    // data: the copy never replaces.
    fs.OnCopy([this](const std::string& source) {
        if (source.ends_with("a4.pdf"))
            fs.AddFile(kTree + "Archivo\\A4.PDF", "ajeno");
    });
    fs.calls.clear();
    ASSERT_EQ(Run(), RunOutcome::Kind::Completed);
    EXPECT_EQ(fs.Read(kTree + "Archivo\\a1.pdf"), "a1");
    EXPECT_EQ(fs.Read(kTree + "Archivo\\a3.pdf"), "nuevo");
    EXPECT_EQ(fs.Read(kTree + "Archivo\\a4.pdf"), "ajeno");
    EXPECT_THAT(seen.leftOut, IsEmpty()); // files already there are not failures
    // Folders that exist are not made again; each target folder is listed once, and what it
    // holds is not read again.
    std::vector<std::string> copies;
    for (const auto& c : fs.calls) {
        EXPECT_EQ(c.rfind("MakeFolder", 0), std::string::npos) << c;
        if (c.rfind("CopyFile " + kData + "\\VQX Datos\\", 0) == 0)
            copies.push_back(c);
    }
    EXPECT_THAT(copies,
                ElementsAre(::testing::HasSubstr("\\a3.pdf "), ::testing::HasSubstr("\\a4.pdf ")));
    EXPECT_EQ(std::count_if(fs.calls.begin(), fs.calls.end(),
                            [](const std::string& c) { return c.starts_with("ListFiles "); }),
              5);
}

TEST_F(RespaldarTest, AStopBetweenDataCentreFilesStartsNoFurtherFile) {
    // After the first file of "Archivo".
    seen.stop = [this] { return !seen.events.empty() && seen.events.back() == "1/2"; };
    EXPECT_EQ(Run(), RunOutcome::Kind::Stopped);
    EXPECT_TRUE(fs.IsFile(kTree + "Archivo\\a1.pdf"));
    EXPECT_FALSE(fs.Find(kTree + "Archivo\\a2.pdf"));
    EXPECT_FALSE(fs.Find(kTree + "Plantillas"));
    EXPECT_EQ(seen.events.back(), "1/2");
    EXPECT_THAT(seen.events, Contains("3/6 COPIANDO EL ARCHIVO"));
    EXPECT_THAT(seen.events, ::testing::Not(Contains("4/6 COPIANDO LAS PLANTILLAS")));
}

// --- The window's side: proFN_Respaldar shows the run in the status panel -----------------

struct Window : fake::World {
    Window() {
        AddDataFolder(fs);
        app.ItemCheck.SetTag("ON");
    }
    bool Run(const std::string& D = kDest, const std::string& N = kName) {
        host.log.clear();
        return app.proFN_Respaldar(D, N);
    }
};

TEST(RespaldarWindowTest, TheStatusPanelShowsEachStageAndPaintsItAtOnce) {
    const std::vector<std::string> six = {
        "EstadoFRM.Visible=1", "EstadoLBL1.Caption=1/6",
        "EstadoLBL1.Repaint",  "EstadoLBL2.Caption=COPIANDO BASE DE DATOS",
        "EstadoLBL2.Repaint",  "EstadoLBL1.Caption=2/6",
        "EstadoLBL1.Repaint",  "EstadoLBL2.Caption=COPIANDO CENTRO DE DATOS",
        "EstadoLBL2.Repaint",  "EstadoLBL1.Caption=3/6",
        "EstadoLBL1.Repaint",  "EstadoLBL2.Caption=COPIANDO EL ARCHIVO",
        "EstadoLBL2.Repaint",  "EstadoLBL1.Caption=4/6",
        "EstadoLBL1.Repaint",  "EstadoLBL2.Caption=COPIANDO LAS PLANTILLAS",
        "EstadoLBL2.Repaint",  "EstadoLBL1.Caption=5/6",
        "EstadoLBL1.Repaint",  "EstadoLBL2.Caption=COPIANDO LAS REFERENCIAS",
        "EstadoLBL2.Repaint",  "EstadoLBL1.Caption=6/6",
        "EstadoLBL1.Repaint",  "EstadoLBL2.Caption=COPIANDO INFORMES",
        "EstadoLBL2.Repaint",
    };
    const auto databaseOnly = [](const std::string& counter) {
        return std::vector<std::string>{
            "EstadoFRM.Visible=1", "EstadoLBL1.Caption=" + counter, "EstadoLBL1.Repaint",
            "EstadoLBL2.Caption=COPIANDO BASE DE DATOS", "EstadoLBL2.Repaint"};
    };
    struct Case {
        const char* tag;
        bool visible; // the option's own visibility setting
        std::vector<std::string> shown;
        bool dataCentre;
    };
    const std::vector<Case> cases = {
        {"ON", true, six, true},
        {"OFF", true, databaseOnly("1/1"), false},
        {"OX", true, databaseOnly("1/1"), false},
        {"on", true, databaseOnly("1/1"), false}, // the tag is compared exactly
        {"ON", false, databaseOnly("1/6"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tag) + (c.visible ? " visible" : " hidden"));
        Window w;
        w.app.ItemCheck.SetTag(c.tag);
        w.app.ItemCheck.SetVisible(c.visible);
        ASSERT_TRUE(w.Run());
        EXPECT_EQ(w.host.Only("Estado"), c.shown);
        EXPECT_EQ(w.host.log.at(1), "FormDaFRM.Visible=0"); // input panel hidden after status
        EXPECT_EQ(w.fs.Read(kBackup), "base de datos");
        EXPECT_EQ(w.fs.IsFolder(kTree + "Informes"), c.dataCentre);
        // Every file operation of the run was the worker's.
        EXPECT_FALSE(w.fs.calls.empty());
        EXPECT_THAT(w.fs.windowCalls, IsEmpty());
        EXPECT_THAT(w.app.LeftOut(), IsEmpty());
        EXPECT_THAT(w.shell.messages, IsEmpty());
    }
}

TEST(RespaldarWindowTest, AStageOneFailureGivesTheSixLineReportAndKeepsTheStage) {
    Window w;
    w.fs.FailOn(Op::CopyFile, kBackup, Error{-2147024891, "Acceso denegado.", "CopyFile"});
    EXPECT_FALSE(w.Run());
    ASSERT_EQ(w.shell.messages.size(), 1u);
    EXPECT_EQ(w.shell.messages[0].text, "Número: -2147024891\r\nDescripción: Acceso denegado."
                                        "\r\n\r\nFuente: CopyFile\r\nVentana: Principal       "
                                        "    Proceso : proFN_Respaldar\r\nDetalle : ");
    EXPECT_EQ(w.shell.messages[0].title, "Ha ocurrido un error");
    EXPECT_EQ(w.shell.messages[0].style, 0);
    EXPECT_EQ(w.app.EstadoLBL1.Caption(), "1/6");
    EXPECT_EQ(w.app.EstadoLBL2.Caption(), "COPIANDO BASE DE DATOS");
    EXPECT_FALSE(w.app.Running());
}

TEST(RespaldarWindowTest, ACloseDuringTheCopyHidesTheWindowAndCancelsTheCopy) {
    Window w;
    w.app.ItemCheck.SetTag("OFF");
    w.fs.AddFile(kBackup, "buena");
    w.fs.SetCopyChunks(100);
    // On the worker, as the copy starts: the window thread handles two closes meanwhile.
    w.fs.OnCopy([&w](const std::string&) {
        for (int close = 0; close < 2; ++close)
            w.shell.OnWindowThread([&w] { EXPECT_FALSE(w.app.QueryClose()); });
    });
    EXPECT_FALSE(w.Run());
    EXPECT_EQ(w.host.Only("Hide").size(), 1u); // at once, and once
    EXPECT_TRUE(w.app.ClosePending());
    EXPECT_THAT(w.shell.messages, IsEmpty());
    EXPECT_EQ(w.fs.Read(kBackup), "buena");
    EXPECT_THAT(w.fs.List(), ::testing::Not(Contains(::testing::HasSubstr(".~rs"))));
    EXPECT_FALSE(w.app.Running());
    EXPECT_TRUE(w.app.QueryClose()); // once the run has unwound the window may go
}

TEST(APLwAPPTest, ControlTreeAndArrays) {
    fake::FakeShell shell;
    FakeFileSystem fs;
    APLwAPP app(fake::LendFileSystem(fs), shell);
    std::vector<std::string> names;
    for (const auto& c : app.Controls())
        names.push_back(c->FullName() + "<" + (c->Container() ? c->Container()->Name() : "") + ">");
    EXPECT_THAT(names, ElementsAreArray({
                           "FormDaFRM<>",
                           "ItemText(2)<FormDaFRM>",
                           "ItemText(1)<FormDaFRM>",
                           "BotonRespaldar<FormDaFRM>",
                           "BotonDescargar<FormDaFRM>",
                           "ItemCheck<FormDaFRM>",
                           "ItemTitulo(2)<FormDaFRM>",
                           "ItemBorde(2)<FormDaFRM>",
                           "ItemTitulo(1)<FormDaFRM>",
                           "ItemBorde(1)<FormDaFRM>",
                           "ItemCheckLBL<FormDaFRM>",
                           "EstadoFRM<>",
                           "EstadoLBL2<EstadoFRM>",
                           "EstadoLBL1<EstadoFRM>",
                           "FormCerrar<>",
                           "ico48x48<>",
                           "ico32x32<>",
                           "FormBarraTituloTXT<>",
                           "FormBarraTitulo<>",
                           "FormMCO<>",
                       }));
    // Each name and index reaches its own control, and only the handled events are wired.
    std::vector<std::string> handled;
    for (const auto& c : app.Controls()) {
        auto& e = c->Events();
        const std::string events =
            std::string(e.click ? "click " : "") + (e.gotFocus ? "gotFocus " : "") +
            (e.lostFocus ? "lostFocus " : "") + (e.mouseMove ? "mouseMove " : "");
        if (!events.empty())
            handled.push_back(c->FullName() + ": " + events);
    }
    EXPECT_THAT(handled,
                ElementsAre("ItemText(2): gotFocus lostFocus ", "ItemText(1): gotFocus lostFocus ",
                            "BotonRespaldar: click ", "BotonDescargar: click ", "ItemCheck: click ",
                            "ItemCheckLBL: click ", "FormCerrar: click ",
                            "FormBarraTituloTXT: mouseMove "));
    for (Campo i : kCampos)
        for (const Control* c : {&app.ItemText(i), &app.ItemTitulo(i), &app.ItemBorde(i)})
            EXPECT_EQ(c->Index(), static_cast<int>(i)) << c->FullName();
    EXPECT_EQ(app.ItemText(Campo::Nombre).Name(), "ItemText");
    EXPECT_EQ(app.ItemTitulo(Campo::Destino).Name(), "ItemTitulo");
    EXPECT_EQ(app.ItemBorde(Campo::Destino).Name(), "ItemBorde");
    // Tab indices run from 0 to 12 without gaps.
    std::vector<int> tabs;
    for (const auto& c : app.Controls())
        if (c->TabIndex() >= 0)
            tabs.push_back(c->TabIndex());
    std::sort(tabs.begin(), tabs.end());
    EXPECT_THAT(tabs, ElementsAre(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12));
    EXPECT_EQ(app.ItemText(Campo::Nombre).Settings().maxLength, 25);
    EXPECT_TRUE(app.ItemText(Campo::Destino).Settings().locked);
    // The ids the tests and the bench know the child windows by are their places here.
    ASSERT_EQ(std::size(ctl::kAll), app.Controls().size());
    for (const ctl::Named& n : ctl::kAll) {
        const Control* c = app.Find(n.fullName);
        ASSERT_NE(c, nullptr) << n.fullName;
        EXPECT_EQ(c->Order(), n.id) << n.fullName;
    }
}

} // namespace
} // namespace vqx
