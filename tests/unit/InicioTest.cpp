// The load step on the in-memory file system: the three starting states and their messages,
// the default name, the last destination from "RS.log", the pointers, icons and outline; the
// unload step and the disabled state.
#include "tests/fakes/World.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vqx {
namespace {

using fake::FakeFileSystem;
using fake::Op;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kData = "C:\\VQX";
const std::string kDatabase = kData + "\\VQX Datos.mdb";
const std::string kCentre = kData + "\\VQX Datos";
const std::string kLog = kData + "\\RS.log";
const std::string kDefaultName = "Respaldo VQX (07-12-2026)";
const std::string kTitle = "Respaldo de seguridad VQX®";
const std::string kMessage1 = "No se puede realizar el respaldo de seguridad ya que no se "
                              "encontró la base de datos.\r\n\r\n'C:\\VQX\\VQX Datos.mdb'";
const std::string kMessage2 =
    "No se puede incluir el centro de datos ya que no se encontró.\r\n\r\n'C:\\VQX\\VQX Datos\\'";

struct World : fake::World {
    // The data folder of a ready start: database, data centre and a log.
    void Ready() {
        fs.AddFile(kDatabase, "db");
        fs.AddFolder(kCentre);
        fs.AddFile(kLog, "E:\\Destino\\\r\n");
    }

    std::vector<std::string> ExistenceTests() const {
        std::vector<std::string> out;
        for (const auto& c : fs.calls)
            if (c.rfind("Exists ", 0) == 0)
                out.push_back(c);
        return out;
    }
};

const std::string kTestDb = "Exists " + kDatabase + " 0";
const std::string kTestLog = "Exists " + kLog + " 32";
const std::string kTestCentre = "Exists " + kCentre + " 16";

TEST(InicioStatesTest, TheDataFolderDecidesTheStartingState) {
    const Error denied = FakeFileSystem::MakeError(errnum::AccessDenied, "Exists");
    enum State { Ready, NoCentre, Disabled };
    struct Case {
        const char* what;
        std::function<void(World&)> arrange;
        State state;
        std::vector<std::string> tests;
    };
    const std::vector<std::string> all = {kTestDb, kTestLog, kTestCentre};
    const std::vector<Case> cases = {
        {"everything there", [](World&) {}, Ready, all},
        {"data centre a plain file",
         [](World& w) {
             w.fs.Remove(kCentre);
             w.fs.AddFile(kCentre, "file");
         },
         Ready, all},
        {"no data centre", [](World& w) { w.fs.Remove(kCentre); }, NoCentre, all},
        {"data-centre test fails", [&](World& w) { w.fs.FailOn(Op::Exists, kCentre, denied); },
         NoCentre, all},
        {"no database", [](World& w) { w.fs.Remove(kDatabase); }, Disabled, {kTestDb}},
        {"neither",
         [](World& w) {
             w.fs.Remove(kDatabase);
             w.fs.Remove(kCentre);
         },
         Disabled,
         {kTestDb}},
        {"only .accdb",
         [](World& w) {
             w.fs.Remove(kDatabase);
             w.fs.AddFile(kData + "\\VQX Datos.accdb", "db");
         },
         Disabled,
         {kTestDb}},
        {"database test fails",
         [&](World& w) { w.fs.FailOn(Op::Exists, kDatabase, denied); },
         Disabled,
         {kTestDb}},
        {"no service at all", [](World& w) { w.serviceFails = [] { return true; }; }, Disabled, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        World w;
        w.Ready();
        c.arrange(w);
        w.app.Form_Load();
        EXPECT_EQ(w.ExistenceTests(), c.tests);
        const auto& log = w.host.log;
        if (c.state == Ready) {
            EXPECT_THAT(w.shell.messages, IsEmpty());
            EXPECT_EQ(w.host.shown, 0);
            EXPECT_THAT(std::vector<std::string>(log.end() - 1, log.end()),
                        ElementsAre("ItemCheck.Picture=icoEstadoON"));
            EXPECT_EQ(w.app.ItemCheck.Tag(), "ON");
            EXPECT_TRUE(w.app.ItemCheck.Enabled());
            EXPECT_TRUE(w.app.ItemCheckLBL.Enabled());
        } else if (c.state == NoCentre) {
            ASSERT_EQ(w.shell.messages.size(), 1u);
            EXPECT_EQ(w.shell.messages[0].text, kMessage2);
            EXPECT_EQ(w.shell.messages[0].title, kTitle);
            EXPECT_THAT(std::vector<std::string>(log.end() - 6, log.end()),
                        ElementsAre("ItemCheck.Picture=icoEstadoOX", "ItemCheck.Enabled=0",
                                    "ItemCheckLBL.ForeColor=12632256", "ItemCheckLBL.Enabled=0",
                                    "ShowNow", "Message 48"));
            EXPECT_EQ(w.app.ItemCheck.Tag(), "OX");
        } else {
            ASSERT_EQ(w.shell.messages.size(), 1u);
            EXPECT_EQ(w.shell.messages[0].text, kMessage1);
            EXPECT_EQ(w.shell.messages[0].title, kTitle);
            // The disabled state first, then the window, then the message.
            EXPECT_THAT(std::vector<std::string>(log.end() - 3, log.end()),
                        ElementsAre("BotonRespaldar.Enabled=0", "ShowNow", "Message 16"));
            EXPECT_EQ(w.app.ItemCheck.Tag(), "OX");
            EXPECT_FALSE(w.app.BotonRespaldar.Enabled());
        }
        const bool ready = c.state != Disabled;
        EXPECT_EQ(w.app.ItemText(Campo::Nombre).Text(), ready ? kDefaultName : "");
        EXPECT_EQ(w.app.ItemText(Campo::Destino).Text(), ready ? "E:\\Destino\\" : "");
        EXPECT_TRUE(w.app.FormCerrar.Enabled());
    }
}

TEST(InicioLogTest, TheFirstLineOfTheLogAsReadOrNothing) {
    const Error denied = FakeFileSystem::MakeError(errnum::AccessDenied, "OpenTextFile");
    struct Case {
        const char* what;
        std::function<void(World&)> arrange;
        std::string field;
    };
    const std::vector<Case> cases = {
        {"first line only", [](World& w) { w.fs.AddFile(kLog, "E:\\Destino\\\r\nF:\\Otro\\\r\n"); },
         "E:\\Destino\\"},
        {"not trimmed, not tested", [](World& w) { w.fs.AddFile(kLog, "  Z:\\No existe  \r\n"); },
         "  Z:\\No existe  "},
        {"no line break", [](World& w) { w.fs.AddFile(kLog, "F:\\"); }, "F:\\"},
        {"no log", [](World& w) { w.fs.Remove(kLog); }, ""},
        {"empty log", [](World& w) { w.fs.AddFile(kLog, ""); }, ""},
        {"hidden log", [](World& w) { w.fs.AddFile(kLog, "E:\\\r\n", /*hidden=*/true); }, ""},
        {"a folder of that name",
         [](World& w) {
             w.fs.Remove(kLog);
             w.fs.AddFolder(kLog);
         },
         ""},
        {"cannot be opened", [&](World& w) { w.fs.FailOn(Op::OpenTextFile, kLog, denied); }, ""},
        {"no service for the read",
         [](World& w) {
             // Only the service asked for right after the log was found fails.
             w.serviceFails = [&w, failed = false]() mutable {
                 if (failed || w.fs.calls.empty() || w.fs.calls.back() != kTestLog)
                     return false;
                 return failed = true;
             };
         },
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        World w;
        w.Ready();
        c.arrange(w);
        w.app.Form_Load();
        EXPECT_EQ(w.app.ItemText(Campo::Destino).Text(), c.field);
        // The start goes on either way.
        EXPECT_EQ(w.app.ItemText(Campo::Nombre).Text(), kDefaultName);
        EXPECT_EQ(w.app.ItemCheck.Tag(), "ON");
        EXPECT_THAT(w.shell.messages, IsEmpty());
    }
}

TEST(InicioNameTest, TheDefaultNameCarriesTheDayOfTheStart) {
    const std::vector<std::pair<LocalDate, std::string>> cases = {
        {{2026, 12, 7}, "Respaldo VQX (07-12-2026)"},
        {{2025, 1, 31}, "Respaldo VQX (31-01-2025)"},
        {{2000, 10, 1}, "Respaldo VQX (01-10-2000)"},
    };
    for (const auto& [date, name] : cases) {
        World w;
        w.Ready();
        w.shell.today = date;
        w.app.Form_Load();
        EXPECT_EQ(w.app.ItemText(Campo::Nombre).Text(), name);
        EXPECT_EQ(w.app.ItemText(Campo::Nombre).Text().size(), 25u);
    }
}

TEST(InicioPreludeTest, IconsPointersOutlineAndEmptyStatusComeFirst) {
    World w;
    w.Ready();
    w.app.Form_Load();
    ASSERT_EQ(w.shell.iconCalls.size(), 1u);
    EXPECT_EQ(w.shell.iconCalls[0].window, w.host.Handle());
    EXPECT_EQ(w.shell.iconCalls[0].resource, "IconoAPL");
    EXPECT_TRUE(w.shell.iconCalls[0].ownerChain);

    ASSERT_GE(w.host.log.size(), 13u);
    EXPECT_EQ(
        std::vector<std::string>(w.host.log.begin(), w.host.log.begin() + 13),
        (std::vector<std::string>{
            "BotonRespaldar.Pointer=curHand/0", "BotonRespaldar.Pointer=curHand/99",
            "BotonDescargar.Pointer=curHand/0", "BotonDescargar.Pointer=curHand/99",
            "FormCerrar.Pointer=curHand/0", "FormCerrar.Pointer=curHand/99",
            "FormMCO.Move=0,0,6030,4965", "ItemCheck.Pointer=curHand/0",
            "ItemCheck.Pointer=curHand/99", "ItemCheckLBL.Pointer=curHand/0",
            "ItemCheckLBL.Pointer=curHand/99", "EstadoLBL1.Caption=", "EstadoLBL2.Caption="}));
    std::vector<std::string> hands;
    for (const auto& c : w.app.Controls())
        if (c->MousePointer() != 0 || !c->MouseIcon().empty())
            hands.push_back(c->FullName());
    EXPECT_THAT(hands, ElementsAre("BotonRespaldar", "BotonDescargar", "ItemCheck", "ItemCheckLBL",
                                   "FormCerrar"));
    EXPECT_EQ(w.app.EstadoLBL1.Caption(), "");
    EXPECT_EQ(w.app.EstadoLBL2.Caption(), "");
}

TEST(InicioUnloadTest, UnloadLeavesTheCancelFlagAndDoesNothing) {
    for (int flag : {0, 1, -1}) {
        World w;
        int cancel = flag;
        w.app.Form_Unload(cancel);
        EXPECT_EQ(cancel, flag);
        EXPECT_THAT(w.host.log, IsEmpty());
        EXPECT_FALSE(w.host.destroyed);
        EXPECT_THAT(w.fs.calls, IsEmpty());
    }
}

TEST(DeshabilitarTest, EveryInputAndBothActionButtonsGoOutOfUse) {
    World w;
    w.app.ItemCheck.SetTag("OFF");
    w.app.ItemCheck.SetPicture("icoEstadoOFF");
    w.host.log.clear();
    w.app.proFN_Deshabilitar();
    EXPECT_EQ(w.host.log, (std::vector<std::string>{
                              "ItemTitulo(1).Enabled=0",
                              "ItemText(1).Enabled=0",
                              "ItemTitulo(1).ForeColor=12632256",
                              "ItemText(1).ForeColor=12632256",
                              "ItemBorde(1).BorderColor=15790320",
                              "ItemTitulo(2).Enabled=0",
                              "ItemText(2).Enabled=0",
                              "ItemTitulo(2).ForeColor=12632256",
                              "ItemText(2).ForeColor=12632256",
                              "ItemBorde(2).BorderColor=15790320",
                              "ItemCheck.Picture=icoEstadoOX",
                              "ItemCheck.Enabled=0",
                              "ItemCheckLBL.ForeColor=12632256",
                              "ItemCheckLBL.Enabled=0",
                              "BotonDescargar.Enabled=0",
                              "BotonRespaldar.Enabled=0",
                          }));
    EXPECT_EQ(w.app.ItemCheck.Tag(), "OX");
    EXPECT_TRUE(w.app.FormCerrar.Enabled());
    EXPECT_THAT(w.shell.pointers, IsEmpty());
}

} // namespace
} // namespace vqx
