#include "window/APLwAPP.h"

#include <stdexcept>

namespace vqx {
namespace {

// Colours (OLE, 0x00BBGGRR).
constexpr int kWidth = APLwAPP::kWidth;
constexpr std::uint32_t kBack = 16382457, kText = 3487029, kWhite = 16777215;
constexpr std::uint32_t kFieldBorder = 14737632, kTitleBlue = 13867890, kGrey = 8421504;

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
                       .backColor = kBack});
    add({.name = "ItemText",
         .index = 2,
         .kind = K::TextBox,
         .container = da,
         .left = 150,
         .top = 1470,
         .width = 4335,
         .height = 435,
         .tabIndex = 7,
         .foreColor = kText,
         .backColor = kWhite,
         .font = kOpenSansLight1125,
         .locked = true});
    add({.name = "ItemText",
         .index = 1,
         .kind = K::TextBox,
         .container = da,
         .left = 150,
         .top = 420,
         .width = 4935,
         .height = 435,
         .tabIndex = 6,
         .foreColor = kText,
         .backColor = kWhite,
         .font = kOpenSansLight1125,
         .maxLength = 25});
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
         .backColor = 6403197,
         .font = kOpenSans1125,
         .button = {6403197, 6403197, kWhite, kWhite, 12632256, ""}});
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
         .backColor = kFieldBorder,
         .font = kOpenSans1125,
         .button = {kFieldBorder, kFieldBorder, kText, kText, 12632256, ""}});
    add({.name = "ItemCheck",
         .kind = K::ImageBox,
         .container = da,
         .left = 0,
         .top = 2152,
         .width = 480,
         .height = 480,
         .transparent = true,
         .picture = "icoEstadoON"});
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
         .foreColor = kTitleBlue,
         .transparent = true,
         .font = kOpenSans825});
    add({.name = "ItemBorde",
         .index = 2,
         .kind = K::Shape,
         .container = da,
         .left = 30,
         .top = 1350,
         .width = 5175,
         .height = 615,
         .backColor = kWhite,
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
         .foreColor = kTitleBlue,
         .transparent = true,
         .font = kOpenSans825});
    add({.name = "ItemBorde",
         .index = 1,
         .kind = K::Shape,
         .container = da,
         .left = 30,
         .top = 255,
         .width = 5175,
         .height = 615,
         .backColor = kWhite,
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
         .foreColor = kGrey,
         .transparent = true,
         .font = kOpenSans825});
    Control* est = add({.name = "EstadoFRM",
                        .kind = K::Frame,
                        .left = 390,
                        .top = 930,
                        .width = 5175,
                        .height = 3615,
                        .tabIndex = 2,
                        .foreColor = kText,
                        .backColor = kBack});
    add({.name = "EstadoLBL2",
         .kind = K::Label,
         .container = est,
         .left = 0,
         .top = 2250,
         .width = 5175,
         .height = 1125,
         .tabIndex = 4,
         .caption = "ESTADO",
         .foreColor = 5197647,
         .transparent = true,
         .font = {"Open Sans Semibold", 21.75, 600},
         .align = Align::Center});
    add({.name = "EstadoLBL1",
         .kind = K::Label,
         .container = est,
         .left = 1245,
         .top = -150,
         .width = 2685,
         .height = 2445,
         .tabIndex = 3,
         .caption = "0/5",
         .foreColor = 16173833,
         .transparent = true,
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
         .backColor = 5592405,
         .font = {"Open Sans Light", 11.25, 300},
         .button = {5592405, 217, kWhite, kWhite, 12632256, "icoCerrar"}});
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
         .transparent = true,
         .font = {"Open Sans Light", 12, 700},
         .align = Align::Center});
    add({.name = "FormBarraTitulo",
         .kind = K::Shape,
         .left = 0,
         .top = 0,
         .width = kWidth,
         .height = 600,
         .backColor = 5197647,
         .borderColor = 5197647});
    add({.name = "FormMCO",
         .kind = K::Shape,
         .left = 0,
         .top = 600,
         .width = 270,
         .height = 4365,
         .borderColor = kFieldBorder,
         .transparent = true});
    return c;
}

} // namespace

APLwAPP::APLwAPP(FileSystemFactory fileSystems, Shell& shell)
    : controls_(BuildControls()), FormDaFRM(*controls_[0]), BotonRespaldar(*controls_[3]),
      BotonDescargar(*controls_[4]), ItemCheck(*controls_[5]), ItemCheckLBL(*controls_[10]),
      EstadoFRM(*controls_[11]), EstadoLBL2(*controls_[12]), EstadoLBL1(*controls_[13]),
      FormCerrar(*controls_[14]), ico48x48(*controls_[15]), ico32x32(*controls_[16]),
      FormBarraTituloTXT(*controls_[17]), FormBarraTitulo(*controls_[18]), FormMCO(*controls_[19]),
      fileSystems_(std::move(fileSystems)), shell_(shell) {}

void APLwAPP::AttachHost(WindowHost* host) {
    host_ = host;
    for (auto& c : controls_)
        c->AttachView(host);
}

// Control arrays have the indices 1 and 2 only.
Control& APLwAPP::ItemText(int index) const {
    if (index == 1)
        return *controls_[2];
    if (index == 2)
        return *controls_[1];
    throw std::out_of_range("ItemText index");
}

Control& APLwAPP::ItemTitulo(int index) const {
    if (index == 1)
        return *controls_[8];
    if (index == 2)
        return *controls_[6];
    throw std::out_of_range("ItemTitulo index");
}

Control& APLwAPP::ItemBorde(int index) const {
    if (index == 1)
        return *controls_[9];
    if (index == 2)
        return *controls_[7];
    throw std::out_of_range("ItemBorde index");
}

Control* APLwAPP::Find(const std::string& fullName) const {
    for (const auto& c : controls_)
        if (c->FullName() == fullName)
            return c.get();
    return nullptr;
}

bool APLwAPP::ImageListHas(const Control& list, const std::string& key) {
    if (list.Name() == "ico48x48")
        return key == "curHand";
    if (list.Name() == "ico32x32")
        return key == "icoEstadoON" || key == "icoEstadoOFF" || key == "icoEstadoOX";
    return false;
}

void APLwAPP::FormCerrar_Click() {
    if (QueryClose() && host_)
        host_->Destroy();
}

bool APLwAPP::QueryClose() {
    if (!running_)
        return true;
    // The user sees the window go at once; the run stops at its next check (a copy under way
    // removes its temporary) and then destroys the window. A second close adds nothing.
    if (!closePending_.exchange(true) && host_)
        host_->Hide();
    return false;
}

} // namespace vqx
