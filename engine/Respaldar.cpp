// The backup run: stage 1 copies the database and reports its failure; stages 2 to 6 copy one
// level of the data centre each, passing a file's failure over and listing the file, but
// failing as stage 1 does when the destination itself has gone.
#include "engine/Respaldar.h"

#include "engine/Solicitud.h"
#include "platform/ScopeExit.h"

#include <optional>
#include <set>

namespace vqx::engine {
namespace {

struct DataCentreStage {
    Stage stage;
    std::string_view folder; // under D
    std::string_view source; // under the data folder, with its leading and trailing "\"
};

constexpr Stage kDatabaseOfSix{"1/6", "COPIANDO BASE DE DATOS"};
constexpr Stage kDatabaseOnly{"1/1", "COPIANDO BASE DE DATOS"};

constexpr DataCentreStage kDataCentre[] = {
    {{"2/6", "COPIANDO CENTRO DE DATOS"}, "Respaldo VQX", "\\VQX Datos\\"},
    {{"3/6", "COPIANDO EL ARCHIVO"}, "Respaldo VQX\\Archivo", "\\VQX Datos\\Archivo\\"},
    {{"4/6", "COPIANDO LAS PLANTILLAS"}, "Respaldo VQX\\Plantillas", "\\VQX Datos\\Plantillas\\"},
    {{"5/6", "COPIANDO LAS REFERENCIAS"},
     "Respaldo VQX\\Referencias",
     "\\VQX Datos\\Referencias\\"},
    {{"6/6", "COPIANDO INFORMES"}, "Respaldo VQX\\Informes", "\\VQX Datos\\Informes\\"},
};

// Tried in this order; whichever is found is copied under the one extension ".vqxdb".
constexpr std::string_view kDatabases[] = {"\\VQX Datos.mdb", "\\VQX Datos.accdb"};

class Runner {
public:
    Runner(const RunInput& input, RunObserver& observer, Stopper* stopper)
        : in_(input), observer_(observer), stopper_(stopper) {}

    RunOutcome Run(const FileSystemFactory& fileSystems) {
        // Stage 1, the database: a failure here ends the run and is reported.
        Begin(in_.dataCentreChosen ? kDatabaseOfSix : kDatabaseOnly);
        auto created = fileSystems();
        if (!created)
            return Failed(created.error());
        FileSystem& fs = *created.value();
        // A stop cancels the service's calls for as long as it lives.
        if (stopper_)
            stopper_->Attach(&fs);
        const ScopeExit detach([this] {
            if (stopper_)
                stopper_->Attach(nullptr);
        });

        std::string database;
        for (std::string_view name : kDatabases) {
            std::string path = in_.dataFolder + std::string(name);
            auto found = fs.Exists(path, Attr::Normal);
            if (!found)
                return Failed(found.error());
            if (!found.value().empty()) {
                database = std::move(path);
                break;
            }
        }
        // A run without a database has backed up nothing: that is a failure, not a success.
        if (database.empty())
            return Failed(fs.FileNotFound("CopyFile"));

        const std::string backup = BackupFile(in_.destination, in_.name);
        if (auto refused = NoRoomFor(fs, database, backup))
            return Failed(*refused);
        Status copied =
            fs.CopyFile(database, backup, true, [this](std::uint64_t done, std::uint64_t size) {
                Advance(done, size);
                return !StopRequested();
            });
        if (!copied)
            return Failed(copied.error());
        if (StopRequested())
            return {RunOutcome::Kind::Stopped};

        // Stages 2 to 6, the data centre: a file's failure is passed over, and listed.
        if (in_.includeDataCentre) {
            for (const DataCentreStage& stage : kDataCentre) {
                if (StopRequested())
                    break;
                if (auto failed = CopyDataCentreStage(fs, stage))
                    return Failed(std::move(*failed));
            }
        }
        return {StopRequested() ? RunOutcome::Kind::Stopped : RunOutcome::Kind::Completed};
    }

private:
    bool StopRequested() { return observer_.StopRequested() || (stopper_ && stopper_->Stopped()); }

    RunOutcome Failed(Error error) {
        // A copy cancelled on request is no failure to report: the run was stopped.
        if (StopRequested())
            return {RunOutcome::Kind::Stopped};
        return {RunOutcome::Kind::Failed, std::move(error), entry_};
    }

    // What is known before a byte is written: a destination that cannot hold the database,
    // for its free space (the earlier backup stays until the copy has its name, so it does
    // not count) or for its file system's largest file. Where the system cannot say, the copy
    // goes ahead and finds out.
    static std::optional<Error> NoRoomFor(FileSystem& fs, const std::string& database,
                                          const std::string& backup) {
        constexpr std::uint64_t kFatLargest = (std::uint64_t{1} << 32) - 1;
        const auto size = fs.FileSize(database);
        if (!size)
            return std::nullopt;
        const std::string folder = backup.substr(0, backup.find_last_of('\\') + 1);
        if (const auto free = fs.FreeSpace(folder); free && size.value() > free.value())
            return fs.PlatformError(errnum::DiskFull, "CopyFile");
        if (size.value() > kFatLargest) {
            const auto name = fs.FileSystemName(folder);
            if (name && IsFat(name.value()))
                return fs.PlatformError(errnum::FileTooLarge, "CopyFile");
        }
        return std::nullopt;
    }
    // FAT12, FAT16 and FAT32 hold files below 4 GiB; exFAT does not share the limit.
    static bool IsFat(std::string_view fileSystem) {
        return NameKey(fileSystem).starts_with(U"FAT");
    }

    void Begin(const Stage& stage) {
        observer_.StageBegins(stage);
        shown_ = {~std::uint64_t{0}, 0};
    }
    // Tells the observer how far the stage has come, when that has changed.
    void Advance(std::uint64_t done, std::uint64_t total) {
        if (shown_ == std::pair{done, total})
            return;
        shown_ = {done, total};
        observer_.StageAdvances(done, total);
    }

    // The plain files of a data-centre folder, listed once: they are the stage's count of work.
    // A listing that fails is reported as the folder left out. False when a stop came first.
    bool ListSource(FileSystem& fs, const std::string& source, const std::string& relative,
                    std::vector<std::string>& names) {
        for (auto next = fs.Exists(source + "*.*", Attr::Archive);; next = fs.NextMatch()) {
            if (!next) {
                observer_.FileLeftOut({relative + "*.*", next.error()});
                return true;
            }
            if (next.value().empty())
                return true;
            names.push_back(std::move(next).value());
            if (StopRequested())
                return false;
        }
    }

    // What the backup holds already keeps its older copy, and is not read again. The listing
    // only spares work: a copy never takes the name of a file that is there.
    static std::set<std::u32string> AlreadyThere(FileSystem& fs, const std::string& folder) {
        std::set<std::u32string> there;
        if (auto listed = fs.ListFiles(folder))
            for (const std::string& name : listed.value())
                there.insert(NameKey(name));
        return there;
    }

    // A stage's work; the error that ended the run, when its destination went away.
    std::optional<Error> CopyDataCentreStage(FileSystem& fs, const DataCentreStage& stage) {
        Begin(stage.stage);

        // After a step into the destination fails, the destination itself is asked: a stick
        // pulled out or a share dropped fails the run, where one file's failure is passed over.
        const auto destinationGone = [&] { return fs.Gone(in_.destination); };

        const std::string folder = in_.destination + std::string(stage.folder);
        auto exists = fs.Exists(folder, Attr::Directory);
        if (!exists || exists.value().empty()) {
            // A folder that cannot be made shows up as every copy into it failing.
            if (Status made = fs.MakeFolder(folder); !made && destinationGone())
                return made.error();
        }

        const std::string source = in_.dataFolder + std::string(stage.source);
        const std::string relative(stage.source.substr(1)); // "VQX Datos\..."
        std::vector<std::string> names;
        if (!ListSource(fs, source, relative, names))
            return std::nullopt;
        const std::set<std::u32string> there = AlreadyThere(fs, folder);

        const std::uint64_t total = names.size();
        std::uint64_t done = 0;
        Advance(done, total);
        auto batch = fs.StartBatch();
        const GoOn goOn = [this] { return !StopRequested(); };
        // Copies side by side share the free space: one that found the disk full may have
        // found it filled by another that failed since. They are tried again one by one at the
        // end of the stage, as copies one after the other would have found the disk.
        std::vector<std::string> again;
        bool lastTry = false;
        std::optional<Error> failure; // the destination went away
        // A copy that ended: a failure is listed, a file already there is not one.
        auto ended = [&](const std::string& name, const Status& status) {
            if (!status && status.error().number == errnum::DiskFull && !lastTry) {
                again.push_back(name);
                return;
            }
            if (!status && status.error().number != errnum::FileExists &&
                status.error().number != errnum::AlreadyExists) {
                if (failure || destinationGone()) {
                    failure = failure.value_or(status.error());
                    return;
                }
                observer_.FileLeftOut({relative + name, status.error()});
            }
            Advance(++done, total);
        };
        auto collect = [&](bool all) {
            for (const CopyBatch::Finished& f : batch.value()->Collect(all, goOn))
                ended(f.target.substr(folder.size() + 1), f.status);
        };
        // The copies still under way are stopped, and a call of theirs blocked on a device
        // that stopped answering is cancelled; the batch removes their temporaries.
        const auto abandon = [&] {
            fs.CancelCalls();
            return failure;
        };
        for (const std::string& name : names) {
            entry_ = name;
            if (there.contains(NameKey(name))) {
                ended(name, {});
                continue;
            }
            if (!batch) {
                ended(name, batch.error());
                if (failure)
                    return failure;
                continue;
            }
            Status added = batch.value()->Add(source + name, folder + "\\" + name, goOn);
            if (StopRequested())
                return std::nullopt; // the batch stops and discards what is not in place
            if (!added)
                ended(name, added);
            collect(false);
            if (failure)
                return abandon();
        }
        if (!batch)
            return std::nullopt;
        collect(true);
        lastTry = true;
        for (const std::string& name : again) {
            if (failure || StopRequested())
                break;
            Status added = batch.value()->Add(source + name, folder + "\\" + name, goOn);
            if (!added)
                ended(name, added);
            collect(true);
        }
        return failure ? abandon() : std::nullopt;
    }

    const RunInput& in_;
    RunObserver& observer_;
    Stopper* stopper_;
    std::string entry_;                             // the name the enumeration returned last
    std::pair<std::uint64_t, std::uint64_t> shown_; // the progress last told, done and total
};

} // namespace

std::string BackupFile(std::string_view destination, std::string_view name) {
    return std::string(destination) + std::string(name) + ".vqxdb";
}

void Stopper::Stop() {
    stopped_ = true;
    std::lock_guard lock(mutex_);
    if (fs_)
        fs_->CancelCalls();
}

void Stopper::Attach(FileSystem* fs) {
    std::lock_guard lock(mutex_);
    fs_ = fs;
    if (fs_ && stopped_)
        fs_->CancelCalls();
}

RunOutcome Run(const FileSystemFactory& fileSystems, const RunInput& input, RunObserver& observer,
               Stopper* stopper) {
    return Runner(input, observer, stopper).Run(fileSystems);
}

} // namespace vqx::engine
