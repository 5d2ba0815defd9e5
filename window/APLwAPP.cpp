#include "window/APLwAPP.h"

#include "window/Palette.h"

#include <stdexcept>

namespace vqx {
namespace {

constexpr int kWidth = APLwAPP::kWidth;
using namespace palette;

const FontSpec kOpenSansLight1125{"Open Sans Light", 11.25, 300};
const FontSpec kOpenSans825{"Open Sans", 8.25, 400};
const FontSpec kOpenSans1125{"Open Sans", 11.25, 400};

std::vector<std::unique_ptr<Control>> BuildControls() {
    std::vector<std::unique_ptr<Control>> c;
    auto add = [&c](Control::Init init) -> Control* {
        c.push_back(std::make_unique<Control>(std::move(init), static_cast<int>(c.size()) + 1));
        return c.back().get();
    };
    using K = ControlKind;
    Control* da = add({.name = "FormDaFRM",
                       .kind = K::Frame,
                       .left = 390,
                       .top = 930,
                       .width = 5205,
                       .height = 3615,
                       .tabIndex = 5,
                       .foreColor = kText,
                       .backColor = kWindowBack});
    Control* destino = add({.name = "ItemText",
                            .index = 2,
                            .kind = K::TextBox,
                            .container = da,
                            .left = 150,
                            .top = 1470,
                            .width = 4335,
                            .height = 435,
                            .tabIndex = 7,
                            .foreColor = kText,
                            .backColor = kFieldBack,
                            .font = kOpenSansLight1125,
                            .locked = true,
                            .takesFocus = true});
    Control* nombre = add({.name = "ItemText",
                           .index = 1,
                           .kind = K::TextBox,
                           .container = da,
                           .left = 150,
                           .top = 420,
                           .width = 4935,
                           .height = 435,
                           .tabIndex = 6,
                           .foreColor = kText,
                           .backColor = kFieldBack,
                           .font = kOpenSansLight1125,
                           .maxLength = 25,
                           .takesFocus = true});
    add({.name = "BotonRespaldar",
         .kind = K::Button,
         .container = da,
         .left = 30,
         .top = 3000,
         .width = 5175,
         .height = 600,
         .tabIndex = 8,
         .caption = "Respaldar",
         .foreColor = kWhite,
         .backColor = kSuccess,
         .font = kOpenSans1125,
         .button = {kSuccess, kSuccess, kWhite, kWhite, kDisabledText, ""},
         .takesFocus = true});
    add({.name = "BotonDescargar",
         .kind = K::Button,
         .container = da,
         .left = 4590,
         .top = 1380,
         .width = 585,
         .height = 555,
         .tabIndex = 9,
         .caption = "...",
         .foreColor = kText,
         .backColor = kBrowseFace,
         .font = kOpenSans1125,
         .button = {kBrowseFace, kBrowseFace, kText, kText, kDisabledText, ""},
         .takesFocus = true,
         .accessibleName = "Examinar..."});
    add({.name = "ItemCheck",
         .kind = K::ImageBox,
         .container = da,
         .left = 0,
         .top = 2152,
         .width = 480,
         .height = 480,
         .fill = Fill::Transparent,
         .picture = "icoEstadoON",
         .takesFocus = true,
         .accessibleName = "INCLUIR CENTRO DE DATOS",
         .checkedTag = "ON"});
    add({.name = "ItemTitulo",
         .index = 2,
         .kind = K::Label,
         .container = da,
         .left = 30,
         .top = 1095,
         .width = 1200,
         .height = 225,
         .tabIndex = 12,
         .caption = "DESCARGAR EN",
         .foreColor = kFieldTitle,
         .fill = Fill::Transparent,
         .font = kOpenSans825,
         .labelFor = destino});
    add({.name = "ItemBorde",
         .index = 2,
         .kind = K::Shape,
         .container = da,
         .left = 30,
         .top = 1350,
         .width = 5175,
         .height = 615,
         .backColor = kFieldBack,
         .borderColor = kFieldBorder});
    add({.name = "ItemTitulo",
         .index = 1,
         .kind = K::Label,
         .container = da,
         .left = 30,
         .top = 0,
         .width = 1725,
         .height = 225,
         .tabIndex = 11,
         .caption = "NOMBRE DE ARCHIVO",
         .foreColor = kFieldTitle,
         .fill = Fill::Transparent,
         .font = kOpenSans825,
         .labelFor = nombre});
    add({.name = "ItemBorde",
         .index = 1,
         .kind = K::Shape,
         .container = da,
         .left = 30,
         .top = 255,
         .width = 5175,
         .height = 615,
         .backColor = kFieldBack,
         .borderColor = kFieldBorder});
    add({.name = "ItemCheckLBL",
         .kind = K::Label,
         .container = da,
         .left = 480,
         .top = 2280,
         .width = 2160,
         .height = 225,
         .tabIndex = 10,
         .caption = "INCLUIR CENTRO DE DATOS",
         .foreColor = kOptionCaption,
         .fill = Fill::Transparent,
         .font = kOpenSans825});
    Control* est = add({.name = "EstadoFRM",
                        .kind = K::Frame,
                        .left = 390,
                        .top = 930,
                        .width = 5175,
                        .height = 3615,
                        .tabIndex = 2,
                        .foreColor = kText,
                        .backColor = kWindowBack,
                        .progressLine = true});
    add({.name = "EstadoLBL2",
         .kind = K::Label,
         .container = est,
         .left = 0,
         .top = 2250,
         .width = 5175,
         .height = 1125,
         .tabIndex = 4,
         .caption = "ESTADO",
         .foreColor = kStatusLine,
         .fill = Fill::Transparent,
         .font = {"Open Sans Semibold", 21.75, 600},
         .align = Align::Center,
         .liveRegion = true});
    add({.name = "EstadoLBL1",
         .kind = K::Label,
         .container = est,
         .left = 1245,
         .top = -150,
         .width = 2685,
         .height = 2445,
         .tabIndex = 3,
         .caption = "0/5",
         .foreColor = kStageCounter,
         .fill = Fill::Transparent,
         .font = {"Open Sans Light", 90, 300},
         .align = Align::Center});
    add({.name = "FormCerrar",
         .kind = K::Button,
         .left = 5025,
         .top = 0,
         .width = 1005,
         .height = 600,
         .tabIndex = 0,
         .foreColor = kWhite,
         .backColor = kCloseFace,
         .font = kOpenSansLight1125,
         .button = {kCloseFace, kCloseHover, kWhite, kWhite, kDisabledText, "icoCerrar"},
         .takesFocus = true,
         .accessibleName = "Cerrar"});
    add({.name = "ico48x48", .kind = K::ImageList, .visible = false});
    add({.name = "ico32x32", .kind = K::ImageList, .visible = false});
    add({.name = "FormBarraTituloTXT",
         .kind = K::Label,
         .left = 0,
         .top = 135,
         .width = kWidth,
         .height = 360,
         .tabIndex = 1,
         .caption = "Zorvantec VQX - Respaldo de seg.......",
         .foreColor = kWhite,
         .fill = Fill::Transparent,
         .font = {"Open Sans Light", 12, 700},
         .align = Align::Center});
    add({.name = "FormBarraTitulo",
         .kind = K::Shape,
         .left = 0,
         .top = 0,
         .width = kWidth,
         .height = 600,
         .backColor = kTitleBand,
         .borderColor = kTitleBand,
         .fill = Fill::Hatched});
    add({.name = "FormMCO",
         .kind = K::Shape,
         .left = 0,
         .top = 600,
         .width = 270,
         .height = 4365,
         .borderColor = kFieldBorder,
         .fill = Fill::Transparent});
    return c;
}

} // namespace

APLwAPP::APLwAPP(FileSystemFactory fileSystems, Shell& shell)
    : controls_(BuildControls()), FormDaFRM(Named("FormDaFRM")),
      BotonRespaldar(Named("BotonRespaldar")), BotonDescargar(Named("BotonDescargar")),
      ItemCheck(Named("ItemCheck")), ItemCheckLBL(Named("ItemCheckLBL")),
      EstadoFRM(Named("EstadoFRM")), EstadoLBL2(Named("EstadoLBL2")),
      EstadoLBL1(Named("EstadoLBL1")), FormCerrar(Named("FormCerrar")), ico48x48(Named("ico48x48")),
      ico32x32(Named("ico32x32")), FormBarraTituloTXT(Named("FormBarraTituloTXT")),
      FormBarraTitulo(Named("FormBarraTitulo")), FormMCO(Named("FormMCO")),
      itemText_(NamedArray("ItemText")), itemTitulo_(NamedArray("ItemTitulo")),
      itemBorde_(NamedArray("ItemBorde")), fileSystems_(std::move(fileSystems)), shell_(shell) {
    WireEvents();
}

Control& APLwAPP::Named(const std::string& fullName) const {
    if (Control* c = Find(fullName))
        return *c;
    throw std::logic_error("no control " + fullName);
}

APLwAPP::Array APLwAPP::NamedArray(const std::string& name) const {
    Array members{};
    for (Campo i : kCampos)
        members[Slot(i)] = &Named(name + "(" + std::to_string(static_cast<int>(i)) + ")");
    return members;
}

// The events the window handles; every other event of every control goes unhandled.
void APLwAPP::WireEvents() {
    FormCerrar.Events().click = [this] { FormCerrar_Click(); };
    BotonRespaldar.Events().click = [this] { BotonRespaldar_Click(); };
    BotonDescargar.Events().click = [this] { BotonDescargar_Click(); };
    FormBarraTituloTXT.Events().mouseMove = [this](int button, int shift, float x, float y) {
        FormBarraTituloTXT_MouseMove(button, shift, x, y);
    };
    ItemCheck.Events().click = [this] { ItemCheck_Click(); };
    ItemCheckLBL.Events().click = [this] { ItemCheckLBL_Click(); };
    for (Campo i : kCampos) {
        ItemText(i).Events().gotFocus = [this, i] { ItemText_GotFocus(i); };
        ItemText(i).Events().lostFocus = [this, i] { ItemText_LostFocus(i); };
    }
}

void APLwAPP::AttachHost(WindowHost* host) {
    host_ = host;
    for (auto& c : controls_)
        c->AttachView(host);
}

Control* APLwAPP::Find(const std::string& fullName) const {
    for (const auto& c : controls_)
        if (c->FullName() == fullName)
            return c.get();
    return nullptr;
}

} // namespace vqx
