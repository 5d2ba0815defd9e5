// The start-up: the load step of the window, and the disabled state it falls back to when the
// database is missing.
#include "window/APLwAPP.h"
#include "window/Palette.h"

#include <cstdio>

namespace vqx {
namespace {

constexpr char kLoadTitle[] = "Respaldo de seguridad VQX®";

void GiveHandPointer(Control& c) {
    c.SetMouseIcon("curHand");
    c.SetMousePointer(ptr::Custom);
}

// "Respaldo VQX (dd-mm-yyyy)", with the hyphen whatever the locale says.
std::string DefaultName(const LocalDate& d) {
    char date[32];
    std::snprintf(date, sizeof date, "%02d-%02d-%04d", d.day, d.month, d.year);
    return std::string("Respaldo VQX (") + date + ")";
}

} // namespace

void APLwAPP::Form_Load() {
    shell_.SetWindowIcons(host_ ? host_->Handle() : 0, "IconoAPL", true);
    for (const auto& c : controls_)
        if (c->Kind() == ControlKind::Button)
            GiveHandPointer(*c);
    FormMCO.Move(0, 0, kWidth, kHeight);
    GiveHandPointer(ItemCheck);
    GiveHandPointer(ItemCheckLBL);
    EstadoLBL1.SetCaption("");
    EstadoLBL2.SetCaption("");

    // Only the ".mdb" name is looked for here, although the run would also copy an ".accdb".
    if (!Found(shell_.DataFolder() + "\\VQX Datos.mdb", Attr::Normal)) {
        proFN_Deshabilitar();
        if (host_)
            host_->ShowNow();
        shell_.MessageBox("No se puede realizar el respaldo de seguridad ya que no se encontró "
                          "la base de datos.\r\n\r\n'" +
                              shell_.DataFolder() + "\\VQX Datos.mdb'",
                          kLoadTitle, mb::Critical);
        return;
    }

    ItemText(Campo::Nombre).SetText(DefaultName(shell_.Today()));

    std::string last;
    if (Found(shell_.DataFolder() + "\\RS.log", Attr::Archive) && ReadLastDestination(last))
        ItemText(Campo::Destino).SetText(last);

    if (!Found(shell_.DataFolder() + "\\VQX Datos", Attr::Directory)) {
        ItemCheck.SetPicture("icoEstadoOX");
        ItemCheck.SetTag("OX");
        ItemCheck.SetEnabled(false);
        ItemCheckLBL.SetForeColor(palette::kDisabledText);
        ItemCheckLBL.SetEnabled(false);
        if (host_)
            host_->ShowNow();
        shell_.MessageBox("No se puede incluir el centro de datos ya que no se encontró.\r\n\r\n'" +
                              shell_.DataFolder() + "\\VQX Datos\\'",
                          kLoadTitle, mb::Exclamation);
        return;
    }
    ItemCheck.SetPicture("icoEstadoON");
    ItemCheck.SetTag("ON");
}

// A log that cannot be read (no access, a folder of that name, no line in it, no service)
// is the same as no log: the destination field stays empty and the start goes on. A close
// that fails after the line was read does not undo the reading.
bool APLwAPP::ReadLastDestination(std::string& line) {
    auto fs = fileSystems_();
    if (!fs)
        return false;
    auto stream = fs.value()->OpenTextFile(shell_.DataFolder() + "\\RS.log");
    if (!stream)
        return false;
    auto read = stream.value()->ReadLine();
    (void)stream.value()->Close();
    if (!read)
        return false;
    line = read.value();
    return true;
}

bool APLwAPP::Found(const std::string& path, Attr attr) {
    auto fs = fileSystems_();
    if (!fs)
        return false;
    auto found = fs.value()->Exists(path, attr);
    return found && !found.value().empty();
}

void APLwAPP::proFN_Deshabilitar() {
    for (Campo i : kCampos) {
        ItemTitulo(i).SetEnabled(false);
        ItemText(i).SetEnabled(false);
        ItemTitulo(i).SetForeColor(palette::kDisabledText);
        ItemText(i).SetForeColor(palette::kDisabledText);
        ItemBorde(i).SetBorderColor(palette::kFieldDisabled);
    }
    ItemCheck.SetPicture("icoEstadoOX");
    ItemCheck.SetTag("OX");
    ItemCheck.SetEnabled(false);
    ItemCheckLBL.SetForeColor(palette::kDisabledText);
    ItemCheckLBL.SetEnabled(false);
    BotonDescargar.SetEnabled(false);
    BotonRespaldar.SetEnabled(false);
}

} // namespace vqx
