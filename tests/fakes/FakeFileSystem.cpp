#include "tests/fakes/FakeFileSystem.h"

#include "platform/CopyTemporary.h"

#include <algorithm>
#include <iterator>
#include <thread>

namespace vqx::fake {
namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// "*" and "?" in a name, ignoring ASCII case; "*.*" matches every name, as on Windows.
bool WildMatch(const std::string& pattern, const std::string& name) {
    if (pattern == "*.*" || pattern == "*")
        return true;
    std::size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::string NamePart(const std::string& path) {
    auto pos = path.find_last_of('\\');
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

// A target held open is waited for this many times before the copy fails, as on disk.
constexpr int kRenamePauses = 5;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The first line of UTF-16 LE bytes (after their byte-order mark), as UTF-8; unpaired
// surrogates become U+FFFD.
std::string FirstUtf16Line(const std::string& bytes) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit == u'\r' || unit == u'\n' || unit == u'\0')
            break;
        units += unit;
    }
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (units[++i] - 0xDC00));
        } else {
            AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? char32_t{0xFFFD} : char32_t{u});
        }
    }
    return out;
}

std::string Describe(std::int32_t number) {
    switch (number) {
    case errnum::FileNotFound:
        return "The system cannot find the file specified.";
    case errnum::PathNotFound:
        return "The system cannot find the path specified.";
    case errnum::AccessDenied:
        return "Access is denied.";
    case errnum::SharingViolation:
        return "The process cannot access the file because it is being used by another process.";
    case errnum::FileExists:
        return "The file exists.";
    case errnum::AlreadyExists:
        return "Cannot create a file when that file already exists.";
    case errnum::DiskFull:
        return "There is not enough space on the disk.";
    case errnum::Cancelled:
        return "The request was aborted.";
    case errnum::Crc:
        return "Data error (cyclic redundancy check).";
    case errnum::FileTooLarge:
        return "The file size exceeds the limit allowed and cannot be saved.";
    default:
        return "Unexpected failure.";
    }
}

} // namespace

void FakeFileSystem::Record(std::string call) {
    if (std::this_thread::get_id() == windowThread && windowBusy && windowBusy())
        windowCalls.push_back(call);
    calls.push_back(std::move(call));
}

class FakeTextStream : public TextStream {
public:
    FakeTextStream(FakeFileSystem& fs, std::string key) : fs_(fs), key_(std::move(key)) {}
    Status WriteLine(const std::string& text) override {
        if (auto e = fs_.Injected(Op::WriteLine, fs_.entries_.at(key_).path))
            return *e;
        fs_.entries_.at(key_).data += text + "\r\n";
        return {};
    }
    Result<std::string> ReadLine() override {
        const std::string& d = fs_.entries_.at(key_).data;
        if (d.rfind("\xFF\xFE", 0) == 0)
            return FirstUtf16Line(d.substr(2));
        std::size_t start = d.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
        std::size_t end = d.find_first_of(std::string("\r\n\0", 3), start);
        return d.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    Status Close() override { return {}; }

private:
    FakeFileSystem& fs_;
    std::string key_;
};

std::string FakeFileSystem::Key(const std::string& path) {
    std::string k = path;
    while (k.size() > 3 && k.back() == '\\')
        k.pop_back();
    std::transform(k.begin(), k.end(), k.begin(), Lower);
    return k;
}

std::string FakeFileSystem::Parent(const std::string& path) {
    auto pos = path.find_last_of('\\');
    if (pos == std::string::npos)
        return {};
    return pos == 2 ? path.substr(0, 3) : path.substr(0, pos);
}

Error FakeFileSystem::MakeError(std::int32_t number, const std::string& source) {
    return Error{number, Describe(number), source};
}

Result<std::uint64_t> FakeFileSystem::FileSize(const std::string& path) {
    Record("FileSize " + path);
    const Entry* e = Find(path);
    if (!e || e->dir)
        return MakeError(errnum::FileNotFound, "FileSize");
    const auto declared = sizes_.find(Key(path));
    return declared != sizes_.end() ? declared->second : std::uint64_t{e->data.size()};
}

Result<std::uint64_t> FakeFileSystem::FreeSpace(const std::string& folder) {
    Record("FreeSpace " + folder);
    if (!freeSpace_)
        return MakeError(errnum::Win32(50), "FreeSpace"); // not supported
    return *freeSpace_;
}

bool FakeFileSystem::Gone(const std::string& folder) {
    Record("Gone " + folder);
    std::string path = folder;
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return !IsFolder(path);
}

Result<std::string> FakeFileSystem::FileSystemName(const std::string& folder) {
    Record("FileSystemName " + folder);
    if (!fileSystem_)
        return MakeError(errnum::Win32(50), "FileSystemName");
    return *fileSystem_;
}

Error FakeFileSystem::PlatformError(std::int32_t number, const std::string& source) const {
    return MakeError(number, source);
}

Error FakeFileSystem::FileNotFound(const std::string& source) const {
    return MakeError(errnum::FileNotFound, source);
}

void FakeFileSystem::AddFolder(const std::string& path) {
    std::string parent = Parent(path);
    if (!parent.empty() && parent != path && !entries_.count(Key(parent)))
        AddFolder(parent);
    Entry& e = entries_[Key(path)];
    e.path = path;
    e.dir = true;
}

void FakeFileSystem::AddFile(const std::string& path, const std::string& data, bool hidden,
                             bool system) {
    AddFolder(Parent(path));
    entries_[Key(path)] = Entry{path, false, hidden, system, false, data};
}

void FakeFileSystem::Remove(const std::string& path) {
    std::string k = Key(path);
    for (auto it = entries_.begin(); it != entries_.end();)
        it = (it->first == k || it->first.rfind(k + "\\", 0) == 0) ? entries_.erase(it) : ++it;
}

void FakeFileSystem::Lock(const std::string& path, bool locked) {
    entries_.at(Key(path)).locked = locked;
}

const FakeFileSystem::Entry* FakeFileSystem::Find(const std::string& path) const {
    auto it = entries_.find(Key(path));
    return it == entries_.end() ? nullptr : &it->second;
}

bool FakeFileSystem::IsFile(const std::string& path) const {
    const Entry* e = Find(path);
    return e && !e->dir;
}

bool FakeFileSystem::IsFolder(const std::string& path) const {
    const Entry* e = Find(path);
    return e && e->dir;
}

std::string FakeFileSystem::Read(const std::string& path) const {
    const Entry* e = Find(path);
    return e && !e->dir ? e->data : std::string();
}

std::vector<std::string> FakeFileSystem::List() const {
    std::vector<std::string> out;
    for (const auto& [k, e] : entries_)
        out.push_back(e.path + (e.dir ? "\\" : ""));
    return out;
}

void FakeFileSystem::FailOn(Op op, const std::string& path, Error error) {
    faults_.push_back({op, Key(path), std::move(error)});
}

void FakeFileSystem::FailCopyMidway(const std::string& target, int afterChunks, Error error,
                                    int times) {
    midway_.push_back({Key(target), afterChunks, std::move(error), times});
}

std::optional<Error> FakeFileSystem::Injected(Op op, const std::string& path) const {
    std::string k = Key(path);
    for (const Fault& f : faults_)
        if (f.op == op && f.key == k)
            return f.error;
    return std::nullopt;
}

Result<std::string> FakeFileSystem::Exists(const std::string& pathOrPattern, Attr attr) {
    Record("Exists " + pathOrPattern + " " + std::to_string(static_cast<int>(attr)));
    enumerating_ = false;
    pending_.clear();
    if (auto e = Injected(Op::Exists, pathOrPattern))
        return *e;
    auto accepts = [attr](const Entry& e) {
        if (e.hidden || e.system)
            return false;
        return !e.dir || attr == Attr::Directory;
    };
    std::string name = NamePart(pathOrPattern);
    if (name.find_first_of("*?") == std::string::npos) {
        const Entry* e = Find(pathOrPattern);
        return (e && accepts(*e)) ? NamePart(e->path) : std::string();
    }
    std::string parentKey = Key(Parent(pathOrPattern));
    for (const auto& [k, e] : entries_)
        if (Key(Parent(e.path)) == parentKey && k != parentKey && accepts(e) &&
            WildMatch(name, NamePart(e.path)))
            pending_.push_back(NamePart(e.path));
    enumerating_ = true;
    return NextMatch();
}

Result<std::string> FakeFileSystem::NextMatch() {
    Record("NextMatch");
    if (auto e = Injected(Op::NextMatch, ""))
        return *e;
    if (!enumerating_)
        return MakeError(errnum::Win32(87), "NextMatch");
    if (pending_.empty()) {
        enumerating_ = false;
        return std::string();
    }
    std::string next = pending_.front();
    pending_.erase(pending_.begin());
    return next;
}

Result<std::string> FakeFileSystem::Write(const std::string& source, const std::string& target,
                                          bool overwrite, const CopyProgress& progress) {
    Record("CopyFile " + source + " " + target + (overwrite ? " 1" : " 0"));
    if (onCopy_)
        onCopy_(source);
    if (auto e = Injected(Op::CopyFile, source))
        return *e;
    if (auto e = Injected(Op::CopyFile, target))
        return *e;
    const Entry* dst = Find(target);
    if (dst && (dst->dir || !overwrite))
        return MakeError(dst->dir ? errnum::AccessDenied : errnum::FileExists, "CopyFile");
    const Entry* src = Find(source);
    if (!src || src->dir)
        return MakeError(src                        ? errnum::AccessDenied
                         : IsFolder(Parent(source)) ? errnum::FileNotFound
                                                    : errnum::PathNotFound,
                         "CopyFile");
    if (src->locked)
        return MakeError(errnum::SharingViolation, "CopyFile");
    if (!IsFolder(Parent(target)))
        return MakeError(errnum::PathNotFound, "CopyFile");
    std::string data = src->data;
    SweepOnce(Parent(target));
    for (int chunk = 1; chunk <= copyChunks_; ++chunk) {
        for (Midway& m : midway_)
            if (m.key == Key(target) && m.after == chunk && m.times != 0) {
                --m.times;
                return m.error;
            }
        const std::uint64_t size = data.size();
        if (progress && !progress(size * static_cast<std::uint64_t>(chunk) /
                                      static_cast<std::uint64_t>(copyChunks_),
                                  size))
            return MakeError(errnum::Cancelled, "CopyFile");
    }
    // Read back from the device, the copy is not what was read from the source.
    if (corrupt_.count(Key(target)))
        return MakeError(errnum::Crc, "CopyFile");
    return data;
}

Status FakeFileSystem::CopyFile(const std::string& source, const std::string& target,
                                bool overwrite, const CopyProgress& progress) {
    auto data = Write(source, target, overwrite, progress);
    if (!data)
        return data.error();
    const std::uint64_t size = data.value().size();
    for (int pause = 0;; ++pause) {
        const Entry* now = Find(target);
        if (!now || !now->locked)
            break;
        if (pause == kRenamePauses)
            return MakeError(errnum::SharingViolation, "CopyFile");
        if (progress && !progress(size, size))
            return MakeError(errnum::Cancelled, "CopyFile");
    }
    if (auto e = Injected(Op::Flush, target))
        return *e;
    entries_[Key(target)] = Entry{target, false, false, false, false, std::move(data).value()};
    return {};
}

// Each copy's data is "on the disk" once written; the copies take their names when
// the caller collects them.
class FakeBatch : public CopyBatch {
public:
    explicit FakeBatch(FakeFileSystem& fs) : fs_(fs) {}

    Status Add(const std::string& source, const std::string& target, const GoOn& goOn) override {
        auto data = fs_.Write(source, target, false,
                              [&goOn](std::uint64_t, std::uint64_t) { return !goOn || goOn(); });
        if (!data)
            return data.error();
        unnamed_.push_back({target, std::move(data).value()});
        return {};
    }

    std::vector<Finished> Collect(bool, const GoOn&) override {
        std::vector<Finished> finished;
        for (auto& [target, data] : unnamed_) {
            fs_.Record("Name " + target);
            Status status;
            const FakeFileSystem::Entry* there = fs_.Find(target);
            if (auto e = fs_.Injected(Op::Flush, target))
                status = *e;
            else if (there)
                status = FakeFileSystem::MakeError(
                    there->dir ? errnum::AccessDenied : errnum::FileExists, "CopyFile");
            else
                fs_.entries_[FakeFileSystem::Key(target)] =
                    FakeFileSystem::Entry{target, false, false, false, false, std::move(data)};
            finished.push_back({target, std::move(status)});
        }
        unnamed_.clear();
        return finished;
    }

private:
    FakeFileSystem& fs_;
    std::vector<std::pair<std::string, std::string>> unnamed_; // target, data
};

Result<std::unique_ptr<CopyBatch>> FakeFileSystem::StartBatch() {
    Record("StartBatch");
    return std::unique_ptr<CopyBatch>(std::make_unique<FakeBatch>(*this));
}

Result<std::vector<std::string>> FakeFileSystem::ListFiles(const std::string& folder) {
    Record("ListFiles " + folder);
    if (auto e = Injected(Op::ListFiles, folder))
        return *e;
    std::vector<std::string> names;
    const std::string key = Key(folder);
    for (const auto& [k, e] : entries_)
        if (!e.dir && Key(Parent(e.path)) == key)
            names.push_back(NamePart(e.path));
    return names;
}

void FakeFileSystem::SweepOnce(const std::string& folder) {
    const std::string key = Key(folder);
    if (!swept_.insert(key).second)
        return;
    for (auto it = entries_.begin(); it != entries_.end();) {
        const Entry& e = it->second;
        const bool leftover = !e.dir && e.hidden && !e.locked && Key(Parent(e.path)) == key &&
                              IsTemporaryName(NamePart(e.path));
        it = leftover ? entries_.erase(it) : std::next(it);
    }
}

Status FakeFileSystem::MakeFolder(const std::string& path) {
    Record("MakeFolder " + path);
    if (auto e = Injected(Op::MakeFolder, path))
        return *e;
    if (Find(path))
        return MakeError(errnum::AlreadyExists, "MakeFolder");
    if (!IsFolder(Parent(path)))
        return MakeError(errnum::PathNotFound, "MakeFolder");
    AddFolder(path);
    return {};
}

Result<std::unique_ptr<TextStream>> FakeFileSystem::CreateTextFile(const std::string& path) {
    Record("CreateTextFile " + path);
    if (auto e = Injected(Op::CreateTextFile, path))
        return *e;
    const Entry* e = Find(path);
    if (e && (e->dir || e->locked))
        return MakeError(e->dir ? errnum::AccessDenied : errnum::SharingViolation,
                         "CreateTextFile");
    if (!IsFolder(Parent(path)))
        return MakeError(errnum::PathNotFound, "CreateTextFile");
    entries_[Key(path)] = Entry{path, false, false, false, false, ""};
    return std::unique_ptr<TextStream>(new FakeTextStream(*this, Key(path)));
}

Result<std::unique_ptr<TextStream>> FakeFileSystem::OpenTextFile(const std::string& path) {
    Record("OpenTextFile " + path);
    if (auto e = Injected(Op::OpenTextFile, path))
        return *e;
    const Entry* e = Find(path);
    if (!e)
        return MakeError(IsFolder(Parent(path)) ? errnum::FileNotFound : errnum::PathNotFound,
                         "OpenTextFile");
    if (e->dir || e->locked)
        return MakeError(e->dir ? errnum::AccessDenied : errnum::SharingViolation, "OpenTextFile");
    return std::unique_ptr<TextStream>(new FakeTextStream(*this, Key(path)));
}

} // namespace vqx::fake
