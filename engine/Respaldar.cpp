// The backup run: stage 1 copies the database and reports its failure; stages 2 to 6 copy one
// level of the data centre each, passing failures over and listing the files left out.
#include "engine/Respaldar.h"

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
    Runner(const RunInput& input, RunObserver& observer) : in_(input), observer_(observer) {}

    RunOutcome Run(const FileSystemFactory& fileSystems) {
        // Stage 1, the database: a failure here ends the run and is reported.
        observer_.StageBegins(in_.dataCentreChosen ? kDatabaseOfSix : kDatabaseOnly);
        auto created = fileSystems();
        if (!created)
            return StageOneFailed(created.error());
        FileSystem& fs = *created.value();

        std::string database;
        for (std::string_view name : kDatabases) {
            std::string path = in_.dataFolder + std::string(name);
            auto found = fs.Exists(path, Attr::Normal);
            if (!found)
                return StageOneFailed(found.error());
            if (!found.value().empty()) {
                database = std::move(path);
                break;
            }
        }
        // A run without a database has backed up nothing: that is a failure, not a success.
        if (database.empty())
            return StageOneFailed(fs.FileNotFound("CopyFile"));

        observer_.CopyBegins();
        Status copied = fs.CopyFile(database, BackupFile(in_.destination, in_.name), true,
                                    [this] { return GoOn(); });
        if (!copied)
            return StageOneFailed(copied.error());
        if (observer_.StopRequested())
            return {RunOutcome::Kind::Stopped};

        // Stages 2 to 6, the data centre: failures are passed over, and listed.
        if (in_.includeDataCentre) {
            for (const DataCentreStage& stage : kDataCentre) {
                if (observer_.StopRequested())
                    break;
                CopyDataCentreStage(fs, stage);
            }
        }
        return {observer_.StopRequested() ? RunOutcome::Kind::Stopped
                                          : RunOutcome::Kind::Completed};
    }

private:
    RunOutcome StageOneFailed(Error error) {
        // A copy cancelled on request is no failure to report: the run was stopped.
        if (observer_.StopRequested())
            return {RunOutcome::Kind::Stopped};
        return {RunOutcome::Kind::StageOneFailed, std::move(error), entry_};
    }

    bool GoOn() {
        observer_.CopyAdvances();
        return !observer_.StopRequested();
    }

    void CopyDataCentreStage(FileSystem& fs, const DataCentreStage& stage) {
        observer_.StageBegins(stage.stage);

        const std::string folder = in_.destination + std::string(stage.folder);
        auto exists = fs.Exists(folder, Attr::Directory);
        if (!exists || exists.value().empty()) {
            // A folder that cannot be made shows up as every copy into it failing.
            (void)fs.MakeFolder(folder);
        }

        const std::string source = in_.dataFolder + std::string(stage.source);
        const std::string relative(stage.source.substr(1)); // "VQX Datos\..."
        auto first = fs.Exists(source + "*.*", Attr::Archive);
        if (!first) {
            observer_.FileLeftOut({relative + "*.*", first.error()});
            return;
        }
        entry_ = first.value();
        std::size_t done = 0;
        while (!entry_.empty()) {
            observer_.CopyBegins();
            Status copied = fs.CopyFile(source + entry_, folder + "\\" + entry_, false,
                                        [this] { return GoOn(); });
            if (observer_.StopRequested())
                return; // the cancelled copy left nothing behind; start no other
            // A file already in the backup keeps its older copy: that is not a failure.
            if (!copied && copied.error().number != errnum::FileExists &&
                copied.error().number != errnum::AlreadyExists)
                observer_.FileLeftOut({relative + entry_, copied.error()});

            auto next = fs.NextMatch();
            if (!next) {
                observer_.FileLeftOut({relative + "*.*", next.error()});
                entry_.clear();
            } else {
                entry_ = next.value();
            }
            observer_.EntryDone(++done);
            if (observer_.StopRequested())
                return;
        }
    }

    const RunInput& in_;
    RunObserver& observer_;
    std::string entry_; // the name the enumeration returned last
};

} // namespace

std::string BackupFile(std::string_view destination, std::string_view name) {
    return std::string(destination) + std::string(name) + ".vqxdb";
}

RunOutcome Run(const FileSystemFactory& fileSystems, const RunInput& input, RunObserver& observer) {
    return Runner(input, observer).Run(fileSystems);
}

} // namespace vqx::engine
