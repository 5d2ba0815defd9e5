// The one window of the utility as a platform-neutral object: its controls, the handlers of
// their events and its own procedures. The Win32 layer realises it and routes events here.
#pragma once

#include "engine/Respaldar.h"
#include "platform/FileSystem.h"
#include "platform/Shell.h"
#include "window/Control.h"
#include "window/RunProgress.h"

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
    Control& ItemText(int index) const;
    Control& BotonRespaldar;
    Control& BotonDescargar;
    Control& ItemCheck;
    Control& ItemTitulo(int index) const;
    Control& ItemBorde(int index) const;
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

    // Image lists: the keys they hold.
    static bool ImageListHas(const Control& list, const std::string& key);

    // Events.
    void Form_Load();
    void Form_Unload(int& cancel);
    void FormCerrar_Click();
    void BotonRespaldar_Click();
    void BotonDescargar_Click();
    void FormBarraTituloTXT_MouseMove(int button, int shift, float x, float y);
    void ItemCheck_Click();
    void ItemCheckLBL_Click();
    void ItemText_GotFocus(int index);
    void ItemText_LostFocus(int index);
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
    // Carries the run's reports from its worker thread to the status panel.
    class RunDisplay;
    void ReportStageOneFailure(const engine::RunOutcome& outcome);

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
