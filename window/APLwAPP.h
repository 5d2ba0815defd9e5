// The one window of the utility as a platform-neutral object: its controls, the handlers of
// their events (wired to the controls in one place) and its own procedures. The Win32 layer
// realises the controls and raises their events; it knows none of them by name.
#pragma once

#include "engine/Respaldar.h"
#include "platform/FileSystem.h"
#include "platform/Shell.h"
#include "window/Control.h"
#include "window/RunProgress.h"

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vqx {

// What the window asks of its realisation besides the controls.
class WindowHost : public ControlView {
public:
    // Destroys the real window; the program ends with its message loop.
    virtual void Destroy() = 0;
    // Makes the window visible at once (before a message box of the load step).
    virtual void ShowNow() = 0;
    // Hides the window at once (closed during a run, it goes once the run has stopped).
    virtual void Hide() = 0;
    // The native window handle, for the shell's icon routine and folder dialog.
    virtual std::uintptr_t Handle() const = 0;
    // Ends the mouse capture and lets the system move the window as by a title bar.
    virtual void DragByCaption() = 0;
    // The line under the status line that shows how far a long stage has come.
    virtual void ShowProgressLine(const ProgressLine& line) = 0;
    // The run's progress on the window's taskbar button.
    virtual void ShowTaskbarProgress(const TaskbarProgress& progress) = 0;
};

// The index of the control arrays ItemText, ItemTitulo and ItemBorde: 1 is the file name, 2 the
// destination folder. Being a type of its own, no index can be out of range.
enum class Campo { Nombre = 1, Destino = 2 };
inline constexpr Campo kCampos[] = {Campo::Nombre, Campo::Destino};

class APLwAPP {
    std::vector<std::unique_ptr<Control>> controls_; // first: the references below point into it

public:
    static constexpr int kWidth = 6030, kHeight = 4965; // twips
    static constexpr char kTitle[] = "Zorvantec VQX - Respaldo de seguridad";

    APLwAPP(FileSystemFactory fileSystems, Shell& shell);
    APLwAPP(const APLwAPP&) = delete;
    APLwAPP& operator=(const APLwAPP&) = delete;

    void AttachHost(WindowHost* host);

    // Controls, in creation order (the stacking order within each container).
    const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }
    Control* Find(const std::string& fullName) const;

    Control& FormDaFRM;
    Control& ItemText(Campo index) const { return *itemText_[Slot(index)]; }
    Control& BotonRespaldar;
    Control& BotonDescargar;
    Control& ItemCheck;
    Control& ItemTitulo(Campo index) const { return *itemTitulo_[Slot(index)]; }
    Control& ItemBorde(Campo index) const { return *itemBorde_[Slot(index)]; }
    Control& ItemCheckLBL;
    Control& EstadoFRM;
    Control& EstadoLBL2;
    Control& EstadoLBL1;
    Control& FormCerrar;
    Control& ico48x48;
    Control& ico32x32;
    Control& FormBarraTituloTXT;
    Control& FormBarraTitulo;
    Control& FormMCO;

    // Events.
    void Form_Load();
    void Form_Unload(int& cancel);
    void FormCerrar_Click();
    void BotonRespaldar_Click();
    void BotonDescargar_Click();
    void FormBarraTituloTXT_MouseMove(int button, int shift, float x, float y);
    void ItemCheck_Click();
    void ItemCheckLBL_Click();
    void ItemText_GotFocus(Campo index);
    void ItemText_LostFocus(Campo index);
    // A request to close the window (close button, Alt+F4, WM_CLOSE). Returns true when the
    // window may go now; during a backup run the window hides, the run is stopped and the
    // window closes once it has unwound.
    bool QueryClose();

    // Puts every input element and both action buttons out of use, for good.
    void proFN_Deshabilitar();

    // The backup run (the engine's), shown in the status panel: copies the database and,
    // when the option is on, the data centre. False when it failed or was stopped.
    bool proFN_Respaldar(std::string D, std::string N);

    // After a run: the data-centre files that could not be copied.
    const std::vector<engine::LeftOutFile>& LeftOut() const { return leftOut_; }
    bool Running() const { return running_; }
    bool ClosePending() const { return closePending_; }

private:
    using Array = std::array<Control*, 2>;
    static std::size_t Slot(Campo index) { return index == Campo::Nombre ? 0 : 1; }
    // The control with this full name; the window's controls are fixed, so a name that is not
    // there is a fault of this program, found when the window object is made.
    Control& Named(const std::string& fullName) const;
    Array NamedArray(const std::string& name) const;
    // Connects each control's events to their handlers.
    void WireEvents();

    // Carries the run's reports from its worker thread to the status panel.
    class RunDisplay;
    void ReportFailure(const engine::RunOutcome& outcome);

    Array itemText_, itemTitulo_, itemBorde_;
    FileSystemFactory fileSystems_;
    Shell& shell_;
    WindowHost* host_ = nullptr;
    std::vector<engine::LeftOutFile> leftOut_;
    bool running_ = false;
    bool requestActive_ = false; // from the press of "Respaldar" until its outcome is shown
    std::atomic<bool> closePending_ = false; // read by the run's worker

    // --- Backup request and start-up (window/Respaldo.cpp, window/Inicio.cpp) ---
    // Whether the existence test finds `path` with `attr`, through a service of its own; a
    // service that cannot be made or a test that fails counts as "not there".
    bool Found(const std::string& path, Attr attr);
    // Records D as the one line of "RS.log"; any failure is passed over.
    void WriteLastDestination(const std::string& D);
    // The first line of "RS.log" when it can be read; nothing otherwise.
    bool ReadLastDestination(std::string& line);
    // Lists the data-centre files the last run could not copy.
    void ReportLeftOut();
};

} // namespace vqx
