// The text files of the service: one line written or read, in the ANSI code page where it
// holds the text, else in UTF-8 (or, read, UTF-16 LE) behind a byte-order mark.
#include "platform/win32/FileWork.h"
#include "platform/win32/WinText.h"

#include <memory>
#include <new>
#include <string_view>
#include <utility>

namespace vqx::win32 {
namespace {

constexpr DWORD kWritePiece = 256u << 10; // the most one write takes
constexpr DWORD kReadLimit = 32u * 1024u; // a first line longer than this is not a line
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Bom = "\xFF\xFE"; // UTF-16 LE, Notepad's "Unicode"

// Writes every byte or reports why not.
bool WriteAll(HANDLE file, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > kWritePiece ? kWritePiece : static_cast<DWORD>(size);
        DWORD put = 0;
        if (!os.WriteFile(file, data, chunk, &put, nullptr))
            return false;
        if (put == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        data += put;
        size -= put;
    }
    return true;
}

// The text in the ANSI code page, when that code page holds every character of it.
bool ToAnsiExactly(const std::wstring& text, std::string& out) {
    const UINT acp = GetACP();
    // A UTF-8 (or UTF-7) ANSI code page refuses these arguments and represents everything.
    const bool unicodeAcp = acp == CP_UTF8 || acp == CP_UTF7;
    const DWORD flags = unicodeAcp ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* used = unicodeAcp ? nullptr : &usedDefault;
    const int inLen = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_ACP, flags, text.data(), inLen, nullptr, 0, nullptr, used);
    if (n <= 0 || usedDefault)
        return false;
    out.assign(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, flags, text.data(), inLen, out.data(), n, nullptr, used);
    // Not every code page reports a substitution; the way back proves the bytes.
    return FromAnsi(out) == text;
}

class Win32TextStream : public TextStream {
public:
    explicit Win32TextStream(File file) : file_(std::move(file)) {}

    Status WriteLine(const std::string& text) override {
        if (!file_)
            return Win32Error(ERROR_INVALID_HANDLE, "WriteLine");
        const std::wstring line = ToWide(text) + L"\r\n";
        std::string bytes;
        if (!utf8_ && ToAnsiExactly(line, bytes)) {
            if (!WriteAll(file_.get(), bytes.data(), bytes.size()))
                return Win32Error(GetLastError(), "WriteLine");
            written_ += line;
            return {};
        }
        if (!utf8_) {
            // The first line the ANSI code page cannot hold turns the whole file into UTF-8,
            // written again from the start behind a byte-order mark. The UTF-8 form is never
            // shorter than the ANSI one, so it covers every byte written before.
            utf8_ = true;
            bytes = std::string(kBom) + FromWide(written_ + line);
            written_.clear();
            LARGE_INTEGER start{};
            if (!os.SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN))
                return Win32Error(GetLastError(), "WriteLine");
        } else {
            bytes = FromWide(line);
        }
        if (!WriteAll(file_.get(), bytes.data(), bytes.size()))
            return Win32Error(GetLastError(), "WriteLine");
        return {};
    }

    Result<std::string> ReadLine() override {
        if (!file_)
            return Win32Error(ERROR_INVALID_HANDLE, "ReadLine");
        LARGE_INTEGER start{};
        if (!os.SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN))
            return Win32Error(GetLastError(), "ReadLine");
        std::string bytes(kReadLimit, '\0');
        DWORD have = 0;
        while (have < kReadLimit) {
            DWORD got = 0;
            if (!os.ReadFile(file_.get(), bytes.data() + have, kReadLimit - have, &got, nullptr))
                return Win32Error(GetLastError(), "ReadLine");
            if (got == 0)
                break;
            have += got;
        }
        bytes.resize(have);
        std::string_view view(bytes);
        if (view.substr(0, kUtf16Bom.size()) == kUtf16Bom) {
            // Cut in 16-bit units: the bytes of a CR, LF or NUL occur inside other characters.
            std::wstring line;
            for (std::size_t i = kUtf16Bom.size(); i + 1 < view.size(); i += 2) {
                const auto unit =
                    static_cast<wchar_t>(static_cast<unsigned char>(view[i]) |
                                         static_cast<unsigned char>(view[i + 1]) << 8);
                if (unit == L'\r' || unit == L'\n' || unit == L'\0')
                    break;
                line += unit;
            }
            return FromWide(line);
        }
        const bool utf8 = view.substr(0, kBom.size()) == kBom;
        if (utf8)
            view.remove_prefix(kBom.size());
        // CR, LF and NUL bytes never occur inside a multi-byte character of UTF-8 or of an
        // ANSI code page, so the line can be cut before decoding.
        view = view.substr(0, view.find_first_of(std::string_view("\r\n\0", 3)));
        // Through UTF-16 in both cases, so that malformed UTF-8 reaches the core as U+FFFD.
        return FromWide(utf8 ? ToWide(std::string(view)) : FromAnsi(view));
    }

    Status Close() override {
        if (!CloseFile(file_))
            return Win32Error(GetLastError(), "Close");
        return {};
    }

private:
    File file_;
    std::wstring written_; // the ANSI lines so far, in case a later one needs UTF-8
    bool utf8_ = false;
};

// A text stream on the file at `path`, opened with these arguments of CreateFileW.
Result<std::unique_ptr<TextStream>> Stream(const std::string& path, DWORD access, DWORD share,
                                           DWORD disposition, DWORD flags, const char* source) {
    File file = OpenFile(ToWinPath(path), access, share, disposition, flags);
    if (!file)
        return Win32Error(GetLastError(), source);
    std::unique_ptr<TextStream> stream(new (std::nothrow) Win32TextStream(std::move(file)));
    if (!stream)
        return Win32Error(ERROR_NOT_ENOUGH_MEMORY, source);
    return stream;
}

} // namespace

Result<std::unique_ptr<TextStream>> Win32FileSystem::CreateTextFile(const std::string& path) {
    return Stream(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                  "CreateTextFile");
}

Result<std::unique_ptr<TextStream>> Win32FileSystem::OpenTextFile(const std::string& path) {
    return Stream(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                  "OpenTextFile");
}

} // namespace vqx::win32
