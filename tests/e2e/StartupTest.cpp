// The three states the window starts in, as the data folder decides them: ready; ready without
// the data-centre option (exclamation message); disabled when the database is missing (stop
// message).
#include "tests/e2e/BackupSupport.h"

namespace vqx::e2e {
namespace {

// A first line of "RS.log" that the window must show as it is: spaces kept, folder not checked.
const std::wstring kLastDestination = L" Q:\\Copias de situaci\u00f3n\\ ";

const std::wstring kNoDataCentre =
    L"No se puede incluir el centro de datos ya que no se encontr\u00f3.\r\n\r\n'";
const std::wstring kNoDatabase = L"No se puede realizar el respaldo de seguridad ya que no se "
                                 L"encontr\u00f3 la base de datos.\r\n\r\n'";

// The start-up message box: closes it with OK and checks that no other box follows.
void DismissOnlyMessage(App& app, const MessageBoxInfo& box) {
    ASSERT_TRUE(app.Answer(box, IDOK)) << "the message did not close on OK";
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box.hwnd); })) << "the message was not destroyed";
    // Once the program has handled a message sent after the box closed, a second box would
    // exist already.
    ASSERT_TRUE(RoundTrip(app)) << "the program does not answer after its message closed";
    EXPECT_TRUE(Dialogs(app).empty()) << "a second message box followed the first";
}

void ExpectEnabled(const App& app, int id, bool enabled, const char* name) {
    auto c = ControlById(app, id);
    ASSERT_TRUE(c.has_value()) << name << " is missing";
    EXPECT_EQ(c->enabled, enabled) << name << (enabled ? " is disabled" : " is enabled");
}

// Text as Notepad saves it as "Unicode": UTF-16 LE behind the byte-order mark FF FE.
std::string Utf16Le(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

// "RS.log" as the program writes it, or as Notepad saves it as "Unicode" (the parameter).
class StartupReadyTest : public AppTest, public ::testing::WithParamInterface<bool> {
protected:
    Layout MakeLayout() override {
        Layout l = Layout::Typical();
        const std::wstring lines = kLastDestination + L"\r\nZ:\\otra copia\\";
        l.rsLog = GetParam() ? Utf16Le(lines + L"\r\n") : LogLine(lines);
        return l;
    }
    void SetUp() override {
        dayBefore = DefaultName();
        AppTest::SetUp();
    }
    std::wstring dayBefore; // the default name just before the start
};

TEST_P(StartupReadyTest, FillsTheDefaultNameAndTheFirstLogLineWithoutAMessage) {
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_TRUE(Dialogs(app).empty()) << "a message box at a start with everything in place";

    const std::wstring name = TextOf(app, ctl::ItemText1), dayAfter = DefaultName();
    EXPECT_TRUE(name == dayBefore || name == dayAfter)
        << "name field \"" << Narrow(name) << "\", expected \"" << Narrow(dayAfter) << "\"";
    EXPECT_EQ(name.size(), 25u);
    EXPECT_EQ(TextOf(app, ctl::ItemText2), kLastDestination)
        << "destination field \"" << Narrow(TextOf(app, ctl::ItemText2)) << "\"";

    ExpectEnabled(app, ctl::ItemCheck, true, "ItemCheck");
    ExpectEnabled(app, ctl::ItemCheckLBL, true, "ItemCheckLBL");
    ExpectEnabled(app, ctl::ItemText1, true, "ItemText(1)");
    ExpectEnabled(app, ctl::BotonRespaldar, true, "BotonRespaldar");
    ExpectEnabled(app, ctl::BotonDescargar, true, "BotonDescargar");
    EXPECT_EQ(TextOf(app, ctl::EstadoLBL1), L"");
    EXPECT_EQ(TextOf(app, ctl::EstadoLBL2), L"");
}

INSTANTIATE_TEST_SUITE_P(LogEncodings, StartupReadyTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Utf16Log" : "AnsiLog"; });

class StartupHiddenLogTest : public AppTest {
protected:
    Layout MakeLayout() override {
        Layout l = Layout::Typical();
        l.files.push_back({L"RS.log", LogLine(L"Z:\\Copias\\"), true});
        return l;
    }
};

TEST_F(StartupHiddenLogTest, LeavesTheDestinationEmpty) {
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_TRUE(Dialogs(app).empty());
    EXPECT_EQ(TextOf(app, ctl::ItemText2), L"")
        << "a hidden RS.log was read: \"" << Narrow(TextOf(app, ctl::ItemText2)) << "\"";
    EXPECT_EQ(TextOf(app, ctl::ItemText1).size(), 25u) << "the name field is not filled";
}

// The database, a destination from the log, and no "VQX Datos".
class StartupWithoutDataCentreTest : public PreparedAppTest {
protected:
    Layout MakeLayout() override { return Layout{}; }
    void Prepare() override {
        folder->MakeFolder(L"Copias");
        folder->WriteFile(L"RS.log", LogLine(Destination()));
    }
    std::wstring Destination() const { return folder->Full(L"Copias") + L"\\"; }
};

TEST_F(StartupWithoutDataCentreTest, WarnsAndThenBacksUpTheDatabaseAlone) {
    auto box = app.WaitForMessageBox();
    ASSERT_TRUE(box.has_value()) << "no message about the missing data centre";
    EXPECT_EQ(box->title, kLoadTitle) << Narrow(box->title);
    EXPECT_EQ(box->text, kNoDataCentre + folder->Path() + L"\\VQX Datos\\'") << Narrow(box->text);
    EXPECT_EQ(IconOf(*box), BoxIcon::Exclamation);
    EXPECT_EQ(ButtonsOf(*box), std::vector<int>{IDOK});
    EXPECT_TRUE(IsWindowVisible(window)) << "the window is not shown behind the message";
    DismissOnlyMessage(app, *box);
    if (HasFatalFailure())
        return;

    const std::wstring name = TextOf(app, ctl::ItemText1);
    EXPECT_EQ(name.size(), 25u) << "name field \"" << Narrow(name) << "\"";
    EXPECT_EQ(TextOf(app, ctl::ItemText2), Destination());
    ExpectEnabled(app, ctl::ItemCheck, false, "ItemCheck");
    ExpectEnabled(app, ctl::ItemCheckLBL, false, "ItemCheckLBL");
    ExpectEnabled(app, ctl::ItemText1, true, "ItemText(1)");
    ExpectEnabled(app, ctl::BotonRespaldar, true, "BotonRespaldar");
    ExpectEnabled(app, ctl::BotonDescargar, true, "BotonDescargar");

    // Clicks on the option's picture and caption change nothing. The click into the name
    // field comes after them in the same input queue: once its border shows the focus, the
    // two clicks before it have been handled.
    ASSERT_TRUE(app.WaitUntilPainted());
    const Image before = CaptureControl(app, ctl::ItemCheck);
    ASSERT_FALSE(before.Empty());
    ASSERT_TRUE(ClickControl(app, ctl::ItemCheck));
    ASSERT_TRUE(ClickControl(app, ctl::ItemCheckLBL));
    ASSERT_TRUE(ClickControl(app, ctl::ItemText1));
    ASSERT_TRUE(WaitForBorder(app, ctl::ItemBorde1, kFocusedBorder))
        << "the name field did not take the focus";
    EXPECT_TRUE(CaptureControl(app, ctl::ItemCheck) == before) << "the option's picture changed";

    // The option stayed unavailable: the backup copies the database and leaves the data centre
    // out (with the option on, it would at least make the "Respaldo VQX" folder).
    ASSERT_TRUE(ClickControl(app, ctl::BotonRespaldar));
    ASSERT_TRUE(WaitForText(app, ctl::EstadoLBL2, L"COMPLETADO CON EXITO"))
        << "status \"" << Narrow(TextOf(app, ctl::EstadoLBL2)) << "\"";
    EXPECT_EQ(folder->List(L"Copias"), std::vector<std::wstring>{name + L".vqxdb"});
    EXPECT_EQ(folder->ReadFile(L"Copias\\" + name + L".vqxdb"), Layout{}.database);
}

// Only "VQX Datos.accdb": the start looks for the ".mdb" alone.
class StartupWithoutDatabaseTest : public AppTest {
protected:
    Layout MakeLayout() override {
        Layout l = Layout::Typical();
        l.database.reset();
        l.files.push_back({L"VQX Datos.accdb", std::string(4096, 'A')});
        l.rsLog = LogLine(L"Z:\\Copias\\");
        return l;
    }
};

TEST_F(StartupWithoutDatabaseTest, StopsAndLeavesOnlyTheCloseButtonUsable) {
    auto box = app.WaitForMessageBox();
    ASSERT_TRUE(box.has_value()) << "no message about the missing database";
    EXPECT_EQ(box->title, kLoadTitle) << Narrow(box->title);
    EXPECT_EQ(box->text, kNoDatabase + folder->Path() + L"\\VQX Datos.mdb'") << Narrow(box->text);
    EXPECT_EQ(IconOf(*box), BoxIcon::Stop);
    EXPECT_EQ(ButtonsOf(*box), std::vector<int>{IDOK});
    EXPECT_TRUE(IsWindowVisible(window)) << "the window is not shown behind the message";
    DismissOnlyMessage(app, *box);
    if (HasFatalFailure())
        return;

    ExpectEnabled(app, ctl::ItemText1, false, "ItemText(1)");
    ExpectEnabled(app, ctl::ItemText2, false, "ItemText(2)");
    ExpectEnabled(app, ctl::ItemTitulo1, false, "ItemTitulo(1)");
    ExpectEnabled(app, ctl::ItemTitulo2, false, "ItemTitulo(2)");
    ExpectEnabled(app, ctl::ItemCheck, false, "ItemCheck");
    ExpectEnabled(app, ctl::ItemCheckLBL, false, "ItemCheckLBL");
    ExpectEnabled(app, ctl::BotonDescargar, false, "BotonDescargar");
    ExpectEnabled(app, ctl::BotonRespaldar, false, "BotonRespaldar");
    ExpectEnabled(app, ctl::FormCerrar, true, "FormCerrar");
    // The load step ends at the missing database: neither the name nor the log is filled in.
    EXPECT_EQ(TextOf(app, ctl::ItemText1), L"");
    EXPECT_EQ(TextOf(app, ctl::ItemText2), L"");
    EXPECT_TRUE(WaitForBorder(app, ctl::ItemBorde1, kDisabledBorder))
        << "ItemBorde(1) shows 0x" << std::hex << BorderOf(app, ctl::ItemBorde1);
    EXPECT_TRUE(WaitForBorder(app, ctl::ItemBorde2, kDisabledBorder))
        << "ItemBorde(2) shows 0x" << std::hex << BorderOf(app, ctl::ItemBorde2);

    // The disabled backup button does nothing; the close button still ends the program.
    const auto before = folder->List(L"");
    ASSERT_TRUE(ClickControl(app, ctl::BotonRespaldar));
    ASSERT_TRUE(ClickControl(app, ctl::FormCerrar));
    auto code = app.WaitForExit();
    ASSERT_TRUE(code.has_value()) << "the close button did not end the program";
    EXPECT_EQ(*code, 0u);
    EXPECT_EQ(folder->List(L""), before) << "the disabled window changed the data folder";
}

class StartupWithNothingTest : public AppTest {
protected:
    Layout MakeLayout() override {
        Layout l;
        l.database.reset();
        return l;
    }
};

TEST_F(StartupWithNothingTest, ShowsOnlyTheMissingDatabaseMessage) {
    auto box = app.WaitForMessageBox();
    ASSERT_TRUE(box.has_value()) << "no message about the missing database";
    EXPECT_EQ(box->text, kNoDatabase + folder->Path() + L"\\VQX Datos.mdb'") << Narrow(box->text);
    DismissOnlyMessage(app, *box);
    if (HasFatalFailure())
        return;
    // Once more, after the window has settled into its message loop.
    ASSERT_TRUE(RoundTrip(app));
    EXPECT_TRUE(Dialogs(app).empty()) << "a second message box followed the first";
    ExpectEnabled(app, ctl::BotonRespaldar, false, "BotonRespaldar");
}

} // namespace
} // namespace vqx::e2e
