#include "tests/driver/Harness.h"

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <iostream>

#ifndef VQX_E2E_PROGRAM
#error "VQX_E2E_PROGRAM (the path of the program under test) must be defined"
#endif

namespace vqx::e2e {
namespace {

constexpr UINT kReadTimeoutMs = 2000;
constexpr Ms kPollInterval = 15ms;

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::wstring LastErrorText() {
    DWORD code = GetLastError();
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring out = L"error " + std::to_wstring(code);
    if (text) {
        out += L": ";
        out += text;
        LocalFree(text);
    }
    while (!out.empty() && (out.back() == L'\n' || out.back() == L'\r'))
        out.pop_back();
    return out;
}

std::wstring Parent(const std::wstring& path) {
    auto pos = path.find_last_of(L'\\');
    return pos == std::wstring::npos ? std::wstring() : path.substr(0, pos);
}

std::wstring NamePart(const std::wstring& path) {
    auto pos = path.find_last_of(L"\\/");
    return pos == std::wstring::npos ? path : path.substr(pos + 1);
}

// Every folder of the path that is missing, outermost first.
bool MakeFolders(const std::wstring& path) {
    if (path.empty())
        return true;
    DWORD attrs = GetFileAttributesW(path.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES)
        return (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!MakeFolders(Parent(path)))
        return false;
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool RemoveTree(const std::wstring& path) {
    bool ok = true;
    WIN32_FIND_DATAW fd;
    if (win32::FindHandle find{FindFirstFileW((path + L"\\*").c_str(), &fd)}) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring full = path + L"\\" + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                ok = RemoveTree(full) && ok;
            else
                ok = DeleteFileW(full.c_str()) && ok;
        } while (FindNextFileW(find.get(), &fd));
    } // the enumeration is closed before its folder is removed
    return RemoveDirectoryW(path.c_str()) && ok;
}

// Under Wine a Linux path becomes its DOS form ("/work/x" -> "Z:\work\x").
std::wstring DosPath(const std::wstring& path) {
    if (path.empty() || path[0] != L'/')
        return path;
    using ToDos = wchar_t*(CDECL*)(const char*);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto toDos = kernel ? reinterpret_cast<ToDos>(reinterpret_cast<void*>(
                              GetProcAddress(kernel, "wine_get_dos_file_name")))
                        : nullptr;
    if (toDos) {
        if (wchar_t* dos = toDos(Narrow(path).c_str())) {
            std::wstring out = dos;
            HeapFree(GetProcessHeap(), 0, dos);
            return out;
        }
    }
    std::wstring out = path;
    std::replace(out.begin(), out.end(), L'/', L'\\');
    return out;
}

DWORD ProcessOf(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

struct EnumState {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM param) {
    auto* state = reinterpret_cast<EnumState*>(param);
    if (ProcessOf(hwnd) == state->pid && IsWindowVisible(hwnd))
        state->found.push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

bool IsExtendedKey(WORD vk) {
    switch (vk) {
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_INSERT:
    case VK_DELETE:
    case VK_RMENU:
    case VK_RCONTROL:
        return true;
    default:
        return false;
    }
}

INPUT KeyInput(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (IsExtendedKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
    return in;
}

bool Send(std::vector<INPUT>& inputs) {
    if (inputs.empty())
        return true;
    UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    return sent == inputs.size();
}

// Absolute mouse co-ordinates (0..65535 over the primary screen) aimed at the centre of the
// pixel, so that both rounding down and rounding to nearest land on it.
LONG Normalised(LONG pixel, int extent) {
    return static_cast<LONG>(((2LL * pixel + 1) * 65536) / (2LL * extent));
}

std::wstring SafeFileName(std::string name) {
    for (char& c : name)
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
            c == '>' || c == '|')
            c = '_';
    return Widen(name);
}

} // namespace

bool WaitUntil(const std::function<bool()>& done, Ms deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        PumpMessages();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        // Wakes early for a message of this thread; otherwise polls again after the interval.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(kPollInterval.count()),
                                  QS_ALLINPUT);
    }
}

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring ProgramPath() {
    wchar_t buffer[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(L"VQX_E2E_PROGRAM", buffer, MAX_PATH * 2);
    std::wstring path =
        (n > 0 && n < MAX_PATH * 2) ? std::wstring(buffer, n) : Widen(VQX_E2E_PROGRAM);
    return DosPath(path);
}

// ---- Layout and DataFolder ----------------------------------------------------------------

Layout Layout::Typical() {
    Layout l;
    const std::wstring d = L"VQX Datos";
    l.folders = {d, d + L"\\Archivo", d + L"\\Plantillas", d + L"\\Referencias", d + L"\\Informes"};
    l.files = {
        {d + L"\\Parametros.ini", "[General]\r\nEmpresa=Distribuciones del Norte\r\n"},
        {d + L"\\L\u00e9ame.txt", "Centro de datos de VQX.\r\n"},
        {d + L"\\Archivo\\Facturas 2024.dat", std::string(20000, 'F')},
        {d + L"\\Plantillas\\Factura.rtf", "{\\rtf1 Factura}\r\n"},
        {d + L"\\Referencias\\Art\u00edculos.csv", "c\xC3\xB3"
                                                   "digo;precio\r\n001;0,15\r\n"},
        {d + L"\\Informes\\Balance de situaci\u00f3n.txt", "Activo;Pasivo\r\n"},
        {d + L"\\Oculto.tmp", "oculto\r\n", true},
        {d + L"\\Archivo\\2025\\Facturas 2025.dat", "anidado\r\n"},
    };
    return l;
}

DataFolder::DataFolder(const Layout& layout) {
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    std::wstring base = (n > 0 && n <= MAX_PATH) ? std::wstring(temp, n) : L".\\";
    if (base.back() != L'\\')
        base += L'\\';
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        std::wstring candidate = base + L"vqx-e2e-" + std::to_wstring(GetCurrentProcessId()) +
                                 L"-" + std::to_wstring(counter++) + L"-" +
                                 std::to_wstring(GetTickCount64() % 100000);
        if (CreateDirectoryW(candidate.c_str(), nullptr))
            path_ = candidate;
    }
    if (path_.empty()) {
        ADD_FAILURE() << "cannot make a temporary folder under " << Narrow(base);
        return;
    }
    std::wstring program = ProgramPath();
    if (!CopyFileW(program.c_str(), Program().c_str(), FALSE))
        ADD_FAILURE() << "cannot copy the program " << Narrow(program) << ": "
                      << Narrow(LastErrorText());
    if (layout.database)
        WriteFile(L"VQX Datos.mdb", *layout.database);
    for (const auto& folder : layout.folders)
        MakeFolder(folder);
    for (const auto& file : layout.files)
        WriteFile(file.path, file.bytes, file.hidden);
    if (layout.rsLog)
        WriteFile(L"RS.log", *layout.rsLog);
}

DataFolder::~DataFolder() {
    if (path_.empty())
        return;
    // The program may take a moment to let go of its files after it ended.
    if (!WaitUntil([&] { return RemoveTree(path_); }, 5s))
        std::cerr << "warning: could not remove " << Narrow(path_) << "\n";
}

std::wstring ProgramFileName() {
    return NamePart(ProgramPath());
}

std::wstring DataFolder::Program() const {
    return path_ + L"\\" + ProgramFileName();
}

std::wstring DataFolder::Full(const std::wstring& relative) const {
    return relative.empty() ? path_ : path_ + L"\\" + relative;
}

void DataFolder::MakeFolder(const std::wstring& relative) {
    if (!MakeFolders(Full(relative)))
        ADD_FAILURE() << "cannot make the folder " << Narrow(Full(relative)) << ": "
                      << Narrow(LastErrorText());
}

void DataFolder::WriteFile(const std::wstring& relative, const std::string& bytes, bool hidden) {
    const std::wstring full = Full(relative);
    MakeFolders(Parent(full));
    SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL); // a hidden file cannot be replaced
    win32::File file{CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!file) {
        ADD_FAILURE() << "cannot write " << Narrow(full) << ": " << Narrow(LastErrorText());
        return;
    }
    DWORD written = 0;
    bool ok = bytes.empty() || (::WriteFile(file.get(), bytes.data(),
                                            static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                                written == bytes.size());
    file.reset(); // closed before the attributes change
    if (!ok)
        ADD_FAILURE() << "cannot write all of " << Narrow(full);
    if (hidden && !SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_HIDDEN))
        ADD_FAILURE() << "cannot hide " << Narrow(full) << ": " << Narrow(LastErrorText());
}

bool DataFolder::IsFile(const std::wstring& relative) const {
    DWORD attrs = GetFileAttributesW(Full(relative).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

bool DataFolder::IsFolder(const std::wstring& relative) const {
    DWORD attrs = GetFileAttributesW(Full(relative).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> DataFolder::ReadFile(const std::wstring& relative) const {
    const win32::File file{CreateFileW(Full(relative).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!file)
        return std::nullopt;
    std::string out;
    char buffer[64 * 1024];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        out.append(buffer, got);
    return out;
}

std::vector<std::wstring> DataFolder::List(const std::wstring& relative) const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    const win32::FindHandle find{FindFirstFileW((Full(relative) + L"\\*").c_str(), &fd)};
    if (!find)
        return names;
    do {
        std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find.get(), &fd));
    std::sort(names.begin(), names.end());
    return names;
}

// ---- Windows and input --------------------------------------------------------------------

std::optional<std::wstring> WindowText(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                             kReadTimeoutMs, &length))
        return std::nullopt;
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG | SMTO_BLOCK, kReadTimeoutMs, &copied))
        return std::nullopt;
    text.resize(std::min<std::size_t>(copied, length));
    return text;
}

std::wstring ClassName(HWND hwnd) {
    wchar_t name[256];
    int n = GetClassNameW(hwnd, name, 256);
    return std::wstring(name, n > 0 ? static_cast<std::size_t>(n) : 0);
}

bool BringToFront(HWND hwnd, Ms deadline) {
    if (GetForegroundWindow() == hwnd)
        return true;
    return WaitUntil(
        [&] {
            if (GetForegroundWindow() == hwnd)
                return true;
            if (!SetForegroundWindow(hwnd)) {
                // Windows lets the process that gave the last input change the foreground.
                std::vector<INPUT> alt{KeyInput(VK_MENU, false), KeyInput(VK_MENU, true)};
                Send(alt);
                SetForegroundWindow(hwnd);
            }
            return GetForegroundWindow() == hwnd;
        },
        deadline);
}

bool MovePointer(POINT screen, Ms deadline) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = Normalised(screen.x, GetSystemMetrics(SM_CXSCREEN));
    in.mi.dy = Normalised(screen.y, GetSystemMetrics(SM_CYSCREEN));
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    if (SendInput(1, &in, sizeof in) != 1)
        return false;
    return WaitUntil(
        [&] {
            POINT at{};
            return GetCursorPos(&at) && at.x == screen.x && at.y == screen.y;
        },
        deadline);
}

bool ClickAt(POINT screen) {
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    std::vector<INPUT> inputs(3);
    for (INPUT& in : inputs) {
        in.type = INPUT_MOUSE;
        in.mi.dx = Normalised(screen.x, width);
        in.mi.dy = Normalised(screen.y, height);
    }
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    if (!Send(inputs))
        return false;
    return WaitUntil([&] {
        POINT at{};
        return GetCursorPos(&at) && at.x == screen.x && at.y == screen.y;
    });
}

bool Type(const std::wstring& text) {
    std::vector<INPUT> inputs;
    for (wchar_t c : text) {
        for (bool up : {false, true}) {
            INPUT in{};
            in.type = INPUT_KEYBOARD;
            in.ki.wScan = static_cast<WORD>(c);
            in.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
            inputs.push_back(in);
        }
    }
    return Send(inputs);
}

bool PressKeys(const std::vector<WORD>& keys) {
    std::vector<INPUT> inputs;
    for (WORD vk : keys)
        inputs.push_back(KeyInput(vk, false));
    for (auto it = keys.rbegin(); it != keys.rend(); ++it)
        inputs.push_back(KeyInput(*it, true));
    return Send(inputs);
}

// ---- The desktop every case starts from --------------------------------------------------

namespace {

// Ends every running copy of the program (there is none when the earlier cases ended theirs).
void EndLeftoverPrograms() {
    HANDLE made = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (made == INVALID_HANDLE_VALUE)
        return;
    const win32::Handle snapshot{made}; // a failed snapshot is INVALID_HANDLE_VALUE, not null
    const std::wstring program = ProgramFileName();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (lstrcmpiW(NamePart(entry.szExeFile).c_str(), program.c_str()) != 0)
            continue;
        const win32::Handle process{
            OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID)};
        if (!process)
            continue; // ended meanwhile
        std::cout << "an earlier case left the program running (process " << entry.th32ProcessID
                  << "): ended it\n";
        TerminateProcess(process.get(), 999);
        const bool gone =
            WaitForSingleObject(process.get(), static_cast<DWORD>(kDeadline.count())) ==
            WAIT_OBJECT_0;
        if (!gone)
            ADD_FAILURE() << "a program left by an earlier case (process " << entry.th32ProcessID
                          << ") does not end";
    }
}

// Lets go of every mouse button and key that is down (a case stopped between a press and its
// release leaves it so for the whole Wine server).
void ReleaseButtonsAndKeys() {
    std::vector<INPUT> inputs;
    const std::pair<int, DWORD> buttons[] = {{VK_LBUTTON, MOUSEEVENTF_LEFTUP},
                                             {VK_RBUTTON, MOUSEEVENTF_RIGHTUP},
                                             {VK_MBUTTON, MOUSEEVENTF_MIDDLEUP}};
    for (const auto& [vk, up] : buttons)
        if (GetAsyncKeyState(vk) & 0x8000) {
            INPUT in{};
            in.type = INPUT_MOUSE;
            in.mi.dwFlags = up;
            inputs.push_back(in);
        }
    for (int vk = VK_BACK; vk <= 0xFE; ++vk)
        if (GetAsyncKeyState(vk) & 0x8000)
            inputs.push_back(KeyInput(static_cast<WORD>(vk), true));
    Send(inputs);
}

} // namespace

void ResetDesktop() {
    EndLeftoverPrograms();
    ReleaseButtonsAndKeys();
    if (!MovePointer(kRestingPoint))
        FAIL() << "the pointer does not go to its resting place (" << kRestingPoint.x << ", "
               << kRestingPoint.y << ")";
}

void RemoveLeftoverDpi() {
    // On stderr: ctest lists the cases from this program's stdout.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    DWORD dpi = 0, type = 0, size = sizeof dpi;
    if (RegQueryValueExW(key, L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&dpi), &size) ==
            ERROR_SUCCESS &&
        (type != REG_DWORD || dpi != 96)) {
        std::cerr << "an earlier case left LogPixels at " << dpi << ": removed it\n";
        RegDeleteValueW(key, L"LogPixels");
    }
    RegCloseKey(key);
}

COLORREF ScreenPixel(POINT screen) {
    const win32::WindowDc dc(nullptr);
    return GetPixel(dc.get(), screen.x, screen.y);
}

BITMAPINFO Bgr24Info(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up rows, as BMP files keep them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

Image Capture(const RECT& screenRect) {
    Image image;
    RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT r;
    if (!IntersectRect(&r, &screenRect, &screen))
        return image;
    const int width = r.right - r.left, height = r.bottom - r.top;
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};

    BITMAPINFO info = Bgr24Info(width, height);
    const win32::WindowDc screenDc(nullptr);
    const win32::MemoryDc memory{CreateCompatibleDC(screenDc.get())};
    void* bits = nullptr;
    const win32::Bitmap bitmap{
        CreateDIBSection(screenDc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0)};
    if (bitmap && bits) {
        const win32::Selection selected(memory.get(), bitmap.get());
        if (BitBlt(memory.get(), 0, 0, width, height, screenDc.get(), r.left, r.top, SRCCOPY)) {
            GdiFlush();
            image.width = width;
            image.height = height;
            const auto* first = static_cast<const std::uint8_t*>(bits);
            image.bottomUpBgr.assign(first, first + stride * static_cast<std::size_t>(height));
        }
    }
    return image;
}

bool Image::Uniform() const {
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = bottomUpBgr.data() + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < width; ++x)
            if (!std::equal(row + 3 * x, row + 3 * x + 3, bottomUpBgr.data()))
                return false;
    }
    return true;
}

bool SaveBmp(const Image& image, const std::wstring& file) {
    if (image.Empty())
        return false;
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = image.width;
    info.biHeight = image.height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(image.bottomUpBgr.size());
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42; // "BM"
    header.bfOffBits = static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER));
    header.bfSize = header.bfOffBits + info.biSizeImage;

    MakeFolders(Parent(file));
    const win32::File out{CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!out)
        return false;
    DWORD written = 0;
    return ::WriteFile(out.get(), &header, sizeof header, &written, nullptr) &&
           ::WriteFile(out.get(), &info, sizeof info, &written, nullptr) &&
           ::WriteFile(out.get(), image.bottomUpBgr.data(), info.biSizeImage, &written, nullptr);
}

bool SaveScreenshot(const RECT& screenRect, const std::wstring& file) {
    return SaveBmp(Capture(screenRect), file);
}

// ---- App ----------------------------------------------------------------------------------

App::~App() {
    if (Running()) {
        TerminateProcess(process_.get(), 999);
        WaitForSingleObject(process_.get(), static_cast<DWORD>(kDeadline.count()));
    }
}

bool App::Start(const DataFolder& folder, const std::wstring& arguments) {
    const std::wstring program = folder.Program();
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const bool started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr,
                                        FALSE, 0, nullptr, folder.Path().c_str(), &si, &pi);
    if (!started)
        ADD_FAILURE() << "cannot start " << Narrow(program) << ": " << Narrow(LastErrorText());
    process_.reset(pi.hProcess);
    thread_.reset(pi.hThread);
    processId_ = pi.dwProcessId;
    return started;
}

bool App::Running() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::vector<HWND> App::TopLevelWindows() const {
    return process_ ? TopLevelWindowsOf(processId_) : std::vector<HWND>{};
}

HWND App::WaitForMainWindow(Ms deadline) {
    main_ = nullptr;
    WaitUntil(
        [&] {
            for (HWND hwnd : TopLevelWindows())
                if (!GetWindow(hwnd, GW_OWNER) && ClassName(hwnd) != L"#32770") {
                    main_ = hwnd;
                    return true;
                }
            return !Running(); // no use waiting for a program that ended
        },
        deadline);
    if (!main_) {
        if (auto code = ExitCode())
            ADD_FAILURE() << "the program ended (exit code " << *code << ") without a window";
        else
            ADD_FAILURE() << "the program showed no window within " << deadline.count() << " ms";
    }
    return main_;
}

std::vector<Child> App::Children() const {
    std::vector<HWND> handles;
    if (main_)
        EnumChildWindows(main_, CollectChild, reinterpret_cast<LPARAM>(&handles));
    std::vector<Child> children;
    for (HWND hwnd : handles) {
        Child c;
        c.hwnd = hwnd;
        c.id = GetDlgCtrlID(hwnd);
        c.className = ClassName(hwnd);
        c.text = WindowText(hwnd).value_or(L"");
        GetWindowRect(hwnd, &c.rect);
        c.visible = IsWindowVisible(hwnd) != FALSE;
        c.enabled = IsWindowEnabled(hwnd) != FALSE;
        children.push_back(std::move(c));
    }
    return children;
}

std::optional<Child> App::FindChild(const std::function<bool(const Child&)>& match) const {
    for (Child& c : Children())
        if (match(c))
            return std::move(c);
    return std::nullopt;
}

std::optional<Child> App::FindChildByText(const std::wstring& text) const {
    return FindChild([&](const Child& c) { return c.text == text; });
}

bool App::ClickAt(POINT client) {
    if (!main_ || !ClientToScreen(main_, &client) || !BringToFront(main_))
        return false;
    return e2e::ClickAt(client);
}

bool App::Click(const Child& child) {
    if (!main_ || !BringToFront(main_))
        return false;
    POINT centre{(child.rect.left + child.rect.right) / 2,
                 (child.rect.top + child.rect.bottom) / 2};
    return e2e::ClickAt(centre);
}

bool App::Type(const std::wstring& text) {
    return main_ && BringToFront(main_) && e2e::Type(text);
}

bool App::PressKeys(const std::vector<WORD>& keys) {
    return main_ && BringToFront(main_) && e2e::PressKeys(keys);
}

HWND ChildById(HWND window, int id) {
    struct Search {
        int id;
        HWND found = nullptr;
    } search{id};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            if (GetDlgCtrlID(child) != s->id)
                return TRUE;
            s->found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> TopLevelWindowsOf(DWORD pid) {
    EnumState state{pid, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

std::vector<MessageBoxInfo> MessageBoxesOf(DWORD pid) {
    std::vector<MessageBoxInfo> boxes;
    for (HWND hwnd : TopLevelWindowsOf(pid)) {
        if (ClassName(hwnd) != L"#32770")
            continue;
        MessageBoxInfo box;
        box.hwnd = hwnd;
        box.title = WindowText(hwnd).value_or(L"");
        if (HWND text = GetDlgItem(hwnd, 0xFFFF))
            box.text = WindowText(text).value_or(L"");
        boxes.push_back(std::move(box));
    }
    return boxes;
}

bool AnswerMessageBox(const MessageBoxInfo& box, int buttonId, Ms deadline) {
    // Posted, never sent: the box's own loop handles it while this thread goes on.
    HWND button = GetDlgItem(box.hwnd, buttonId);
    if (!button || !PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                                 reinterpret_cast<LPARAM>(button)))
        return false;
    return WaitUntil([&] { return !IsWindow(box.hwnd) || !IsWindowVisible(box.hwnd); }, deadline);
}

std::vector<MessageBoxInfo> App::MessageBoxes() const {
    return process_ ? MessageBoxesOf(processId_) : std::vector<MessageBoxInfo>{};
}

std::optional<MessageBoxInfo> App::WaitForMessageBox(Ms deadline) {
    std::optional<MessageBoxInfo> found;
    WaitUntil(
        [&] {
            auto boxes = MessageBoxes();
            if (!boxes.empty())
                found = boxes.front();
            return found.has_value() || !Running();
        },
        deadline);
    return found;
}

bool App::Answer(const MessageBoxInfo& box, int buttonId, Ms deadline) {
    return AnswerMessageBox(box, buttonId, deadline);
}

COLORREF App::PixelAt(POINT client) const {
    if (!main_ || !ClientToScreen(main_, &client))
        return CLR_INVALID;
    return ScreenPixel(client);
}

RECT App::WindowsRect() const {
    RECT all{};
    for (HWND hwnd : TopLevelWindows()) {
        RECT r;
        if (GetWindowRect(hwnd, &r))
            UnionRect(&all, &all, &r);
    }
    return all;
}

bool App::WaitUntilPainted(Ms deadline) const {
    Image before;
    return WaitUntil(
        [&] {
            Image now = Capture(WindowsRect());
            bool settled = !now.Empty() && !now.Uniform() && now == before;
            before = std::move(now);
            return settled;
        },
        deadline);
}

bool App::SaveScreenshot(const std::wstring& file) const {
    WaitUntilPainted(2s); // a picture of a half-painted window is still worth having
    return SaveBmp(Capture(WindowsRect()), file);
}

bool App::RequestClose(Ms deadline) {
    if (!main_ || !PostMessageW(main_, WM_CLOSE, 0, 0))
        return false;
    return WaitForExit(deadline).has_value();
}

std::optional<DWORD> App::WaitForExit(Ms deadline) {
    if (!process_)
        return std::nullopt;
    // The process handle is signalled when it ends: a wait on that condition.
    if (WaitForSingleObject(process_.get(), static_cast<DWORD>(deadline.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    return ExitCode();
}

std::optional<DWORD> App::Close(Ms deadline) {
    if (!process_)
        return std::nullopt;
    if (!Running())
        return ExitCode();
    if (main_ && IsWindow(main_) && RequestClose(deadline))
        return ExitCode();
    TerminateProcess(process_.get(), 999);
    WaitForSingleObject(process_.get(), static_cast<DWORD>(deadline.count()));
    return std::nullopt;
}

std::optional<DWORD> App::ExitCode() const {
    DWORD code = 0;
    if (!process_ || !GetExitCodeProcess(process_.get(), &code) || code == STILL_ACTIVE)
        return std::nullopt;
    return code;
}

// ---- AppTest ------------------------------------------------------------------------------

void AppTest::SetUp() {
    folder.emplace(MakeLayout());
    ASSERT_FALSE(HasFailure()) << "the data folder could not be laid out";
    ASSERT_TRUE(app.Start(*folder));
    window = app.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
}

std::wstring FailurePicturesFolder() {
    // Not the working directory: a driver started by hand from the sources would write there.
    std::wstring driver(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, driver.data(), static_cast<DWORD>(driver.size()));
        if (n == 0) {
            wchar_t temp[MAX_PATH + 1];
            const DWORD t = GetTempPathW(MAX_PATH + 1, temp);
            return std::wstring(temp, t > 0 && t <= MAX_PATH ? t : 0) + L"e2e-failures";
        }
        if (n < driver.size()) {
            driver.resize(n);
            break;
        }
        driver.resize(driver.size() * 2);
    }
    return Parent(driver) + L"\\e2e-failures";
}

void AppTest::TearDown() {
    if (HasFailure()) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::wstring file = FailurePicturesFolder() + L"\\" +
                                  SafeFileName(info->test_suite_name()) + L"." +
                                  SafeFileName(info->name()) + L".bmp";
        if (app.SaveScreenshot(file))
            std::cout << "screenshot of the failed case: " << Narrow(file) << "\n";
    }
    if (app.ProcessId() != 0) {
        const bool wasRunning = app.Running();
        std::optional<DWORD> code = app.Close();
        if (expectCleanExit) {
            if (wasRunning) {
                EXPECT_TRUE(code.has_value())
                    << "the program did not close on WM_CLOSE within the deadline: terminated";
            }
            if (code) {
                EXPECT_EQ(*code, 0u) << "the program's exit code";
            }
        }
    }
    folder.reset();
}

Child AppTest::Control(int id) const {
    auto child = app.FindChild([&](const Child& c) { return c.id == id; });
    if (!child)
        ADD_FAILURE() << "the window has no control with id " << id;
    return child.value_or(Child{});
}

std::wstring AppTest::Text(int id) const {
    return WindowText(Control(id).hwnd).value_or(L"?");
}

int AppTest::FocusedId() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) || !info.hwndFocus)
        return 0;
    return GetDlgCtrlID(info.hwndFocus);
}

} // namespace vqx::e2e
