// The backup run: the database into D + N + ".vqxdb", then the data centre into
// D + "Respaldo VQX", showing each stage in the status panel.
#include "window/APLwAPP.h"

namespace vqx {
namespace {

struct Stage {
    const char* counter;
    const char* caption;
    const char* folder; // under D
    const char* source; // under the data folder, with its trailing "\"
};

constexpr Stage kStages[] = {
    {"2/6", "COPIANDO CENTRO DE DATOS", "Respaldo VQX", "\\VQX Datos\\"},
    {"3/6", "COPIANDO EL ARCHIVO", "Respaldo VQX\\Archivo", "\\VQX Datos\\Archivo\\"},
    {"4/6", "COPIANDO LAS PLANTILLAS", "Respaldo VQX\\Plantillas", "\\VQX Datos\\Plantillas\\"},
    {"5/6", "COPIANDO LAS REFERENCIAS", "Respaldo VQX\\Referencias", "\\VQX Datos\\Referencias\\"},
    {"6/6", "COPIANDO INFORMES", "Respaldo VQX\\Informes", "\\VQX Datos\\Informes\\"},
};

// Yield to the window at most this often during one long copy.
constexpr std::uint64_t kYieldIntervalMs = 50;

} // namespace

bool APLwAPP::proFN_Respaldar(std::string D, std::string N) {
    // Only the end of the run that set it may clear the running state.
    if (running_)
        return false;
    std::string entry; // the name the enumeration returned last
    leftOut_.clear();
    running_ = true;
    struct RunningGuard {
        bool& flag;
        ~RunningGuard() { flag = false; }
    } guard{running_};

    // Stage 1, the database: a failure here is reported and ends the run.
    EstadoFRM.SetVisible(true);
    FormDaFRM.SetVisible(false);
    EstadoLBL1.SetCaption(std::string("1/") + (ItemCheck.Tag() == "ON" ? "6" : "1"));
    EstadoLBL1.Refresh();
    EstadoLBL2.SetCaption("COPIANDO BASE DE DATOS");
    EstadoLBL2.Refresh();

    auto created = fileSystems_();
    if (!created)
        return ReportStageOneFailure(created.error(), entry);
    FileSystem& fs = *created.value();

    std::string database;
    for (const char* name : {"\\VQX Datos.mdb", "\\VQX Datos.accdb"}) {
        std::string path = shell_.DataFolder() + name;
        auto found = fs.Exists(path, Attr::Normal);
        if (!found)
            return ReportStageOneFailure(found.error(), entry);
        if (!found.value().empty()) {
            database = path;
            break;
        }
    }
    // A run without a database has backed up nothing: that is a failure, not a success.
    if (database.empty())
        return ReportStageOneFailure(fs.FileNotFound("CopyFile"), entry);

    lastYield_ = shell_.TickMs();
    Status copied =
        fs.CopyFile(database, D + N + ".vqxdb", true, [this] { return YieldAndGoOn(); });
    if (!copied)
        return ReportStageOneFailure(copied.error(), entry);
    if (closePending_)
        return false;

    // Stages 2 to 6, the data centre: failures are passed over, and listed.
    if (ItemCheck.Visible() && ItemCheck.Tag() == "ON") {
        for (int stage = 0; stage < 5 && !closePending_; ++stage)
            CopyDataCentreStage(fs, D, stage, entry);
    }
    return !closePending_;
}

void APLwAPP::CopyDataCentreStage(FileSystem& fs, const std::string& D, int index,
                                  std::string& entry) {
    const Stage& stage = kStages[index];
    EstadoLBL1.SetCaption(stage.counter);
    EstadoLBL1.Refresh();
    EstadoLBL2.SetCaption(stage.caption);
    EstadoLBL2.Refresh();

    const std::string folder = D + stage.folder;
    auto exists = fs.Exists(folder, Attr::Directory);
    if (!exists || exists.value().empty()) {
        // A folder that cannot be made shows up as every copy into it failing.
        (void)fs.MakeFolder(folder);
    }

    const std::string source = shell_.DataFolder() + stage.source;
    const std::string relative = std::string(stage.source).substr(1); // "VQX Datos\..."
    auto first = fs.Exists(source + "*.*", Attr::Archive);
    if (!first) {
        leftOut_.push_back({relative + "*.*", first.error()});
        return;
    }
    entry = first.value();
    while (!entry.empty()) {
        lastYield_ = shell_.TickMs();
        Status copied = fs.CopyFile(source + entry, folder + "\\" + entry, false,
                                    [this] { return YieldAndGoOn(); });
        if (closePending_)
            return; // the cancelled copy left nothing behind; start no other
        // A file already in the backup keeps its older copy: that is not a failure.
        if (!copied && copied.error().number != errnum::FileExists &&
            copied.error().number != errnum::AlreadyExists)
            leftOut_.push_back({relative + entry, copied.error()});

        auto next = fs.NextMatch();
        if (!next) {
            leftOut_.push_back({relative + "*.*", next.error()});
            entry.clear();
        } else {
            entry = next.value();
        }
        shell_.Yield();
        if (closePending_)
            return;
    }
}

// Lets the window breathe during a long copy; false once a close has been asked for.
bool APLwAPP::YieldAndGoOn() {
    std::uint64_t now = shell_.TickMs();
    if (now - lastYield_ >= kYieldIntervalMs) {
        lastYield_ = now;
        shell_.Yield();
    }
    return !closePending_;
}

bool APLwAPP::ReportStageOneFailure(const Error& error, const std::string& entry) {
    // A close asked for during the copy cancelled it: the window is going, say nothing.
    if (closePending_)
        return false;
    std::string text =
        "Número: " + std::to_string(error.number) + "\r\n" + "Descripción: " + error.description +
        "\r\n" + "\r\n" + "Fuente: " + error.source + "\r\n" +
        "Ventana: Principal           Proceso : proFN_Respaldar\r\n" + "Detalle : " + entry;
    shell_.MessageBox(text, "Ha ocurrido un error", mb::OkOnly);
    return false;
}

} // namespace vqx
