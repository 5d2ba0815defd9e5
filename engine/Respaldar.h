// The backup run: the database of the data folder into D + N + ".vqxdb", then, when asked
// for, the plain files of the data centre into D + "Respaldo VQX". It knows nothing of the
// window: it tells its observer what it does and asks it whether to stop.
#pragma once

#include "platform/FileSystem.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace vqx::engine {

// One stage as the status panel names it.
struct Stage {
    std::string_view counter; // "1/6" or "1/1" for the database, then "2/6" to "6/6"
    std::string_view caption; // "COPIANDO BASE DE DATOS", ...
};

// A data-centre file the run could not copy, by its path under the data folder.
struct LeftOutFile {
    std::string path; // e.g. "VQX Datos\Archivo\factura.pdf"
    Error reason;
};

struct RunInput {
    std::string destination; // D: a plain prefix, expected to end with "\"
    std::string name;        // N: the backup's name, without extension
    std::string dataFolder;  // where the database and "VQX Datos" lie, without a trailing "\"
    // The user chose the data centre: the database stage then counts "1/6".
    bool dataCentreChosen = false;
    // Stages 2 to 6 run. Separate from the choice: an option that is on but was hidden still
    // counts "1/6" and copies only the database.
    bool includeDataCentre = false;
};

// What the run reports while it goes, on the thread it runs on, and what it asks.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // A stage begins; its counter and caption are to be shown before its work starts.
    virtual void StageBegins(const Stage& stage) = 0;
    // How far the current stage has come, for an observer that shows it (nothing by default):
    // bytes of the database in stage 1, files of the folder in stages 2 to 6, `done` out of
    // `total`. Reported from 0 at the start of the stage's work and each time it changes;
    // `done` never goes back and never passes `total` within a stage.
    virtual void StageAdvances(std::uint64_t /*done*/, std::uint64_t /*total*/) {}
    // A data-centre file could not be copied; the run goes on without it.
    virtual void FileLeftOut(const LeftOutFile& file) = 0;
    // Asked during each copy and between entries: true cancels the copy under way and ends
    // the run there.
    virtual bool StopRequested() = 0;
};

struct RunOutcome {
    enum class Kind {
        Completed, // every stage came to its end; files may have been left out
        // A stage failed: the database stage, or a later one whose destination went away
        // (`error`, with the current `entry`).
        Failed,
        Stopped, // the observer asked the run to stop
    };
    Kind kind = Kind::Completed;
    Error error;
    std::string entry; // the name the enumeration returned last; empty in stage 1
};

// Stops a run from another thread at once (the window, when it is closed during a run): the
// run stops at its next check, and the file calls its threads are blocked in are cancelled.
class Stopper {
public:
    void Stop();
    bool Stopped() const { return stopped_; }

    // For the run: the file-system service whose calls a stop cancels, while it lives.
    void Attach(FileSystem* fs);

private:
    std::atomic<bool> stopped_ = false;
    std::mutex mutex_; // guards fs_
    FileSystem* fs_ = nullptr;
};

// The backup file of a request: D + N + ".vqxdb", D taken as a plain prefix.
std::string BackupFile(std::string_view destination, std::string_view name);

// Runs a backup. One file-system service is made for the run, once the first stage has been
// announced: a service that cannot be made is a failure of that stage.
RunOutcome Run(const FileSystemFactory& fileSystems, const RunInput& input, RunObserver& observer,
               Stopper* stopper = nullptr);

} // namespace vqx::engine
