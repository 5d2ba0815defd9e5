// The window's side of a backup: the press of "Respaldar" checks the two fields, asks before an
// existing backup file is replaced, runs the engine's backup in the status panel, shows its
// outcome and, after a success, records the destination in "RS.log" for the next start.
#include "engine/Solicitud.h"
#include "platform/ScopeExit.h"
#include "window/APLwAPP.h"
#include "window/Palette.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <variant>

namespace vqx {
namespace {

// At most this many left-out files are named in the message; the rest are counted.
constexpr std::size_t kLeftOutListed = 10;

} // namespace

// The run's file work goes on a worker thread of its own, so that no slow disk can hold the
// window up. The worker reports here through a queue; the window thread applies the reports in
// the order they were made, painting each caption at once, and handles its messages meanwhile.
class APLwAPP::RunDisplay : public engine::RunObserver {
public:
    RunDisplay(APLwAPP& app, engine::Stopper& stopper) : app_(app), stopper_(stopper) {}

    // --- On the worker ---
    void StageBegins(const engine::Stage& stage) override {
        postedShare_ = -1;
        Post(Caption{std::string(stage.counter), std::string(stage.caption), app_.shell_.Now()});
    }
    // A stage of tens of thousands of files reports each one: only a change that shows (a
    // thousandth) goes to the window.
    void StageAdvances(std::uint64_t done, std::uint64_t total) override {
        const int share = ShareOf(done, total);
        if (share == postedShare_)
            return;
        postedShare_ = share;
        Post(Advance{share, app_.shell_.Now()});
    }
    void FileLeftOut(const engine::LeftOutFile& file) override { Post(file); }
    // A close (QueryClose) stops the run.
    bool StopRequested() override { return app_.closePending_; }

    void Finish(engine::RunOutcome outcome, std::exception_ptr failure) {
        {
            std::lock_guard lock(mutex_);
            outcome_ = std::move(outcome);
            failure_ = failure;
            finished_ = true;
        }
        app_.shell_.Wake();
    }

    // --- On the window thread ---
    // Applies what has been reported so far; true once the run has ended.
    bool Apply() {
        // After a close the worker must not wait out a device that stopped answering.
        if (app_.closePending_ && !stopper_.Stopped())
            stopper_.Stop();
        std::vector<Report> reports;
        bool finished = false;
        {
            std::lock_guard lock(mutex_);
            reports.swap(queue_);
            finished = finished_;
        }
        for (Report& report : reports) {
            if (auto* caption = std::get_if<Caption>(&report)) {
                app_.EstadoLBL1.SetCaption(caption->counter);
                app_.EstadoLBL1.Refresh();
                app_.EstadoLBL2.SetCaption(caption->text);
                app_.EstadoLBL2.Refresh();
                progress_.StageBegins(caption->at);
            } else if (auto* advance = std::get_if<Advance>(&report)) {
                progress_.Advances(advance->share, advance->at);
            } else {
                app_.leftOut_.push_back(std::move(std::get<engine::LeftOutFile>(report)));
            }
            ShowProgress();
        }
        if (finished)
            return true;
        // A stage may grow long without a report (a final flush): the line is due all the same.
        progress_.Tick(app_.shell_.Now());
        ShowProgress();
        if (auto due = progress_.LineDue())
            app_.shell_.WakeAt(*due);
        return false;
    }
    // Once Apply has said the run ended. A worker that failed with an exception failed the
    // run, with the program's internal error.
    engine::RunOutcome Outcome() {
        if (failure_) {
            outcome_ = {engine::RunOutcome::Kind::Failed, InternalError(failure_), ""};
            if (app_.closePending_)
                outcome_.kind = engine::RunOutcome::Kind::Stopped;
        }
        progress_.Ends(outcome_.kind == engine::RunOutcome::Kind::Failed);
        ShowProgress();
        return std::move(outcome_);
    }

private:
    struct Caption {
        std::string counter, text;
        Shell::Clock::time_point at;
    };
    struct Advance {
        int share;
        Shell::Clock::time_point at;
    };
    using Report = std::variant<Caption, Advance, engine::LeftOutFile>;

    void Post(Report report) {
        bool first = false;
        {
            std::lock_guard lock(mutex_);
            first = queue_.empty();
            queue_.push_back(std::move(report));
        }
        // A wake is a call to the system (under Wine, to its server): one per batch the window
        // has not taken yet is enough, since it takes the whole queue.
        if (first)
            app_.shell_.Wake();
    }

    // Tells the window what changed.
    void ShowProgress() {
        if (!app_.host_)
            return;
        if (progress_.Line() != line_) {
            line_ = progress_.Line();
            app_.host_->ShowProgressLine(line_);
        }
        if (progress_.Taskbar() != taskbar_) {
            taskbar_ = progress_.Taskbar();
            app_.host_->ShowTaskbarProgress(taskbar_);
        }
    }

    static Error InternalError(const std::exception_ptr& failure) {
        Error e{errnum::Internal, kInternalErrorText, "proFN_Respaldar"};
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& what) {
            e.description += std::string(" ") + what.what();
        } catch (...) {
        }
        return e;
    }

    APLwAPP& app_;
    engine::Stopper& stopper_;
    int postedShare_ = -1; // the worker's
    std::mutex mutex_;     // guards what follows
    std::vector<Report> queue_;
    bool finished_ = false;
    engine::RunOutcome outcome_;
    std::exception_ptr failure_;
    // The window thread's.
    RunProgress progress_;
    ProgressLine line_;
    TaskbarProgress taskbar_;
};

bool APLwAPP::proFN_Respaldar(std::string D, std::string N) {
    // Only the end of the run that set it may clear the running state.
    if (running_)
        return false;
    leftOut_.clear();
    running_ = true;
    const ScopeExit notRunning([this] { running_ = false; });

    EstadoFRM.SetVisible(true);
    FormDaFRM.SetVisible(false);
    const bool chosen = ItemCheck.Tag() == "ON";
    // The option's own visibility setting counts, not whether it shows: its frame has just
    // been hidden.
    const engine::RunInput input{.destination = std::move(D),
                                 .name = std::move(N),
                                 .dataFolder = shell_.DataFolder(),
                                 .dataCentreChosen = chosen,
                                 .includeDataCentre = chosen && ItemCheck.Visible()};
    engine::Stopper stopper;
    RunDisplay display(*this, stopper);
    {
        // The file-system service is made, used and released on the worker alone.
        std::jthread worker([this, &input, &display, &stopper] {
            try {
                display.Finish(engine::Run(fileSystems_, input, display, &stopper), nullptr);
            } catch (...) {
                display.Finish({}, std::current_exception());
            }
        });
        // An exception out of the wait must not leave the worker running on while the join
        // waits for it: the run is stopped first.
        const ScopeExit stopOnUnwind([&stopper, before = std::uncaught_exceptions()] {
            if (std::uncaught_exceptions() > before)
                stopper.Stop();
        });
        shell_.RunUntil([&display] { return display.Apply(); });
    }
    const engine::RunOutcome outcome = display.Outcome();
    if (outcome.kind == engine::RunOutcome::Kind::Failed)
        ReportFailure(outcome);
    return outcome.kind == engine::RunOutcome::Kind::Completed;
}

void APLwAPP::ReportFailure(const engine::RunOutcome& outcome) {
    const Error& error = outcome.error;
    std::string text =
        "Número: " + std::to_string(error.number) + "\r\n" + "Descripción: " + error.description +
        "\r\n" + "\r\n" + "Fuente: " + error.source + "\r\n" +
        "Ventana: Principal           Proceso : proFN_Respaldar\r\n" + "Detalle : " + outcome.entry;
    shell_.MessageBox(text, "Ha ocurrido un error", mb::OkOnly);
}

void APLwAPP::BotonRespaldar_Click() {
    // One request at a time: a key or a click handled while this one asks, runs or reports
    // (message boxes and the wait for the run let messages through) must not start another.
    if (requestActive_)
        return;
    requestActive_ = true;
    const ScopeExit done([this] { requestActive_ = false; });

    const std::string N = engine::TrimSpaces(ItemText(Campo::Nombre).Text());
    const std::string D = engine::TrimSpaces(ItemText(Campo::Destino).Text());

    bool rejected = false;
    if (!engine::IsAcceptableName(N)) {
        ItemBorde(Campo::Nombre).SetBorderColor(palette::kFieldRejected);
        rejected = true;
    }
    // The folder part of D is taken as a folder path once; what the run appends to it then
    // reaches the file system unchanged.
    const std::string target = engine::NormalizeDestination(D);
    if (!engine::IsAcceptableDestination(target, shell_.DataFolder())) {
        ItemBorde(Campo::Destino).SetBorderColor(palette::kFieldRejected);
        return;
    }

    // The question comes before the refusal of the name, so it may be asked for a name that
    // is then refused; the backup never runs with one.
    if (Found(engine::BackupFile(target, N), Attr::Archive)) {
        const std::string question =
            "Ya existe un archivo con igual nombre '" + N + "'. ¿Desea sobreescribir éste archivo?";
        // Only Yes is consent: a box closed with the window (WM_CLOSE) answers neither.
        if (shell_.MessageBox(question, kTitle, mb::YesNoQuestion) != mb::AnswerYes)
            return;
    }
    if (rejected)
        return;

    shell_.SetPointer(ptr::Hourglass);
    const bool completed = proFN_Respaldar(target, N);

    // A close was asked for during the run: the run has stopped and the window goes now,
    // without an outcome and without a record of a backup that did not finish.
    if (closePending_) {
        if (host_)
            host_->Destroy();
        return;
    }

    if (completed) {
        EstadoLBL1.SetCaption(":)");
        EstadoLBL2.SetCaption("COMPLETADO CON EXITO");
        EstadoLBL1.SetForeColor(palette::kSuccess);
        EstadoLBL2.SetForeColor(palette::kSuccess);
        WriteLastDestination(D);
    } else {
        const std::string counter = EstadoLBL1.Caption(), stage = EstadoLBL2.Caption();
        EstadoLBL1.SetCaption(":(");
        EstadoLBL2.SetCaption("ERROR ERROR ERROR EN " + counter + " " + stage);
        EstadoLBL1.SetForeColor(palette::kFailure);
        EstadoLBL2.SetForeColor(palette::kFailure);
    }
    shell_.SetPointer(ptr::Default);

    if (completed && !leftOut_.empty())
        ReportLeftOut();
}

// The backup itself is done: a log that cannot be written (a program folder without write
// permission, a folder named "RS.log") only means the next start does not fill the
// destination in, so it is passed over.
void APLwAPP::WriteLastDestination(const std::string& D) {
    auto fs = fileSystems_();
    if (!fs)
        return;
    auto stream = fs.value()->CreateTextFile(shell_.DataFolder() + "\\RS.log");
    if (!stream)
        return;
    (void)stream.value()->WriteLine(D);
    (void)stream.value()->Close();
}

void APLwAPP::ReportLeftOut() {
    std::string text = "El respaldo terminó, pero no se pudieron copiar " +
                       std::to_string(leftOut_.size()) + " archivo(s) del centro de datos:\r\n";
    const std::size_t listed = std::min(leftOut_.size(), kLeftOutListed);
    for (std::size_t i = 0; i < listed; ++i)
        text += "\r\n" + leftOut_[i].path;
    if (leftOut_.size() > listed)
        text += "\r\n... y " + std::to_string(leftOut_.size() - listed) + " más.";
    shell_.MessageBox(text, kTitle, mb::Exclamation);
}

} // namespace vqx
