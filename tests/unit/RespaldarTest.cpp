// The backup run on the in-memory file system: stages, captions, the error report, the
// files on "disk" afterwards, and a close that arrives while the run yields.
#include "platform/Borrowed.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeShell.h"
#include "tests/fakes/RecordingHost.h"
#include "window/APLwAPP.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vqx {
namespace {

using fake::FakeFileSystem;
using fake::Op;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const std::string kData = "C:\\VQX";
const std::string kDest = "D:\\Copias\\";
const std::string kName = "Respaldo VQX (07-12-2026)";
const std::string kBackup = kDest + kName + ".vqxdb";

class RespaldarTest : public ::testing::Test {
protected:
    RespaldarTest() : app(LendFileSystem(fs), shell) {
        app.AttachHost(&host);
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
        app.ItemCheck.SetTag("ON");
    }

    bool Run(const std::string& D = kDest, const std::string& N = kName) {
        host.log.clear();
        return app.proFN_Respaldar(D, N);
    }

    FakeFileSystem fs;
    fake::FakeShell shell;
    fake::RecordingHost host;
    APLwAPP app;
};

TEST_F(RespaldarTest, FullRunShowsSixStagesAndCopiesPlainFilesOfOneLevel) {
    ASSERT_TRUE(Run());
    EXPECT_THAT(host.Only("Estado"),
                ElementsAreArray({
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
                }));
    EXPECT_EQ(host.log.at(1), "FormDaFRM.Visible=0"); // input panel hidden after status shown
    EXPECT_EQ(fs.Read(kBackup), "base de datos");
    const std::string r = "D:\\Copias\\Respaldo VQX\\";
    EXPECT_EQ(fs.Read(r + "raiz.txt"), "raiz");
    EXPECT_EQ(fs.Read(r + "Archivo\\a1.pdf"), "a1");
    EXPECT_EQ(fs.Read(r + "Archivo\\a2.pdf"), "a2");
    EXPECT_EQ(fs.Read(r + "Plantillas\\p.docx"), "p");
    EXPECT_EQ(fs.Read(r + "Informes\\i.xlsx"), "i");
    EXPECT_TRUE(fs.IsFolder(r + "Referencias")); // empty source still gets its folder
    EXPECT_FALSE(fs.Find(r + "oculto.txt"));
    EXPECT_FALSE(fs.Find(r + "sistema.dat"));
    EXPECT_FALSE(fs.Find(r + "Archivo\\2025"));
    EXPECT_THAT(app.LeftOut(), IsEmpty());
    EXPECT_THAT(shell.messages, IsEmpty());
    EXPECT_EQ(shell.yields, 5); // one per data-centre entry
}

struct OptionCase {
    const char* tag;
    bool visible;
    const char* counter;
};

class RespaldarOptionTest : public RespaldarTest,
                            public ::testing::WithParamInterface<OptionCase> {};

TEST_P(RespaldarOptionTest, OnlyTheDatabaseUnlessTheOptionIsOnAndVisible) {
    app.ItemCheck.SetTag(GetParam().tag);
    app.ItemCheck.SetVisible(GetParam().visible);
    ASSERT_TRUE(Run());
    EXPECT_THAT(host.Only("EstadoLBL"),
                ElementsAre(std::string("EstadoLBL1.Caption=") + GetParam().counter,
                            "EstadoLBL1.Repaint", "EstadoLBL2.Caption=COPIANDO BASE DE DATOS",
                            "EstadoLBL2.Repaint"));
    EXPECT_EQ(fs.Read(kBackup), "base de datos");
    EXPECT_FALSE(fs.Find("D:\\Copias\\Respaldo VQX"));
}

INSTANTIATE_TEST_SUITE_P(Tags, RespaldarOptionTest,
                         ::testing::Values(OptionCase{"OFF", true, "1/1"},
                                           OptionCase{"OX", true, "1/1"},
                                           OptionCase{"on", true, "1/1"},
                                           OptionCase{"ON", false, "1/6"}));

TEST_F(RespaldarTest, DatabaseChoiceAndPathJoining) {
    fs.AddFile(kData + "\\VQX Datos.accdb", "access");
    app.ItemCheck.SetTag("OFF");
    ASSERT_TRUE(Run());
    EXPECT_EQ(fs.Read(kBackup), "base de datos"); // .mdb wins over .accdb

    fs.Remove(kData + "\\VQX Datos.mdb");
    ASSERT_TRUE(Run());
    EXPECT_EQ(fs.Read(kBackup), "access"); // the fallback, still named .vqxdb

    // A destination without a trailing separator is used as a plain prefix.
    fs.AddFolder("C:\\");
    app.ItemCheck.SetTag("ON");
    ASSERT_TRUE(Run("C:\\Copias", "X"));
    EXPECT_TRUE(fs.IsFile("C:\\CopiasX.vqxdb"));
    EXPECT_TRUE(fs.IsFolder("C:\\CopiasRespaldo VQX"));
    EXPECT_TRUE(fs.IsFile("C:\\CopiasRespaldo VQX\\Archivo\\a1.pdf"));
}

TEST_F(RespaldarTest, ExistingBackupIsReplacedWithoutAQuestion) {
    fs.AddFile(kBackup, "copia vieja");
    ASSERT_TRUE(Run());
    EXPECT_EQ(fs.Read(kBackup), "base de datos");
    EXPECT_THAT(shell.messages, IsEmpty());
}

std::string Report(const Error& e) {
    return "Número: " + std::to_string(e.number) + "\r\nDescripción: " + e.description +
           "\r\n\r\nFuente: " + e.source +
           "\r\nVentana: Principal           Proceso : proFN_Respaldar\r\nDetalle : ";
}

TEST(RespaldarStageOneTest, EachFailureGivesTheSixLineReportAndFalse) {
    const Error denied = FakeFileSystem::MakeError(errnum::AccessDenied, "CopyFile");
    const Error odd{-2146828218, "Permiso denegado", "Scripting.FileSystemObject"};
    struct Case {
        const char* what;
        std::function<void(FakeFileSystem&)> arrange;
        Error expected;
        bool serviceFails = false;
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeFileSystem fs;
        fs.AddFile(kData + "\\VQX Datos.mdb", "db");
        fs.AddFile(kData + "\\VQX Datos\\raiz.txt", "r");
        fs.AddFile(kBackup, "buena");
        c.arrange(fs);
        fake::FakeShell shell;
        FileSystemFactory factory = LendFileSystem(fs);
        if (c.serviceFails)
            factory = [&] { return Result<std::unique_ptr<FileSystem>>(odd); };
        APLwAPP app(factory, shell);
        app.ItemCheck.SetTag("ON");

        EXPECT_FALSE(app.proFN_Respaldar(kDest, kName));
        ASSERT_EQ(shell.messages.size(), 1u);
        EXPECT_EQ(shell.messages[0].text, Report(c.expected));
        EXPECT_EQ(shell.messages[0].title, "Ha ocurrido un error");
        EXPECT_EQ(shell.messages[0].style, 0);
        EXPECT_EQ(app.EstadoLBL1.Caption(), "1/6");
        EXPECT_EQ(app.EstadoLBL2.Caption(), "COPIANDO BASE DE DATOS");
        EXPECT_EQ(fs.Read(kBackup), "buena"); // the earlier backup is untouched
        EXPECT_FALSE(fs.Find("D:\\Copias\\Respaldo VQX"));
    }
}

TEST_F(RespaldarTest, NegativeNumbersShowTheirSign) {
    fs.FailOn(Op::CopyFile, kBackup, Error{-2147024891, "Acceso denegado.", "CopyFile"});
    EXPECT_FALSE(Run());
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_EQ(shell.messages[0].text.substr(0, 20), "Número: -2147024891");
}

TEST_F(RespaldarTest, LaterFailuresArePassedOverAndListed) {
    const Error locked = FakeFileSystem::MakeError(errnum::SharingViolation, "CopyFile");
    fs.Lock(kData + "\\VQX Datos\\Archivo\\a1.pdf");
    fs.FailOn(Op::MakeFolder, "D:\\Copias\\Respaldo VQX\\Plantillas",
              FakeFileSystem::MakeError(errnum::AccessDenied, "MakeFolder"));
    fs.FailOn(Op::Exists, kData + "\\VQX Datos\\Informes\\*.*",
              FakeFileSystem::MakeError(errnum::AccessDenied, "Exists"));
    fs.FailOn(Op::Exists, "D:\\Copias\\Respaldo VQX\\Referencias",
              FakeFileSystem::MakeError(errnum::AccessDenied, "Exists"));

    ASSERT_TRUE(Run());
    EXPECT_THAT(shell.messages, IsEmpty());
    std::vector<std::string> paths;
    for (const auto& l : app.LeftOut())
        paths.push_back(l.path);
    EXPECT_THAT(paths, ElementsAre("VQX Datos\\Archivo\\a1.pdf", "VQX Datos\\Plantillas\\p.docx",
                                   "VQX Datos\\Informes\\*.*"));
    EXPECT_EQ(app.LeftOut()[0].reason.number, locked.number);
    EXPECT_EQ(fs.Read("D:\\Copias\\Respaldo VQX\\Archivo\\a2.pdf"), "a2"); // the rest copied
    // A failed existence test still leads to the folder being made.
    EXPECT_TRUE(fs.IsFolder("D:\\Copias\\Respaldo VQX\\Referencias"));
    EXPECT_EQ(app.EstadoLBL1.Caption(), "6/6");
}

TEST_F(RespaldarTest, SecondRunKeepsOlderCopiesAndAddsNewFiles) {
    ASSERT_TRUE(Run());
    fs.AddFile(kData + "\\VQX Datos\\Archivo\\a1.pdf", "a1 cambiado");
    fs.AddFile(kData + "\\VQX Datos\\Archivo\\a3.pdf", "nuevo");
    fs.calls.clear();
    ASSERT_TRUE(Run());
    EXPECT_EQ(fs.Read("D:\\Copias\\Respaldo VQX\\Archivo\\a1.pdf"), "a1");
    EXPECT_EQ(fs.Read("D:\\Copias\\Respaldo VQX\\Archivo\\a3.pdf"), "nuevo");
    EXPECT_THAT(app.LeftOut(), IsEmpty()); // files already there are not failures
    // Folders that exist are not made again.
    for (const auto& c : fs.calls)
        EXPECT_EQ(c.rfind("MakeFolder", 0), std::string::npos) << c;
}

TEST_F(RespaldarTest, DatabaseCopyYieldsThrottledAndACloseCancelsIt) {
    app.ItemCheck.SetTag("OFF");
    fs.AddFile(kBackup, "buena");
    fs.SetCopyChunks(100);
    shell.tickStep = 10; // each chunk takes 10 ms
    ASSERT_TRUE(Run());
    EXPECT_GE(shell.yields, 15); // about every 50 ms of a 1 s copy
    EXPECT_LE(shell.yields, 25);

    // A close asked for while the copy yields: the copy stops, nothing is reported.
    fs.AddFile(kBackup, "buena");
    shell.onYield = [this] { EXPECT_FALSE(app.QueryClose()); };
    EXPECT_FALSE(Run());
    EXPECT_TRUE(app.ClosePending());
    EXPECT_THAT(shell.messages, IsEmpty());
    EXPECT_EQ(fs.Read(kBackup), "buena");
    EXPECT_FALSE(app.Running());
    EXPECT_TRUE(app.QueryClose()); // once the run has unwound the window may go
}

TEST_F(RespaldarTest, CloseDuringTheDataCentreStartsNoFurtherFile) {
    int yields = 0;
    shell.onYield = [&] {
        if (++yields == 2) // after the first file of "Archivo"
            (void)app.QueryClose();
    };
    EXPECT_FALSE(Run());
    const std::string r = "D:\\Copias\\Respaldo VQX\\";
    EXPECT_TRUE(fs.IsFile(r + "Archivo\\a1.pdf"));
    EXPECT_FALSE(fs.Find(r + "Archivo\\a2.pdf"));
    EXPECT_FALSE(fs.Find(r + "Plantillas"));
    EXPECT_EQ(app.EstadoLBL1.Caption(), "3/6");
    EXPECT_THAT(shell.messages, IsEmpty());
}

TEST(APLwAPPTest, ControlTreeAndArrays) {
    fake::FakeShell shell;
    FakeFileSystem fs;
    APLwAPP app(LendFileSystem(fs), shell);
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
    EXPECT_EQ(&app.ItemText(1), app.Find("ItemText(1)"));
    EXPECT_EQ(&app.ItemBorde(2), app.Find("ItemBorde(2)"));
    EXPECT_THROW(app.ItemText(0), std::out_of_range);
    EXPECT_THROW(app.ItemTitulo(3), std::out_of_range);
    // Tab indices run from 0 to 12 without gaps.
    std::vector<int> tabs;
    for (const auto& c : app.Controls())
        if (c->TabIndex() >= 0)
            tabs.push_back(c->TabIndex());
    std::sort(tabs.begin(), tabs.end());
    EXPECT_THAT(tabs, ElementsAre(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12));
    EXPECT_EQ(app.ItemText(1).Settings().maxLength, 25);
    EXPECT_TRUE(app.ItemText(2).Settings().locked);
    EXPECT_TRUE(APLwAPP::ImageListHas(app.ico48x48, "curHand"));
    EXPECT_FALSE(APLwAPP::ImageListHas(app.ico32x32, "icoestadoon")); // keys are exact
}

} // namespace
} // namespace vqx
