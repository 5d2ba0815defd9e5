// The rules of a request, then the press of "Respaldar" on the in-memory file system: how
// refused inputs show, the overwrite question, the outcome line, "RS.log", the list of files
// left out and a close that arrives during the run.
#include "engine/Solicitud.h"
#include "tests/fakes/World.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace vqx {
namespace {

using fake::FakeFileSystem;
using fake::Op;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string kData = "C:\\VQX";
const std::string kDest = "D:\\Copias\\";
const std::string kName = "Copia";
const std::string kBackup = kDest + kName + ".vqxdb";
const std::string kLog = kData + "\\RS.log";
const std::string kRed = "5987062", kGreen = "6403197";

// A ready data folder and an existing destination folder.
struct World : fake::World {
    World() {
        fs.AddFile(kData + "\\VQX Datos.mdb", "db");
        fs.AddFolder("D:\\Copias");
    }

    void Press(const std::string& N, const std::string& D) {
        app.ItemText(Campo::Nombre).SetText(N);
        app.ItemText(Campo::Destino).SetText(D);
        host.log.clear();
        fs.calls.clear();
        app.BotonRespaldar_Click();
    }

    bool Ran() const { return !shell.pointers.empty(); }
};

class SolicitudTest : public ::testing::Test, public World {};

const std::string kBorder1 = "ItemBorde(1).BorderColor=" + kRed;
const std::string kBorder2 = "ItemBorde(2).BorderColor=" + kRed;

TEST(SolicitudRulesTest, WhichNamesAndDestinationsAreRefused) {
    struct Case {
        std::string N, D;
        bool nameRefused, destinationRefused;
    };
    const std::vector<Case> cases = {
        {"", kDest, true, false},
        {"   ", "   ", true, true},
        // The nine forbidden characters.
        {"a<b", kDest, true, false},
        {"a|b", kDest, true, false},
        {"a\\b", kDest, true, false},
        {"a/b", kDest, true, false},
        {"a>b", kDest, true, false},
        {"a:b", kDest, true, false},
        {"a?b", kDest, true, false},
        {"a*b", kDest, true, false},
        {"Respaldo ¿1", kDest, true, false},
        {"¿", kDest, true, false},
        // Device names, in any case, with trailing spaces or dots, or an extension.
        {"con", kDest, true, false},
        {"NUL  ", kDest, true, false},
        {"COM1.", kDest, true, false},
        {"lpt9", kDest, true, false},
        {"PRN", kDest, true, false},
        {"Aux .bak", kDest, true, false},
        {"CON.txt", kDest, true, false},
        {"com³", kDest, true, false},
        // Control characters.
        {"a\tb", kDest, true, false},
        {"Copia\x01", kDest, true, false},
        {"\x1f", kDest, true, false},
        // Names that pass: the double quote, look-alikes of device names, other accents and
        // characters whose UTF-8 shares a byte with "¿".
        {"a\"b", kDest, false, false},
        {"COM0", kDest, false, false},
        {"LPT10", kDest, false, false},
        {"CONSOLA", kDest, false, false},
        {"Copia.CON", kDest, false, false},
        {"NULL", kDest, false, false},
        {"¡Año ñandú!", kDest, false, false},
        {"ο", kDest, false, false}, // Greek omicron, CE BF
        // Destinations that are not absolute would land in whatever the current folder is.
        {kName, "", false, true},
        {kName, "Copias", false, true},
        {kName, "Copias\\", false, true},
        {kName, "C:Copias\\", false, true},
        {kName, "\\Copias\\", false, true},
        {kName, "\\\\servidor\\", false, true},
        {kName, "\\\\?\\D:\\Copias\\", false, true},
        // Inside the data centre, however written, a backup would be copied into every later one.
        {kName, kData + "\\VQX Datos\\", false, true},
        {kName, kData + "\\VQX Datos\\Archivo\\", false, true},
        {kName, "c:/vqx/vqx datos//Informes/", false, true},
        {kName, kData + "\\Otro\\..\\VQX DATOS\\", false, true},
        {kName, "\\\\servidor\\datos\\", false, false},
        {kName, kData + "\\VQX Datos Viejos\\", false, false},
        {kName, kData + "\\VQX Datos", false, false}, // a name prefix in the data folder itself
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("N=[" + c.N + "] D=[" + c.D + "]");
        EXPECT_EQ(!engine::IsAcceptableName(engine::TrimSpaces(c.N)), c.nameRefused);
        const std::string target = engine::NormalizeDestination(engine::TrimSpaces(c.D));
        EXPECT_EQ(!engine::IsAcceptableDestination(target, kData), c.destinationRefused);
    }
}

TEST(SolicitudInputTest, RefusedInputsTurnTheirBordersRedAndRunNothing) {
    struct Case {
        std::string N, D;
        std::vector<std::string> borders; // empty: the backup runs
    };
    const std::vector<Case> cases = {
        {"", kDest, {kBorder1}},
        {kName, "", {kBorder2}},
        {"", "", {kBorder1, kBorder2}},
        {"a*b", "Copias\\", {kBorder1, kBorder2}},
        {"a\"b", kData + "\\VQX Datos Viejos\\", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("N=[" + c.N + "] D=[" + c.D + "]");
        World w;
        w.fs.AddFolder(kData + "\\VQX Datos Viejos");
        w.Press(c.N, c.D);
        EXPECT_EQ(w.host.Only("ItemBorde"), c.borders);
        EXPECT_EQ(w.Ran(), c.borders.empty());
        EXPECT_THAT(w.shell.messages, IsEmpty());
        if (!c.borders.empty()) {
            EXPECT_THAT(w.host.Only("Estado"), IsEmpty());
            EXPECT_FALSE(w.fs.Find(kLog));
        }
    }
}

TEST_F(SolicitudTest, OnlySpacesAreTrimmedAndTheFieldsKeepTheirText) {
    Press("  Copia  ", "  " + kDest + "  ");
    EXPECT_EQ(fs.calls.at(0), "Exists " + kBackup + " 32");
    EXPECT_EQ(fs.Read(kBackup), "db");
    EXPECT_EQ(fs.Read(kLog), kDest + "\r\n");
    EXPECT_EQ(app.ItemText(Campo::Nombre).Text(), "  Copia  ");
    EXPECT_EQ(app.ItemText(Campo::Destino).Text(), "  " + kDest + "  ");
}

TEST_F(SolicitudTest, TheDestinationIsTakenAsAFolderPathOnce) {
    fs.AddFolder("D:\\Copias\\Nueva");
    Press(kName, "D:/Copias//Vieja/../Nueva/.//");
    EXPECT_EQ(fs.calls.at(0), "Exists D:\\Copias\\Nueva\\Copia.vqxdb 32");
    EXPECT_EQ(fs.Read("D:\\Copias\\Nueva\\Copia.vqxdb"), "db");
    EXPECT_EQ(fs.Read(kLog), "D:/Copias//Vieja/../Nueva/.//\r\n"); // as the user gave it
}

TEST(SolicitudQuestionTest, AnExistingBackupIsReplacedOnlyAfterYes) {
    const std::string question =
        "Ya existe un archivo con igual nombre 'Copia'. ¿Desea sobreescribir éste archivo?";
    struct Case {
        const char* what;
        std::string N;
        int answer;
        bool testFails;
        std::vector<std::string> log; // up to the run, or all when it does not run
        std::string after;            // the backup file afterwards
    };
    const std::vector<Case> cases = {
        {"No leaves everything", kName, mb::AnswerNo, false, {"Message 36"}, "vieja"},
        // A box that goes with the window (a close while it is open) answers neither.
        {"no answer is no consent", kName, 0, false, {"Message 36"}, "vieja"},
        {"Yes replaces", kName, mb::AnswerYes, false, {"Message 36", "Pointer=11"}, "db"},
        {"a failing test counts as no file", kName, mb::AnswerNo, true, {"Pointer=11"}, "db"},
        {"asked, then the name is refused",
         "CON",
         mb::AnswerYes,
         false,
         {kBorder1, "Message 36"},
         "vieja"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        World w;
        const std::string target = kDest + c.N + ".vqxdb";
        w.fs.AddFile(target, "vieja");
        if (c.testFails)
            w.fs.FailOn(Op::Exists, target,
                        FakeFileSystem::MakeError(errnum::AccessDenied, "Exists"));
        w.shell.answers = {c.answer};
        w.Press(c.N, kDest);
        const std::size_t shown = std::min(w.host.log.size(), c.log.size());
        EXPECT_EQ(std::vector<std::string>(w.host.log.begin(), w.host.log.begin() + shown), c.log);
        if (c.log.back() != "Pointer=11") {
            EXPECT_EQ(w.host.log, c.log); // nothing after the question
        }
        EXPECT_EQ(w.fs.Read(target), c.after);
        if (!w.shell.messages.empty() && c.N == kName) {
            EXPECT_EQ(w.shell.messages[0].text, question);
            EXPECT_EQ(w.shell.messages[0].title, "Zorvantec VQX - Respaldo de seguridad");
        }
        EXPECT_EQ(w.fs.IsFile(kLog), c.after == "db");
    }
}

TEST_F(SolicitudTest, SuccessShowsTheGreenLineThenRecordsTheDestination) {
    fs.AddFile(kLog, "E:\\Anterior\\\r\n");
    Press(kName, kDest);
    EXPECT_EQ(host.log.front(), "Pointer=11");
    EXPECT_EQ(host.log.back(), "Pointer=0");
    const auto lines = host.Only("EstadoLBL");
    EXPECT_THAT(std::vector<std::string>(lines.end() - 4, lines.end()),
                ElementsAre("EstadoLBL1.Caption=:)", "EstadoLBL2.Caption=COMPLETADO CON EXITO",
                            "EstadoLBL1.ForeColor=" + kGreen, "EstadoLBL2.ForeColor=" + kGreen));
    EXPECT_EQ(fs.Read(kLog), kDest + "\r\n"); // replaced, one line
    EXPECT_EQ(fs.calls.back(), "CreateTextFile " + kLog);
    EXPECT_THAT(shell.messages, IsEmpty());
}

TEST_F(SolicitudTest, FailureShowsTheRedLineAndKeepsTheLog) {
    app.ItemCheck.SetTag("ON");
    fs.AddFile(kData + "\\VQX Datos\\raiz.txt", "r");
    fs.AddFile(kLog, "E:\\Anterior\\\r\n");
    fs.FailOn(Op::CopyFile, kBackup, FakeFileSystem::MakeError(errnum::DiskFull, "CopyFile"));
    Press(kName, kDest);
    const auto lines = host.Only("EstadoLBL");
    EXPECT_THAT(std::vector<std::string>(lines.end() - 4, lines.end()),
                ElementsAre("EstadoLBL1.Caption=:(",
                            "EstadoLBL2.Caption=ERROR ERROR ERROR EN 1/6 COPIANDO BASE DE DATOS",
                            "EstadoLBL1.ForeColor=" + kRed, "EstadoLBL2.ForeColor=" + kRed));
    EXPECT_EQ(host.log.back(), "Pointer=0");
    EXPECT_EQ(fs.Read(kLog), "E:\\Anterior\\\r\n");
    EXPECT_THAT(fs.calls, testing::Not(testing::Contains("CreateTextFile " + kLog)));
    ASSERT_EQ(shell.messages.size(), 1u); // the run's own error box only
    EXPECT_EQ(shell.messages[0].title, "Ha ocurrido un error");
}

// A stick pulled out or a share dropped in the middle of the data centre: the run fails in the
// stage under way and says so as a failed database copy does; no later stage starts and
// nothing records the destination. A file's own failure is still only listed.
TEST_F(SolicitudTest, ADestinationThatGoesAwayFailsTheStageUnderWay) {
    app.ItemCheck.SetTag("ON");
    fs.AddFile(kData + "\\VQX Datos\\raiz.txt", "r");
    fs.AddFile(kData + "\\VQX Datos\\Archivo\\a.pdf", "a");
    fs.AddFile(kData + "\\VQX Datos\\Archivo\\b.pdf", "b");
    fs.AddFile(kData + "\\VQX Datos\\Informes\\i.xlsx", "i");
    fs.AddFile(kLog, "E:\\Anterior\\\r\n");
    fs.FailOn(Op::CopyFile, kData + "\\VQX Datos\\raiz.txt",
              FakeFileSystem::MakeError(errnum::SharingViolation, "CopyFile"));
    fs.OnCopy([this](const std::string& source) {
        if (source.ends_with("a.pdf"))
            fs.Remove("D:\\Copias");
    });
    Press(kName, kDest);
    const auto lines = host.Only("EstadoLBL");
    EXPECT_THAT(std::vector<std::string>(lines.end() - 4, lines.end()),
                ElementsAre("EstadoLBL1.Caption=:(",
                            "EstadoLBL2.Caption=ERROR ERROR ERROR EN 3/6 COPIANDO EL ARCHIVO",
                            "EstadoLBL1.ForeColor=" + kRed, "EstadoLBL2.ForeColor=" + kRed));
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_EQ(shell.messages[0].title, "Ha ocurrido un error");
    EXPECT_THAT(shell.messages[0].text,
                HasSubstr("Número: " + std::to_string(errnum::PathNotFound) + "\r\n"));
    EXPECT_THAT(shell.messages[0].text, EndsWith("\r\nDetalle : a.pdf"));
    EXPECT_EQ(fs.Read(kLog), "E:\\Anterior\\\r\n");
    ASSERT_EQ(app.LeftOut().size(), 1u); // stage 2's locked file, as before
    EXPECT_EQ(app.LeftOut()[0].path, "VQX Datos\\raiz.txt");
    EXPECT_THAT(fs.calls, testing::Not(testing::Contains(HasSubstr("Informes"))));
    EXPECT_TRUE(fs.cancelled) << "the copies under way were not told to give up";
}

// An exception on the run's worker fails the run with the program's internal error, and a close
// asked for meanwhile still ends the program; one on the window's thread stops the worker
// before it is waited for, so the window does not hang until the run would have ended.
TEST(SolicitudExceptionTest, NoExceptionEndsOrHangsTheProgram) {
    for (bool closing : {false, true}) {
        SCOPED_TRACE(closing ? "worker, with a close pending" : "worker");
        World w;
        w.app.ItemCheck.SetTag("ON");
        w.fs.AddFile(kData + "\\VQX Datos\\raiz.txt", "r");
        w.fs.OnCopy([&](const std::string& source) {
            if (!source.ends_with("raiz.txt"))
                return;
            if (closing)
                w.shell.OnWindowThread([&] { EXPECT_FALSE(w.app.QueryClose()); });
            throw std::runtime_error("sin memoria");
        });
        w.Press(kName, kDest);
        if (closing) {
            EXPECT_TRUE(w.host.destroyed);
            EXPECT_THAT(w.shell.messages, IsEmpty());
            continue;
        }
        ASSERT_EQ(w.shell.messages.size(), 1u);
        EXPECT_THAT(w.shell.messages[0].text,
                    HasSubstr("Ha ocurrido un error interno del programa. sin memoria"));
        EXPECT_THAT(w.host.Only("EstadoLBL2"),
                    testing::Contains(
                        "EstadoLBL2.Caption=ERROR ERROR ERROR EN 2/6 COPIANDO CENTRO DE DATOS"));
    }

    SCOPED_TRACE("window thread");
    World w;
    w.app.ItemCheck.SetTag("ON");
    w.fs.AddFile(kData + "\\VQX Datos\\raiz.txt", "r");
    bool released = false;
    // The window's thread fails while a copy goes on that lasts until the run is stopped (with a
    // deadline, so that a run never stopped fails the case rather than hanging it).
    w.fs.OnCopy([&](const std::string& source) {
        if (!source.ends_with("raiz.txt"))
            return;
        w.shell.OnWindowThread([] { throw std::runtime_error("en la ventana"); });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!w.fs.cancelled && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        released = w.fs.cancelled;
    });
    w.app.ItemText(Campo::Nombre).SetText(kName);
    w.app.ItemText(Campo::Destino).SetText(kDest);
    EXPECT_THROW(w.app.BotonRespaldar_Click(), std::runtime_error);
    EXPECT_TRUE(released) << "the worker was waited for without being stopped";
}

TEST(SolicitudLeftOutTest, FilesLeftOutAreListedAfterThePointerIsRestored) {
    const std::string head = "El respaldo terminó, pero no se pudieron copiar ";
    const std::string folder = "VQX Datos\\Archivo\\";
    std::string twelve = head + "12 archivo(s) del centro de datos:\r\n";
    for (const char* n : {"01", "02", "03", "04", "05", "06", "07", "08", "09", "10"})
        twelve += "\r\n" + folder + "f" + n + ".pdf";
    twelve += "\r\n... y 2 más.";
    const std::vector<std::pair<int, std::string>> cases = {
        {3, head + "3 archivo(s) del centro de datos:\r\n\r\n" + folder + "f01.pdf\r\n" + folder +
                "f02.pdf\r\n" + folder + "f03.pdf"},
        {12, twelve},
    };
    for (const auto& [count, text] : cases) {
        SCOPED_TRACE(count);
        World w;
        w.app.ItemCheck.SetTag("ON");
        for (int i = 1; i <= count; ++i) {
            const std::string path =
                kData + "\\" + folder + "f" + (i < 10 ? "0" : "") + std::to_string(i) + ".pdf";
            w.fs.AddFile(path, "x");
            w.fs.Lock(path);
        }
        w.Press(kName, kDest);
        ASSERT_GE(w.host.log.size(), 3u);
        EXPECT_EQ(w.host.log.end()[-3], "EstadoLBL2.ForeColor=" + kGreen);
        EXPECT_EQ(w.host.log.end()[-2], "Pointer=0");
        EXPECT_EQ(w.host.log.end()[-1], "Message 48");
        ASSERT_EQ(w.shell.messages.size(), 1u);
        EXPECT_EQ(w.shell.messages[0].text, text);
        EXPECT_EQ(w.shell.messages[0].title, "Zorvantec VQX - Respaldo de seguridad");
        EXPECT_EQ(w.fs.Read(kLog), kDest + "\r\n");
    }
}

TEST(SolicitudLogTest, ALogThatCannotBeWrittenIsPassedOver) {
    const Error denied = FakeFileSystem::MakeError(errnum::AccessDenied, "RS.log");
    const std::vector<std::pair<const char*, std::function<void(World&)>>> cases = {
        {"create", [&](World& w) { w.fs.FailOn(Op::CreateTextFile, kLog, denied); }},
        {"write", [&](World& w) { w.fs.FailOn(Op::WriteLine, kLog, denied); }},
        {"a folder", [](World& w) { w.fs.AddFolder(kLog); }},
        {"no service",
         [](World& w) {
             w.fs.OnCopy([&w](const std::string&) {
                 w.serviceFails = [] { return true; }; // after the run has its own service
             });
         }},
    };
    for (const auto& [what, arrange] : cases) {
        SCOPED_TRACE(what);
        World w;
        arrange(w);
        w.Press(kName, kDest);
        EXPECT_EQ(w.fs.Read(kBackup), "db");
        EXPECT_EQ(w.app.EstadoLBL1.Caption(), ":)");
        EXPECT_EQ(w.app.EstadoLBL2.Caption(), "COMPLETADO CON EXITO");
        EXPECT_EQ(w.shell.pointers, (std::vector<int>{11, 0}));
        EXPECT_THAT(w.shell.messages, IsEmpty());
    }
}

TEST_F(SolicitudTest, CloseDuringTheRunDestroysTheWindowWithoutAnOutcome) {
    app.ItemCheck.SetTag("ON");
    fs.AddFile(kData + "\\VQX Datos\\raiz.txt", "r");
    fs.AddFile(kLog, "E:\\Anterior\\\r\n");
    fs.OnCopy([this](const std::string&) {
        shell.OnWindowThread([this] { EXPECT_FALSE(app.QueryClose()); });
    });
    Press(kName, kDest);
    EXPECT_TRUE(host.hidden);
    EXPECT_TRUE(host.destroyed);
    EXPECT_EQ(shell.pointers, std::vector<int>{11});
    for (const auto& line : host.Only("EstadoLBL"))
        EXPECT_THAT(line,
                    testing::Not(testing::AnyOf(testing::HasSubstr(":)"), testing::HasSubstr(":("),
                                                testing::HasSubstr("ForeColor"))));
    EXPECT_EQ(fs.Read(kLog), "E:\\Anterior\\\r\n");
    EXPECT_THAT(shell.messages, IsEmpty());
}

// Space or Enter on a button that kept the focus, or a click handled while the window waits for
// the run: nothing starts, nothing asks, the option stays, and a close still stops the run.
TEST_F(SolicitudTest, InputDuringTheRunStartsNothingAndACloseStillStopsIt) {
    app.ItemCheck.SetTag("ON");
    fs.AddFile(kData + "\\VQX Datos\\uno.txt", "1");
    fs.AddFile(kData + "\\VQX Datos\\dos.txt", "2");
    fs.AddFile(kBackup, "vieja"); // a second request would ask about it
    shell.answers = {mb::AnswerYes};
    int copies = 0;
    fs.OnCopy([&](const std::string&) {
        if (++copies == 1) {
            shell.OnWindowThread([&] {
                app.BotonRespaldar_Click();
                app.ItemCheck_Click();
                app.BotonDescargar_Click();
                EXPECT_FALSE(app.proFN_Respaldar(kDest, "Otra"));
            });
        } else if (copies == 2) {
            shell.OnWindowThread([&] { EXPECT_FALSE(app.QueryClose()); });
        }
    });
    Press(kName, kDest);
    EXPECT_EQ(shell.messages.size(), 1u); // the one question before the run
    EXPECT_THAT(shell.folderTitles, IsEmpty());
    EXPECT_EQ(app.ItemCheck.Tag(), "ON");
    EXPECT_FALSE(fs.Find(kDest + "Otra.vqxdb"));
    EXPECT_TRUE(host.destroyed);
    EXPECT_EQ(shell.pointers, std::vector<int>{11});
}

} // namespace
} // namespace vqx
