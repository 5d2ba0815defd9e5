// The press of "Respaldar": checks the two fields, asks before an existing backup file is
// replaced, runs the backup, shows its outcome and, after a success, records the destination
// in "RS.log" for the next start.
#include "platform/PathRules.h"
#include "window/APLwAPP.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace vqx {
namespace {

constexpr std::uint32_t kRejected = 5987062;  // red: rejected field, failed run
constexpr std::uint32_t kSucceeded = 6403197; // green: successful run

// At most this many left-out files are named in the message; the rest are counted.
constexpr std::size_t kLeftOutListed = 10;

std::string TrimSpaces(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Tested as substrings of the UTF-8 text: "¿" is two bytes, and a whole-sequence match can
// only hit that character, never a byte of another one.
constexpr std::array<std::string_view, 9> kForbidden = {"<", "|", "\\", "/", ">",
                                                        ":", "?", "*",  "¿"};

// A name the backup may use: not empty, none of the nine forbidden characters, no control
// character (Windows refuses them in file names) and no device name. The double quote is
// let through: the copy then fails and the run reports it.
bool AcceptableName(const std::string& N) {
    if (N.empty())
        return false;
    for (std::string_view c : kForbidden)
        if (N.find(c) != std::string::npos)
            return false;
    for (unsigned char c : N)
        if (c < 0x20)
            return false;
    return !IsDeviceName(N);
}

} // namespace

// A destination the backup may write to: an absolute path (a relative one would land wherever
// the current folder is) outside the data centre (a backup there would be copied into every
// later backup, growing the data with each run).
bool APLwAPP::AcceptableDestination(const std::string& D) {
    return !D.empty() && IsAbsoluteDestination(D) &&
           !IsInsideFolder(D, shell_.DataFolder() + "\\VQX Datos");
}

void APLwAPP::BotonRespaldar_Click() {
    // One request at a time: a key or a click handled while this one asks, runs or reports
    // (message boxes and yields let messages through) must not start another.
    if (requestActive_)
        return;
    requestActive_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{requestActive_};

    const std::string N = TrimSpaces(ItemText(1).Text());
    const std::string D = TrimSpaces(ItemText(2).Text());

    bool rejected = false;
    if (!AcceptableName(N)) {
        ItemBorde(1).SetBorderColor(kRejected);
        rejected = true;
    }
    // The folder part of D is taken as a folder path once; what the run appends to it then
    // reaches the file system unchanged.
    const std::string target = NormalizeDestination(D);
    if (!AcceptableDestination(target)) {
        ItemBorde(2).SetBorderColor(kRejected);
        return;
    }

    // The question comes before the refusal of the name, so it may be asked for a name that
    // is then refused; the backup never runs with one.
    if (Found(target + N + ".vqxdb", Attr::Archive)) {
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
        EstadoLBL1.SetForeColor(kSucceeded);
        EstadoLBL2.SetForeColor(kSucceeded);
        WriteLastDestination(D);
    } else {
        const std::string counter = EstadoLBL1.Caption(), stage = EstadoLBL2.Caption();
        EstadoLBL1.SetCaption(":(");
        EstadoLBL2.SetCaption("ERROR ERROR ERROR EN " + counter + " " + stage);
        EstadoLBL1.SetForeColor(kRejected);
        EstadoLBL2.SetForeColor(kRejected);
    }
    shell_.SetPointer(ptr::Default);

    if (completed && !leftOut_.empty())
        ReportLeftOut();
}

bool APLwAPP::Found(const std::string& path, Attr attr) {
    auto fs = fileSystems_();
    if (!fs)
        return false;
    auto found = fs.value()->Exists(path, attr);
    return found && !found.value().empty();
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
