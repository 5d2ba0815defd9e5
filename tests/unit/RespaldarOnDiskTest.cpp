// The backup run against each file system: the fake and, on Windows, real files. What is on
// disk afterwards is what counts.
#include "engine/Respaldar.h"
#include "tests/fakes/Borrowed.h"
#include "tests/fakes/RecordingObserver.h"
#include "tests/unit/FsTestEnv.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vqx {
namespace {

using engine::RunOutcome;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RespaldarOnDiskTest : public ::testing::TestWithParam<test::EnvFactory> {
protected:
    void SetUp() override {
        env = GetParam().make();
        data = env->Root() + "\\Programa";
        dest = env->Root() + "\\Copias\\";
        env->AddFolder(data);
        env->AddFolder(env->Root() + "\\Copias");
        env->AddFile(data + "\\VQX Datos.mdb", Bytes(300000, 7));
        env->AddFolder(data + "\\VQX Datos");
        env->AddFile(data + "\\VQX Datos\\índice.txt", "índice");
        env->AddFile(data + "\\VQX Datos\\oculto.txt", "h", /*hidden=*/true);
        env->AddFile(data + "\\VQX Datos\\sistema.dat", "s", false, /*system=*/true);
        for (const char* sub : {"Archivo", "Plantillas", "Referencias", "Informes"})
            env->AddFolder(data + "\\VQX Datos\\" + sub);
        env->AddFile(data + "\\VQX Datos\\Archivo\\año 2026.pdf", Bytes(5000, 1));
        env->AddFile(data + "\\VQX Datos\\Archivo\\b.pdf", "b");
        env->AddFolder(data + "\\VQX Datos\\Archivo\\2025");
        env->AddFile(data + "\\VQX Datos\\Archivo\\2025\\viejo.pdf", "nested");
        env->AddFile(data + "\\VQX Datos\\Informes\\i.xlsx", "i");
    }

    static std::string Bytes(std::size_t n, unsigned seed) {
        std::string s(n, '\0');
        for (std::size_t i = 0; i < n; ++i)
            s[i] = static_cast<char>((i * 131 + seed * 17) >> 3);
        return s;
    }

    std::string Backup() const { return dest + "Respaldo VQX (07-12-2026).vqxdb"; }
    RunOutcome Run() {
        seen.leftOut.clear();
        return engine::Run(fake::LendFileSystem(env->Fs()),
                           {dest, "Respaldo VQX (07-12-2026)", data, true, true}, seen);
    }

    std::unique_ptr<test::FsTestEnv> env;
    fake::RecordingObserver seen;
    std::string data, dest;
};

TEST_P(RespaldarOnDiskTest, FirstAndSecondRunIntoTheSameDestination) {
    ASSERT_EQ(Run().kind, RunOutcome::Kind::Completed);
    EXPECT_EQ(env->ReadBytes(Backup()), env->ReadBytes(data + "\\VQX Datos.mdb"));
    const std::string tree = dest + "Respaldo VQX";
    EXPECT_THAT(env->List(tree), ElementsAre("Archivo\\", "Informes\\", "Plantillas\\",
                                             "Referencias\\", "índice.txt"));
    EXPECT_THAT(env->List(tree + "\\Archivo"), ElementsAre("año 2026.pdf", "b.pdf"));
    EXPECT_THAT(env->List(tree + "\\Informes"), ElementsAre("i.xlsx"));
    EXPECT_THAT(env->List(tree + "\\Referencias"), IsEmpty());
    EXPECT_EQ(env->ReadBytes(tree + "\\Archivo\\año 2026.pdf"), Bytes(5000, 1));

    // Second run: a changed file keeps its older copy, a new one is added, nothing is listed.
    env->AddFile(data + "\\VQX Datos\\Archivo\\b.pdf", "b cambiado");
    env->AddFile(data + "\\VQX Datos\\Archivo\\c.pdf", "c");
    ASSERT_EQ(Run().kind, RunOutcome::Kind::Completed);
    EXPECT_EQ(env->ReadBytes(tree + "\\Archivo\\b.pdf"), "b");
    EXPECT_EQ(env->ReadBytes(tree + "\\Archivo\\c.pdf"), "c");
    EXPECT_THAT(seen.leftOut, IsEmpty());
    EXPECT_THAT(env->List(env->Root() + "\\Copias"),
                ElementsAre("Respaldo VQX (07-12-2026).vqxdb", "Respaldo VQX\\"));
}

TEST_P(RespaldarOnDiskTest, DatabaseHeldOpenIsReportedAndTheEarlierBackupKept) {
    env->AddFile(Backup(), "respaldo anterior");
    auto hold = env->HoldOpen(data + "\\VQX Datos.mdb");
    const RunOutcome outcome = Run();
    EXPECT_EQ(outcome.kind, RunOutcome::Kind::Failed);
    EXPECT_EQ(outcome.error.number, errnum::SharingViolation);
    EXPECT_EQ(env->ReadBytes(Backup()), "respaldo anterior");
    EXPECT_THAT(env->List(env->Root() + "\\Copias"),
                ElementsAre("Respaldo VQX (07-12-2026).vqxdb"));
}

TEST_P(RespaldarOnDiskTest, LockedDataCentreFileIsListedAndTheRestCopied) {
    auto hold = env->HoldOpen(data + "\\VQX Datos\\Archivo\\b.pdf");
    ASSERT_EQ(Run().kind, RunOutcome::Kind::Completed);
    ASSERT_EQ(seen.leftOut.size(), 1u);
    EXPECT_EQ(seen.leftOut[0].path, "VQX Datos\\Archivo\\b.pdf");
    EXPECT_EQ(seen.leftOut[0].reason.number, errnum::SharingViolation);
    EXPECT_THAT(env->List(dest + "Respaldo VQX\\Archivo"), ElementsAre("año 2026.pdf"));
}

TEST_P(RespaldarOnDiskTest, AStopDuringALargeDatabaseCopyCancelsItCleanly) {
    env->AddFile(data + "\\VQX Datos.mdb", Bytes(24u << 20, 3));
    env->AddFile(Backup(), "respaldo anterior");
    seen.stop = [this] { return seen.advances > 0; }; // asked between the first chunks
    EXPECT_EQ(Run().kind, RunOutcome::Kind::Stopped); // a cancelled copy is no failure
    EXPECT_EQ(env->ReadBytes(Backup()), "respaldo anterior");
    EXPECT_THAT(env->List(env->Root() + "\\Copias"),
                ElementsAre("Respaldo VQX (07-12-2026).vqxdb"));
}

std::vector<test::EnvFactory> Envs() {
    std::vector<test::EnvFactory> envs{{"Fake", test::MakeFakeEnv}};
#ifdef _WIN32
    envs.push_back({"Win32", test::MakeWin32Env});
#endif
    return envs;
}

INSTANTIATE_TEST_SUITE_P(FileSystems, RespaldarOnDiskTest, ::testing::ValuesIn(Envs()),
                         [](const auto& info) { return info.param.name; });

} // namespace
} // namespace vqx
