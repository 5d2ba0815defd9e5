// The input handlers of the window: drag by the title text, the include-data-centre option, the
// focus colouring of the fields, and the destination picker.
#include "window/Manejadores.h"

#include "window/APLwAPP.h"

#include <cstddef>

namespace vqx {
namespace {

// Border colours of a field (OLE, 0x00BBGGRR).
constexpr std::uint32_t kFocused = 8421504;    // 128, 128, 128
constexpr std::uint32_t kUnfocused = 14737632; // 224, 224, 224

constexpr int kLeftButton = 1;
constexpr char kPickerTitle[] = "Descargar en...";

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

} // namespace

int Utf16Length(const std::string& utf8) {
    int units = 0;
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (!IsContinuation(byte))
            units += byte >= 0xF0 ? 2 : 1; // a four-byte sequence is a surrogate pair
    }
    return units;
}

std::string NormalizeFolder(const std::string& chosen) {
    if (chosen.empty())
        return chosen;
    // The end of the second code point.
    std::size_t head = 0;
    for (int points = 0; points < 2 && head < chosen.size(); ++points) {
        ++head;
        while (head < chosen.size() && IsContinuation(static_cast<unsigned char>(chosen[head])))
            ++head;
    }
    const std::string rest = chosen.substr(head) + "\\";
    std::string out = chosen.substr(0, head);
    out.reserve(chosen.size() + 1);
    for (std::size_t i = 0; i < rest.size(); ++i) {
        out += rest[i];
        if (rest[i] == '\\' && i + 1 < rest.size() && rest[i + 1] == '\\')
            ++i; // the pair becomes one; the scan goes on after it
    }
    return out;
}

void APLwAPP::FormBarraTituloTXT_MouseMove(int button, int /*shift*/, float /*x*/, float /*y*/) {
    // The left button alone; any other combination of pressed buttons does not move the window.
    if (button != kLeftButton)
        return;
    if (host_)
        host_->DragByCaption();
}

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

void APLwAPP::ItemText_GotFocus(int index) {
    Control& field = ItemText(index);
    // Both fields are single-line: the whole text is selected.
    field.SetSelStart(0);
    field.SetSelLength(Utf16Length(field.Text()));
    ItemBorde(index).SetBorderColor(kFocused);
}

void APLwAPP::ItemText_LostFocus(int index) {
    ItemBorde(index).SetBorderColor(kUnfocused);
}

void APLwAPP::BotonDescargar_Click() {
    if (requestActive_)
        return; // no folder dialog over a backup under way
    Control& field = ItemText(2);
    ItemBorde(2).SetBorderColor(kFocused);
    // A cancelled dialog gives empty text, which clears the field.
    field.SetText(shell_.PickFolder(host_ ? host_->Handle() : 0, kPickerTitle));
    const std::string chosen = field.Text();
    if (!chosen.empty())
        field.SetText(NormalizeFolder(chosen));
    field.SetFocus();
}

} // namespace vqx
