// The window's controls by the id each child window carries: its place in the control table
// (BuildControls, window/APLwAPP.cpp), counted from 1. The host test ControlIdsTest checks every
// id here against that table, so a control added or moved there cannot shift them unnoticed.
#pragma once

namespace vqx::ctl {

constexpr int FormDaFRM = 1, ItemText2 = 2, ItemText1 = 3, BotonRespaldar = 4, BotonDescargar = 5,
              ItemCheck = 6, ItemTitulo2 = 7, ItemBorde2 = 8, ItemTitulo1 = 9, ItemBorde1 = 10,
              ItemCheckLBL = 11, EstadoFRM = 12, EstadoLBL2 = 13, EstadoLBL1 = 14, FormCerrar = 15,
              ico48x48 = 16, ico32x32 = 17, FormBarraTituloTXT = 18, FormBarraTitulo = 19,
              FormMCO = 20;

struct Named {
    const char* fullName; // "ItemText(2)" for a member of an array
    int id;
};
inline constexpr Named kAll[] = {
    {"FormDaFRM", FormDaFRM},
    {"ItemText(2)", ItemText2},
    {"ItemText(1)", ItemText1},
    {"BotonRespaldar", BotonRespaldar},
    {"BotonDescargar", BotonDescargar},
    {"ItemCheck", ItemCheck},
    {"ItemTitulo(2)", ItemTitulo2},
    {"ItemBorde(2)", ItemBorde2},
    {"ItemTitulo(1)", ItemTitulo1},
    {"ItemBorde(1)", ItemBorde1},
    {"ItemCheckLBL", ItemCheckLBL},
    {"EstadoFRM", EstadoFRM},
    {"EstadoLBL2", EstadoLBL2},
    {"EstadoLBL1", EstadoLBL1},
    {"FormCerrar", FormCerrar},
    {"ico48x48", ico48x48},
    {"ico32x32", ico32x32},
    {"FormBarraTituloTXT", FormBarraTituloTXT},
    {"FormBarraTitulo", FormBarraTitulo},
    {"FormMCO", FormMCO},
};

} // namespace vqx::ctl
