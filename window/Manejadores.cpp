// The input handlers of the window's controls: the include-data-centre option, the focus
// colouring of the fields, and the destination picker.
#include "window/APLwAPP.h"
#include "window/FieldText.h"
#include "window/Palette.h"

namespace vqx {
namespace {

constexpr char kPickerTitle[] = "Descargar en...";

} // namespace

void APLwAPP::ItemCheck_Click() {
    // The run reads the option: it stays as it was when "Respaldar" was pressed.
    if (requestActive_)
        return;
    // "OX" never arrives here: the option's controls are disabled in that state.
    if (ItemCheck.Tag() == "ON") {
        ItemCheck.SetPicture("icoEstadoOFF");
        ItemCheck.SetTag("OFF");
    } else {
        ItemCheck.SetPicture("icoEstadoON");
        ItemCheck.SetTag("ON");
    }
}

void APLwAPP::ItemCheckLBL_Click() {
    ItemCheck_Click();
}

void APLwAPP::ItemText_GotFocus(Campo index) {
    Control& field = ItemText(index);
    // Both fields are single-line: the whole text is selected.
    field.SetSelStart(0);
    field.SetSelLength(Utf16Length(field.Text()));
    ItemBorde(index).SetBorderColor(palette::kFieldFocused);
}

void APLwAPP::ItemText_LostFocus(Campo index) {
    ItemBorde(index).SetBorderColor(palette::kFieldBorder);
}

void APLwAPP::BotonDescargar_Click() {
    if (requestActive_)
        return; // no folder dialog over a backup under way
    Control& field = ItemText(Campo::Destino);
    ItemBorde(Campo::Destino).SetBorderColor(palette::kFieldFocused);
    // A cancelled dialog gives empty text, which clears the field.
    field.SetText(shell_.PickFolder(host_ ? host_->Handle() : 0, kPickerTitle));
    const std::string chosen = field.Text();
    if (!chosen.empty())
        field.SetText(NormalizeFolder(chosen));
    field.SetFocus();
}

} // namespace vqx
