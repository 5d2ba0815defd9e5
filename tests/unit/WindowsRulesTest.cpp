// Windows' own rules, held by the model of tests/model where Wine lets a call through: each rule
// refuses or costs what Windows would, and the copy keeps to all of them.
#include "tests/unit/FsTestEnv.h"

#include "engine/Respaldar.h"
#include "platform/win32/FileCalls.h"
#include "tests/fakes/Borrowed.h"
#include "tests/fakes/RecordingObserver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace vqx::test {
namespace {

using model::Call;
using model::Device;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using win32::os;

constexpr std::size_t kMiB = 1024 * 1024;

class WindowsRulesTest : public ::testing::Test {
protected:
    std::string At(const std::string& relative) const { return env.Root() + "\\" + relative; }
    static std::wstring Native(const std::string& path) { return Win32Env::Native(path); }
    model::WindowsModel& Model() { return env.Model(); }

    // Polls `done` for up to ten seconds.
    static bool Eventually(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            Sleep(1);
        }
        return true;
    }

    static std::string Bytes(std::size_t size) {
        std::string data(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            data[i] = static_cast<char>(i * 7 + i / 4099);
        return data;
    }

    Win32Env env;
};

TEST_F(WindowsRulesTest, UnbufferedAccessIsInWholeSectorsAtAlignedOffsetsOnly) {
    env.AddFile(At("datos.bin"), Bytes(10000));
    const win32::File file(os.CreateFileW(Native(At("datos.bin")).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_NO_BUFFERING, nullptr));
    ASSERT_TRUE(file) << GetLastError();
    auto* pages = static_cast<char*>(VirtualAlloc(nullptr, 16384, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);

    struct Case {
        const char* label;
        std::uint64_t offset;
        DWORD length;
        std::size_t shift; // of the buffer from a page
        DWORD got;         // 0: refused
    };
    const Case cases[] = {
        {"whole sectors", 0, 8192, 0, 8192},
        {"the last sector, read whole", 8192, 4096, 0, 1808},
        {"an offset inside a sector", 100, 4096, 0, 0},
        {"part of a sector", 0, 100, 0, 0},
        {"memory not aligned", 0, 4096, 8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(c.offset);
        DWORD got = 0;
        const BOOL ok = os.ReadFile(file.get(), pages + c.shift, c.length, &got, &at);
        if (c.got == 0) {
            ASSERT_FALSE(ok);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        } else {
            ASSERT_TRUE(ok) << GetLastError();
            EXPECT_EQ(got, c.got);
        }
    }
    // Without an offset the handle's position counts: after the short last sector it stands at
    // the unaligned end, where a further read is refused.
    LARGE_INTEGER sector{};
    sector.QuadPart = 8192;
    ASSERT_TRUE(os.SetFilePointerEx(file.get(), sector, nullptr, FILE_BEGIN));
    DWORD got = 0;
    ASSERT_TRUE(os.ReadFile(file.get(), pages, 4096, &got, nullptr));
    EXPECT_FALSE(os.ReadFile(file.get(), pages, 4096, &got, nullptr));
    VirtualFree(pages, 0, MEM_RELEASE);

    const std::vector<model::Violation> seen = Model().TakeViolations();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_THAT(seen[0].rule, ::testing::HasSubstr("offset"));
    EXPECT_THAT(seen[1].rule, ::testing::HasSubstr("length"));
    EXPECT_THAT(seen[2].rule, ::testing::HasSubstr("memory"));
    EXPECT_THAT(seen[3].rule, ::testing::HasSubstr("offset"));
}

TEST_F(WindowsRulesTest, ASynchronousHandleLetsOneCallThroughAtATimeAndABlockedOneIsCancelled) {
    env.AddFile(At("datos.bin"), "datos");
    const win32::File file(os.CreateFileW(Native(At("datos.bin")).c_str(), GENERIC_WRITE, 0,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file) << GetLastError();
    // A flush that hangs, as on a share that stopped answering, until it is cancelled.
    Model().Inject({.call = Call::FlushFileBuffers, .block = true});
    std::atomic<DWORD> flusherId = 0, flushError = 0;
    std::thread flusher([&] {
        flusherId = GetCurrentThreadId();
        flushError = os.FlushFileBuffers(file.get()) ? ERROR_SUCCESS : GetLastError();
    });
    ASSERT_TRUE(Eventually([&] { return Model().BlockedCalls() == 1; }));
    std::atomic<bool> written = false;
    std::thread writer([&] {
        DWORD put = 0;
        written = os.WriteFile(file.get(), "x", 1, &put, nullptr) != FALSE;
    });
    ASSERT_TRUE(Eventually([&] { return Model().WaitingCalls() == 1; }));
    EXPECT_FALSE(written);

    // Only through a handle with the right to end the thread.
    const win32::Handle asking(OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, flusherId));
    ASSERT_TRUE(asking);
    EXPECT_FALSE(os.CancelSynchronousIo(asking.get()));
    ASSERT_EQ(Model().TakeViolations().size(), 1u);
    const win32::Handle thread(
        OpenThread(THREAD_TERMINATE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, flusherId));
    ASSERT_TRUE(thread);
    EXPECT_TRUE(os.CancelSynchronousIo(thread.get()));
    flusher.join();
    writer.join();
    EXPECT_EQ(flushError, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_TRUE(written);
    const model::WindowsModel::Waits waits = Model().TakeSerialisedWaits();
    EXPECT_EQ(waits.calls, 1);
    EXPECT_EQ(waits.example, "WriteFile waited for FlushFileBuffers");
}

TEST_F(WindowsRulesTest, AFullPathWithoutTheLongFormIsNormalisedAndLimited) {
    env.AddFile(At("datos"), "x");
    // "datos." is "datos" to Windows unless the "\\?\" form keeps the name as it is.
    EXPECT_NE(os.GetFileAttributesW(win32::ToWide(At("datos.")).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(os.GetFileAttributesW(Native(At("datos.")).c_str()), INVALID_FILE_ATTRIBUTES);
    const std::string longPath = At(std::string(MAX_PATH, 'x'));
    EXPECT_EQ(os.GetFileAttributesW(win32::ToWide(longPath).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

TEST_F(WindowsRulesTest, ADeviceErrorFailsTheCopyAndLeavesNoTemporary) {
    env.AddFolder(At("out"));
    env.AddFile(At("datos.bin"), Bytes(kMiB));
    env.AddFile(At("out\\datos.bin"), "anterior");
    Model().Inject({.call = Call::WriteFile,
                    .error = ERROR_DEVICE_NOT_CONNECTED,
                    .under = At("out"),
                    .nth = 2});
    Status copied = env.Fs().CopyFile(At("datos.bin"), At("out\\datos.bin"), true);
    ASSERT_FALSE(copied);
    EXPECT_EQ(copied.error().number, errnum::Win32(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_THAT(env.List(At("out")), ::testing::ElementsAre("datos.bin"));
    EXPECT_EQ(env.ReadBytes(At("out\\datos.bin")), "anterior");
}

// --- The copy under these rules --------------------------------------------------------------

TEST_F(WindowsRulesTest, AVerifiedCopyCostsTheDeviceItsBytesWrittenOnceAndReadBackOnce) {
    env.AddFolder(At("out"));
    const std::string data = Bytes(3 * kMiB + 100);
    env.AddFile(At("datos.bin"), data);
    Model().SetDevice({At("out"), 1e9, 1e9});
    ASSERT_TRUE(env.Fs().CopyFile(At("datos.bin"), At("out\\datos.bin"), false));
    EXPECT_EQ(env.ReadBytes(At("out\\datos.bin")), data);
    // In whole sectors, and the read-back from the device, not from the cache.
    const std::uint64_t sectors = (data.size() + 4095) / 4096 * 4096;
    EXPECT_EQ(Model().DeviceIo().written, sectors);
    EXPECT_EQ(Model().DeviceIo().read, sectors);
}

TEST_F(WindowsRulesTest, AFileSystemWithoutUnbufferedAccessStillGetsVerifiedCopies) {
    env.AddFolder(At("out"));
    const std::string data = Bytes(300000);
    env.AddFile(At("datos.bin"), data);
    Model().SetDevice({.root = At("out"),
                       .writeBytesPerS = 1e9,
                       .readBytesPerS = 1e9,
                       .refusesUnbuffered = true});
    Status copied = env.Fs().CopyFile(At("datos.bin"), At("out\\datos.bin"), false);
    ASSERT_TRUE(copied) << copied.error().description;
    EXPECT_EQ(env.ReadBytes(At("out\\datos.bin")), data);
    EXPECT_GE(Model().RefusedUnbuffered(), 1);
}

TEST_F(WindowsRulesTest, ALongCopyNeverHasTwoCallsOnOneSynchronousHandleAtOnce) {
    env.AddFolder(At("out"));
    const std::string data = Bytes(40 * kMiB);
    env.AddFile(At("datos.bin"), data);
    Model().SetDevice({At("out"), 400e6, 400e6});
    ASSERT_TRUE(env.Fs().CopyFile(At("datos.bin"), At("out\\datos.bin"), false));
    EXPECT_EQ(env.ReadBytes(At("out\\datos.bin")), data);
    const model::WindowsModel::Waits waits = Model().TakeSerialisedWaits();
    EXPECT_EQ(waits.calls, 0) << waits.example;
}

// --- When the destination fails under a copy ---------------------------------------------------

TEST_F(WindowsRulesTest, ADestinationHasGoneOnlyWhenItsDeviceOrShareSaysSo) {
    env.AddFolder(At("out"));
    EXPECT_FALSE(env.Fs().Gone(At("out\\")));
    struct Case {
        DWORD error;
        bool gone;
    };
    const Case cases[] = {
        {ERROR_DEVICE_NOT_CONNECTED, true}, // a stick pulled out
        {ERROR_NOT_READY, true},            // a reader without its card
        {ERROR_NETNAME_DELETED, true},      // a share dropped
        {ERROR_BAD_NETPATH, true},
        {ERROR_ACCESS_DENIED, false}, // it answers: one file's trouble, not the destination's
        {ERROR_SHARING_VIOLATION, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        Model().Inject({.call = Call::GetFileAttributesW, .error = c.error, .under = At("out")});
        EXPECT_EQ(env.Fs().Gone(At("out\\")), c.gone);
        Model().ClearFaults();
    }
    ASSERT_TRUE(RemoveDirectoryW(Native(At("out")).c_str()));
    EXPECT_TRUE(env.Fs().Gone(At("out\\")));
}

TEST_F(WindowsRulesTest, ARenameWhoseReplyWasLostIsJudgedByWhereTheFileIs) {
    env.AddFolder(At("out"));
    env.AddFile(At("datos.bin"), "nuevo");
    for (bool handleAnswers : {true, false}) {
        SCOPED_TRACE(handleAnswers ? "the handle says where its file is" : "the handle cannot say");
        env.AddFile(At("out\\datos.bin"), "anterior");
        // The share renamed the file, and the reply was lost on the way back.
        Model().Inject({.call = Call::SetFileInformationByHandle,
                        .error = ERROR_NETNAME_DELETED,
                        .nth = 1,
                        .infoClass = FileRenameInfo,
                        .afterEffect = true});
        if (!handleAnswers)
            Model().Inject({.call = Call::GetFileInformationByHandleEx,
                            .error = ERROR_NETNAME_DELETED,
                            .infoClass = FileNameInfo});
        const Status copied = env.Fs().CopyFile(At("datos.bin"), At("out\\datos.bin"), true);
        Model().ClearFaults();
        EXPECT_EQ(copied.ok(), handleAnswers);
        // Either way the file under the real name is the new copy, whole, and it stays: the
        // earlier backup is never lost together with the new one.
        EXPECT_EQ(env.ReadBytes(At("out\\datos.bin")), "nuevo");
        EXPECT_THAT(env.List(At("out")), ElementsAre("datos.bin"));
    }
}

TEST_F(WindowsRulesTest, ACopyThatHasItsNameStaysAndIsNotLeftHidden) {
    env.AddFolder(At("out"));
    env.AddFile(At("datos.bin"), "nuevo");
    env.AddFile(At("out\\datos.bin"), "anterior");
    // The final attributes refused through the handle (a filter, a flaky device): by name.
    const model::Fault byHandle{.call = Call::SetFileInformationByHandle,
                                .error = ERROR_ACCESS_DENIED,
                                .under = At("out"),
                                .nth = 2, // the first is the temporary's own, before the copy
                                .infoClass = FileBasicInfo};
    Model().Inject(byHandle);
    ASSERT_TRUE(env.Fs().CopyFile(At("datos.bin"), At("out\\datos.bin"), true));
    const DWORD attributes = GetFileAttributesW(Native(At("out\\datos.bin")).c_str());
    EXPECT_FALSE(attributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(env.ReadBytes(At("out\\datos.bin")), "nuevo");

    // Refused by name as well: the copy is reported, but it has its name and keeps it.
    Model().ClearFaults();
    Model().Inject(byHandle);
    Model().Inject({.call = Call::SetFileAttributesW, .error = ERROR_ACCESS_DENIED});
    env.AddFile(At("datos.bin"), "otro nuevo");
    const Status copied = env.Fs().CopyFile(At("datos.bin"), At("out\\datos.bin"), true);
    ASSERT_FALSE(copied);
    EXPECT_EQ(copied.error().number, errnum::AccessDenied);
    EXPECT_EQ(env.ReadBytes(At("out\\datos.bin")), "otro nuevo");
    EXPECT_THAT(env.List(At("out")), ElementsAre("datos.bin"));
}

TEST_F(WindowsRulesTest, AStopCancelsACallThatNeverReturns) {
    env.AddFolder(At("datos"));
    env.AddFolder(At("out"));
    env.AddFile(At("datos\\VQX Datos.mdb"), Bytes(kMiB));
    // A share that stopped answering: the write waits for the redirector's timeout.
    Model().Inject({.call = Call::WriteFile, .under = At("out"), .block = true});
    engine::Stopper stopper;
    fake::RecordingObserver seen;
    auto run = std::async(std::launch::async, [&] {
        return engine::Run(fake::LendFileSystem(env.Fs()),
                           {At("out") + "\\", "copia", At("datos"), false, false}, seen, &stopper);
    });
    ASSERT_TRUE(Eventually([&] { return Model().BlockedCalls() == 1; }));
    stopper.Stop();
    const bool ended = run.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!ended)
        Model().ReleaseBlockedCalls();
    ASSERT_TRUE(ended) << "the blocked call was never cancelled";
    EXPECT_EQ(run.get().kind, engine::RunOutcome::Kind::Stopped);
    EXPECT_THAT(env.List(At("out")), ::testing::IsEmpty()) << "the temporary stayed";
}

TEST_F(WindowsRulesTest, ANameHeldAsAnotherFilesShortAliasIsNotAlreadyThere) {
    env.AddFolder(At("out"));
    env.AddFile(At("out\\Factura enero.pdf"), "enero");
    wchar_t shortPath[MAX_PATH] = {};
    const DWORD n =
        GetShortPathNameW(Native(At("out\\Factura enero.pdf")).c_str(), shortPath, MAX_PATH);
    const std::wstring alias = n > 0 && n < MAX_PATH ? std::wstring(shortPath, n) : L"";
    const std::string name = win32::FromWide(alias.substr(alias.find_last_of(L'\\') + 1));
    if (name.empty() || name == "Factura enero.pdf")
        GTEST_SKIP() << "this volume gives no short names";
    // A file of the data centre named as that alias ("FACTUR~1.PDF") would never be copied.
    env.AddFile(At(name), "otro");
    const Status copied = env.Fs().CopyFile(At(name), At("out\\" + name), false);
    ASSERT_FALSE(copied);
    EXPECT_EQ(copied.error().number, errnum::NameTaken);
    EXPECT_THAT(copied.error().description, HasSubstr("Factura enero.pdf"));

    auto batch = env.Fs().StartBatch();
    ASSERT_TRUE(batch);
    ASSERT_TRUE(batch.value()->Add(At(name), At("out\\" + name), {}));
    const auto finished = batch.value()->Collect(true, {});
    ASSERT_EQ(finished.size(), 1u);
    ASSERT_FALSE(finished[0].status);
    EXPECT_EQ(finished[0].status.error().number, errnum::NameTaken);
    EXPECT_EQ(env.ReadBytes(At("out\\Factura enero.pdf")), "enero");
    EXPECT_THAT(env.List(At("out")), ElementsAre("Factura enero.pdf"));
}

} // namespace
} // namespace vqx::test
