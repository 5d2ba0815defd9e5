// One behavioural suite for every FileSystem: the in-memory fake everywhere, and the Win32
// implementation on real files in a fresh temporary folder when built for Windows. The fake
// stands in for the real thing in the core's tests, so both must pass the same cases.
#include "tests/unit/FsTestEnv.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vqx::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// Bytes that no line-based or text-mode copy would keep intact.
std::string BinaryData(std::size_t size, std::uint32_t seed) {
    std::string data(size, '\0');
    for (char& c : data) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return data;
}

constexpr std::size_t kMiB = 1024 * 1024;

// Text as Notepad saves it as "Unicode": UTF-16 LE behind the byte-order mark FF FE.
std::string Utf16Le(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

class FileSystemSuite : public ::testing::TestWithParam<EnvFactory> {
protected:
    void SetUp() override { env = GetParam().make(); }
    // A new place, once the old one is gone (one model of Windows at a time).
    void Fresh() {
        env.reset();
        env = GetParam().make();
    }

    FileSystem& fs() { return env->Fs(); }
    std::string At(const std::string& relative) const { return env->Root() + "\\" + relative; }

    // Every name and file content under a folder, to prove that nothing changed.
    std::vector<std::string> Snapshot(const std::string& folder) {
        std::vector<std::string> out;
        for (const std::string& name : env->List(folder)) {
            const std::string path = folder + "\\" + name;
            if (!name.empty() && name.back() == '\\') {
                out.push_back(name);
                for (const std::string& inner : Snapshot(path.substr(0, path.size() - 1)))
                    out.push_back(name + inner);
            } else {
                out.push_back(name + " = " + env->ReadBytes(path).value_or("<unreadable>"));
            }
        }
        return out;
    }

    // Every name of a pattern, from Exists through NextMatch to the empty end.
    std::vector<std::string> Enumerate(const std::string& pattern, Attr attr) {
        std::vector<std::string> names;
        Result<std::string> next = fs().Exists(pattern, attr);
        for (int guard = 0; guard < 100; ++guard) {
            if (!next) {
                ADD_FAILURE() << pattern << ": " << next.error().description;
                break;
            }
            if (next.value().empty())
                break;
            names.push_back(next.value());
            next = fs().NextMatch();
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string ReadFirstLine(const std::string& path) {
        auto stream = fs().OpenTextFile(path);
        if (!stream) {
            ADD_FAILURE() << path << ": " << stream.error().description;
            return "<error>";
        }
        auto line = stream.value()->ReadLine();
        if (!line) {
            ADD_FAILURE() << path << ": " << line.error().description;
            return "<error>";
        }
        return line.value();
    }

    void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
        auto stream = fs().CreateTextFile(path);
        ASSERT_TRUE(stream) << path << ": " << stream.error().description;
        for (const std::string& line : lines)
            ASSERT_TRUE(stream.value()->WriteLine(line));
        ASSERT_TRUE(stream.value()->Close());
    }

    static void ExpectError(const Error& e, std::int32_t number, const std::string& source) {
        EXPECT_EQ(e.number, number) << e.description;
        EXPECT_FALSE(e.description.empty());
        EXPECT_EQ(e.source, source);
    }

    std::unique_ptr<FsTestEnv> env;
};

// --- Exists and NextMatch -------------------------------------------------------------------

TEST_P(FileSystemSuite, ExistsSeesPlainFilesAlwaysAndFoldersOnlyWithTheDirectoryValue) {
    env->AddFile(At("plain.txt"), "p");
    env->AddFile(At("hidden.txt"), "h", true, false);
    env->AddFile(At("system.txt"), "s", false, true);
    env->AddFile(At("both.txt"), "b", true, true);
    env->AddFolder(At("Carpeta"));

    struct Case {
        std::string path;
        std::string normal, directory; // the answer to 0 and 32, and to 16
    };
    const Case cases[] = {
        {"plain.txt", "plain.txt", "plain.txt"},
        {"PLAIN.TXT", "plain.txt", "plain.txt"}, // the name as stored, not as asked
        {"hidden.txt", "", ""},
        {"system.txt", "", ""},
        {"both.txt", "", ""},
        {"Carpeta", "", "Carpeta"},
        {"Carpeta\\", "", "Carpeta"},
        {"missing.txt", "", ""},
        {"no such folder\\plain.txt", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        for (Attr attr : {Attr::Normal, Attr::Archive, Attr::Directory}) {
            SCOPED_TRACE(static_cast<int>(attr));
            Result<std::string> found = fs().Exists(At(c.path), attr);
            ASSERT_TRUE(found) << found.error().description;
            EXPECT_EQ(found.value(), attr == Attr::Directory ? c.directory : c.normal);
        }
    }
}

TEST_P(FileSystemSuite, PatternYieldsEachAcceptedNameOfOneLevelOnce) {
    env->AddFile(At("a.txt"), "a");
    env->AddFile(At("b.txt"), "b");
    env->AddFile(At("c.dat"), "c");
    env->AddFile(At("h.txt"), "h", true, false);
    env->AddFile(At("s.txt"), "s", false, true);
    env->AddFolder(At("dir.txt"));
    env->AddFolder(At("sub"));
    env->AddFile(At("sub\\d.txt"), "d");

    struct Case {
        std::string pattern;
        Attr attr;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"*.txt", Attr::Normal, {"a.txt", "b.txt"}},
        {"*.txt", Attr::Archive, {"a.txt", "b.txt"}},
        {"*.txt", Attr::Directory, {"a.txt", "b.txt", "dir.txt"}},
        {"*", Attr::Normal, {"a.txt", "b.txt", "c.dat"}},
        {"*.*", Attr::Normal, {"a.txt", "b.txt", "c.dat"}},
        {"*", Attr::Directory, {"a.txt", "b.txt", "c.dat", "dir.txt", "sub"}},
        {"?.dat", Attr::Normal, {"c.dat"}},
        {"*.zip", Attr::Normal, {}},
        {"sub\\*", Attr::Normal, {"d.txt"}},
        {"missing\\*", Attr::Normal, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern + " " + std::to_string(static_cast<int>(c.attr)));
        EXPECT_THAT(Enumerate(At(c.pattern), c.attr), ElementsAreArray(c.names));
        // The enumeration is over once it has said so.
        Result<std::string> after = fs().NextMatch();
        ASSERT_FALSE(after);
        EXPECT_EQ(after.error().source, "NextMatch");
        EXPECT_LT(after.error().number, 0);
    }
}

TEST_P(FileSystemSuite, EachExistsReplacesTheEnumerationNextMatchContinues) {
    env->AddFile(At("a.txt"), "a");
    env->AddFile(At("b.txt"), "b");
    env->AddFile(At("c.dat"), "c");

    EXPECT_FALSE(fs().NextMatch()) << "no enumeration yet";

    // A new pattern starts afresh: nothing of the first one follows.
    ASSERT_FALSE(fs().Exists(At("*.txt"), Attr::Normal).value_or("").empty());
    ASSERT_EQ(fs().Exists(At("*.dat"), Attr::Normal).value_or(""), "c.dat");
    EXPECT_EQ(fs().NextMatch().value_or("<error>"), "");

    // A plain path ends the pattern's enumeration.
    ASSERT_FALSE(fs().Exists(At("*.txt"), Attr::Normal).value_or("").empty());
    ASSERT_EQ(fs().Exists(At("c.dat"), Attr::Normal).value_or(""), "c.dat");
    EXPECT_FALSE(fs().NextMatch());

    // So does one that matches nothing.
    ASSERT_FALSE(fs().Exists(At("*.txt"), Attr::Normal).value_or("").empty());
    ASSERT_EQ(fs().Exists(At("*.zip"), Attr::Normal).value_or("<error>"), "");
    EXPECT_FALSE(fs().NextMatch());
}

// --- CopyFile -----------------------------------------------------------------------------

TEST_P(FileSystemSuite, CopyPutsAnExactCopyUnderTheTargetName) {
    struct Case {
        std::string label;
        std::string data;
    };
    const Case cases[] = {
        {"empty", ""},
        {"binary with line breaks and NULs", std::string("a\r\nb\0c\n\x1A\xFF", 9)},
        {"several chunks", BinaryData(5 * kMiB / 2, 7)},
    };
    env->AddFolder(At("copia"));
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string name = "datos" + std::to_string(++n) + ".bin";
        env->AddFile(At(name), c.data);
        int progressCalls = 0;
        std::uint64_t lastCopied = 0;
        Status copied = fs().CopyFile(At(name), At("copia\\" + name), false,
                                      [&](std::uint64_t done, std::uint64_t size) {
                                          ++progressCalls;
                                          EXPECT_GE(done, lastCopied);
                                          EXPECT_EQ(size, c.data.size());
                                          lastCopied = done;
                                          return true;
                                      });
        ASSERT_TRUE(copied) << copied.error().description;
        EXPECT_EQ(env->ReadBytes(At("copia\\" + name)), c.data);
        EXPECT_EQ(env->ReadBytes(At(name)), c.data);
        EXPECT_EQ(fs().Exists(At("copia\\" + name), Attr::Normal).value_or(""), name);
        if (c.data.size() > 2 * kMiB) {
            EXPECT_GE(progressCalls, 2) << "a long copy reports progress as it goes";
        }
        EXPECT_EQ(lastCopied, c.data.size());
    }
    EXPECT_THAT(env->List(At("copia")), ElementsAre("datos1.bin", "datos2.bin", "datos3.bin"));
}

TEST_P(FileSystemSuite, RefusedCopyChangesNothingAndReadsNothing) {
    env->AddFile(At("src.txt"), "new contents");
    env->AddFile(At("old.txt"), "old contents, longer than the new ones");
    env->AddFolder(At("dir"));
    env->AddFolder(At("out"));

    struct Case {
        std::string label, source, target;
        bool overwrite;
        std::int32_t number;
    };
    const Case cases[] = {
        {"existing target", "src.txt", "old.txt", false, errnum::FileExists},
        {"existing target and missing source", "nada.txt", "old.txt", false, errnum::FileExists},
        {"missing source", "nada.txt", "out\\x.txt", true, errnum::FileNotFound},
        {"missing source folder", "nada\\x.txt", "out\\x.txt", true, errnum::PathNotFound},
        {"missing target folder", "src.txt", "nada\\x.txt", true, errnum::PathNotFound},
        {"folder as source", "dir", "out\\dir", true, errnum::AccessDenied},
        {"folder as target", "src.txt", "dir", true, errnum::AccessDenied},
        {"folder as target, no overwrite", "src.txt", "dir", false, errnum::AccessDenied},
    };
    const std::vector<std::string> before = Snapshot(env->Root());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        int progressCalls = 0;
        Status copied = fs().CopyFile(At(c.source), At(c.target), c.overwrite,
                                      [&](std::uint64_t, std::uint64_t) {
                                          ++progressCalls;
                                          return true;
                                      });
        ASSERT_FALSE(copied);
        ExpectError(copied.error(), c.number, "CopyFile");
        EXPECT_EQ(progressCalls, 0);
        EXPECT_EQ(Snapshot(env->Root()), before);
    }
}

TEST_P(FileSystemSuite, CopyWithOverwriteReplacesTheTarget) {
    env->AddFile(At("src.txt"), "short");
    env->AddFile(At("dst.txt"), "a much longer old content that must not survive in part");
    Status copied = fs().CopyFile(At("src.txt"), At("dst.txt"), true);
    ASSERT_TRUE(copied) << copied.error().description;
    EXPECT_EQ(env->ReadBytes(At("dst.txt")), "short");
    EXPECT_THAT(env->List(env->Root()), ElementsAre("dst.txt", "src.txt"));
}

TEST_P(FileSystemSuite, CopyOfAFileHeldOpenElsewhereFailsCleanly) {
    for (bool targetExists : {true, false}) {
        SCOPED_TRACE(targetExists ? "onto an existing target" : "to a new target");
        Fresh();
        env->AddFile(At("src.txt"), "locked source");
        if (targetExists)
            env->AddFile(At("dst.txt"), "previous copy");
        const std::vector<std::string> before = Snapshot(env->Root());
        {
            auto hold = env->HoldOpen(At("src.txt"));
            Status copied = fs().CopyFile(At("src.txt"), At("dst.txt"), true);
            ASSERT_FALSE(copied);
            ExpectError(copied.error(), errnum::SharingViolation, "CopyFile");
        }
        EXPECT_EQ(Snapshot(env->Root()), before);
    }
}

TEST_P(FileSystemSuite, CopyOntoATargetHeldOpenElsewhereWaitsBrieflyThenKeepsTheTarget) {
    env->AddFile(At("src.txt"), "new data");
    env->AddFile(At("dst.txt"), "the copy in use");
    const std::vector<std::string> before = Snapshot(env->Root());
    {
        auto hold = env->HoldOpen(At("dst.txt"));
        Status copied = fs().CopyFile(At("src.txt"), At("dst.txt"), true);
        ASSERT_FALSE(copied);
        EXPECT_LT(copied.error().number, 0);
        EXPECT_EQ(copied.error().source, "CopyFile");
    }
    EXPECT_EQ(Snapshot(env->Root()), before);

    // Held for a moment only, as a virus scanner does just after a write: the copy waits,
    // calling progress meanwhile. The data itself takes as many calls as a copy elsewhere.
    int dataCalls = 0;
    ASSERT_TRUE(
        fs().CopyFile(At("src.txt"), At("free.txt"), true, [&](std::uint64_t, std::uint64_t) {
            ++dataCalls;
            return true;
        }));
    auto hold = env->HoldOpen(At("dst.txt"));
    int calls = 0;
    Status copied =
        fs().CopyFile(At("src.txt"), At("dst.txt"), true, [&](std::uint64_t, std::uint64_t) {
            if (++calls > dataCalls)
                hold.reset();
            return true;
        });
    ASSERT_TRUE(copied) << copied.error().description;
    EXPECT_EQ(env->ReadBytes(At("dst.txt")), "new data");
}

TEST_P(FileSystemSuite, CancelledCopyLeavesTheOldTargetAndNoTemporary) {
    struct Case {
        std::string label;
        std::size_t size;
        int cancelAt; // the progress call that answers false
        bool targetExists;
    };
    const Case cases[] = {
        {"small file onto a target", 100, 1, true},
        {"small new file", 100, 1, false},
        {"long file, second chunk, onto a target", 5 * kMiB / 2, 2, true},
        {"long new file, second chunk", 5 * kMiB / 2, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Fresh();
        env->AddFile(At("src.bin"), BinaryData(c.size, 3));
        if (c.targetExists)
            env->AddFile(At("dst.bin"), "previous copy");
        const std::vector<std::string> before = Snapshot(env->Root());
        int calls = 0;
        Status copied =
            fs().CopyFile(At("src.bin"), At("dst.bin"), true,
                          [&](std::uint64_t, std::uint64_t) { return ++calls < c.cancelAt; });
        ASSERT_FALSE(copied);
        ExpectError(copied.error(), errnum::Cancelled, "CopyFile");
        EXPECT_EQ(calls, c.cancelAt);
        EXPECT_EQ(Snapshot(env->Root()), before);
    }
}

TEST_P(FileSystemSuite, FirstCopyIntoAFolderRemovesOnlyTheLeftoversOfKilledCopies) {
    const std::string digits = "0123456789abcdef";
    env->AddFile(At("src.txt"), "nuevo");
    env->AddFolder(At("out"));
    env->AddFolder(At("otra"));
    // A copy's leftovers: hidden, and named as its temporaries are, of any target.
    env->AddFile(At("out\\dst.txt.~rs" + digits), "a medias", true);
    env->AddFile(At("out\\Respaldo viejo.vqxdb.~rs00001234DEADBEEF"), "a medias", true);
    // Not leftovers: other names, not hidden, still open, or in a folder nothing is copied to.
    env->AddFile(At("out\\dst.txt.~rs"), "mío", true);
    env->AddFile(At("out\\dst.txt.~rs" + digits.substr(0, 15)), "mío", true);
    env->AddFile(At("out\\dst.txt.~rs0123456789abcdeg"), "mío", true);
    env->AddFile(At("out\\nota.txt.~rs" + digits), "visible");
    env->AddFile(At("out\\en uso.txt.~rs" + digits), "otra copia en curso", true);
    env->AddFile(At("otra\\dst.txt.~rs" + digits), "a medias", true);
    auto hold = env->HoldOpen(At("out\\en uso.txt.~rs" + digits));

    Status copied = fs().CopyFile(At("src.txt"), At("out\\dst.txt"), false);
    ASSERT_TRUE(copied) << copied.error().description;
    EXPECT_THAT(env->List(At("out")),
                ElementsAre("dst.txt", "dst.txt.~rs", "dst.txt.~rs" + digits.substr(0, 15),
                            "dst.txt.~rs0123456789abcdeg", "en uso.txt.~rs" + digits,
                            "nota.txt.~rs" + digits));
    EXPECT_EQ(env->ReadBytes(At("out\\dst.txt.~rs")), "mío");
    EXPECT_THAT(env->List(At("otra")), ElementsAre("dst.txt.~rs" + digits));
}

// --- Names that ordinary Win32 calls cannot take --------------------------------------------

TEST_P(FileSystemSuite, NamesEndingInASpaceOrADotAreTheirOwn) {
    const std::string names[] = {"a", "a ", "b."};
    env->AddFolder(At("datos"));
    for (const std::string& name : names)
        env->AddFile(At("datos\\" + name), "<" + name + ">");
    EXPECT_THAT(Enumerate(At("datos\\*.*"), Attr::Normal), ElementsAreArray(names));
    EXPECT_EQ(fs().Exists(At("datos\\b"), Attr::Normal).value_or("<error>"), "");

    ASSERT_TRUE(fs().MakeFolder(At("copia.")));
    for (const std::string& name : names) {
        SCOPED_TRACE("\"" + name + "\"");
        const std::string target = At("copia.\\" + name);
        Status copied = fs().CopyFile(At("datos\\" + name), target, false);
        ASSERT_TRUE(copied) << copied.error().description;
        EXPECT_EQ(env->ReadBytes(target), "<" + name + ">");
        EXPECT_EQ(fs().Exists(target, Attr::Normal).value_or("<error>"), name);
    }
    EXPECT_THAT(env->List(At("copia.")), ElementsAreArray(names));
    EXPECT_THAT(env->List(env->Root()), ElementsAre("copia.\\", "datos\\"));

    WriteLines(At("copia.\\RS.log "), {"D:\\Copias\\"});
    EXPECT_EQ(ReadFirstLine(At("copia.\\RS.log ")), "D:\\Copias\\");
    EXPECT_EQ(env->ReadBytes(At("copia.\\RS.log")), std::nullopt);
}

TEST_P(FileSystemSuite, PathsLongerThan260CharactersWork) {
    env->AddFile(At("src.txt"), "far away");
    std::string folder = env->Root();
    for (int level = 0; level < 5; ++level) {
        folder += "\\" + std::string(55, static_cast<char>('a' + level));
        Status made = fs().MakeFolder(folder);
        ASSERT_TRUE(made) << folder.size() << ": " << made.error().description;
    }
    const std::string target = folder + "\\archivo.txt";
    ASSERT_GT(target.size(), 300u);

    Status copied = fs().CopyFile(At("src.txt"), target, false);
    ASSERT_TRUE(copied) << copied.error().description;
    EXPECT_EQ(env->ReadBytes(target), "far away");
    EXPECT_EQ(fs().Exists(target, Attr::Normal).value_or(""), "archivo.txt");
    EXPECT_THAT(Enumerate(folder + "\\*.txt", Attr::Normal), ElementsAre("archivo.txt"));
    EXPECT_EQ(fs().Exists(folder, Attr::Directory).value_or(""), std::string(55, 'e'));

    Status back = fs().CopyFile(target, At("back.txt"), false);
    ASSERT_TRUE(back) << back.error().description;
    EXPECT_EQ(env->ReadBytes(At("back.txt")), "far away");

    WriteLines(folder + "\\destino.txt", {"D:\\Copias"});
    EXPECT_EQ(ReadFirstLine(folder + "\\destino.txt"), "D:\\Copias");
}

TEST_P(FileSystemSuite, NamesOutsideTheAnsiCodePageWork) {
    const std::string folderName = "Año ñandú 日本 ✓";
    const std::string folder = At(folderName);
    ASSERT_TRUE(fs().MakeFolder(folder));
    EXPECT_EQ(fs().Exists(folder, Attr::Directory).value_or(""), folderName);

    env->AddFile(folder + "\\ñandú ✓.txt", "datos");
    EXPECT_EQ(fs().Exists(folder + "\\ñandú ✓.txt", Attr::Normal).value_or(""), "ñandú ✓.txt");
    EXPECT_THAT(Enumerate(folder + "\\*✓*", Attr::Normal), ElementsAre("ñandú ✓.txt"));

    Status copied = fs().CopyFile(folder + "\\ñandú ✓.txt", folder + "\\日本 copia.txt", false);
    ASSERT_TRUE(copied) << copied.error().description;
    EXPECT_EQ(env->ReadBytes(folder + "\\日本 copia.txt"), "datos");

    WriteLines(folder + "\\línea ✓.txt", {"Año ✓"});
    EXPECT_EQ(ReadFirstLine(folder + "\\línea ✓.txt"), "Año ✓");
    EXPECT_THAT(env->List(folder), ElementsAre("línea ✓.txt", "ñandú ✓.txt", "日本 copia.txt"));
}

// --- MakeFolder -----------------------------------------------------------------------------

TEST_P(FileSystemSuite, MakeFolderCreatesOneLevelOnly) {
    env->AddFolder(At("existente"));
    env->AddFile(At("archivo"), "x");
    struct Case {
        std::string path;
        std::int32_t number; // 0: created
    };
    const Case cases[] = {
        {"nueva", 0},
        {"existente", errnum::AlreadyExists},
        {"archivo", errnum::AlreadyExists},
        {"falta\\nueva", errnum::PathNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Status made = fs().MakeFolder(At(c.path));
        if (c.number == 0) {
            ASSERT_TRUE(made) << made.error().description;
            EXPECT_EQ(fs().Exists(At(c.path), Attr::Directory).value_or(""), c.path);
        } else {
            ASSERT_FALSE(made);
            ExpectError(made.error(), c.number, "MakeFolder");
        }
    }
    EXPECT_THAT(env->List(env->Root()), ElementsAre("archivo", "existente\\", "nueva\\"));
}

// --- Text files ---------------------------------------------------------------------------

TEST_P(FileSystemSuite, WrittenLineReadsBackUnchanged) {
    const std::string lines[] = {
        "C:\\Copias\\", "Año ñandú 日本 ✓", "", "  espacios al borde  ", std::string(2000, 'x'),
    };
    int n = 0;
    for (const std::string& line : lines) {
        SCOPED_TRACE(line.substr(0, 40));
        const std::string path = At("linea" + std::to_string(++n) + ".txt");
        WriteLines(path, {line});
        EXPECT_EQ(ReadFirstLine(path), line);
    }
}

TEST_P(FileSystemSuite, CreateTextFileReplacesTheOldContents) {
    env->AddFile(At("destino.txt"), "una línea vieja y mucho más larga\r\nsegunda\r\n");
    WriteLines(At("destino.txt"), {"C:\\X"});
    EXPECT_EQ(env->ReadBytes(At("destino.txt")), "C:\\X\r\n");
}

TEST_P(FileSystemSuite, ReadLineReturnsTheFirstLineOnly) {
    struct Case {
        std::string label, bytes, line;
    };
    const Case cases[] = {
        {"CR LF", "primera\r\nsegunda\r\n", "primera"},
        {"LF", "primera\nsegunda", "primera"},
        {"CR", "primera\rsegunda", "primera"},
        {"no line break", "sin salto", "sin salto"},
        {"empty file", "", ""},
        {"empty first line", "\r\nsegunda", ""},
        {"NUL ends the text", std::string("antes\0despues\r\n", 15), "antes"},
        {"UTF-8 with BOM",
         "\xEF\xBB\xBF"
         "Año ✓\r\notra",
         "Año ✓"},
        // "Ċ" is the bytes 0A 01 and "D" 44 00: only 16-bit units may end the line.
        {"UTF-16 LE with BOM", Utf16Le(u"D:\\Ċopias ñ ✓ \U0001F4C1\r\notra"), "D:\\Ċopias ñ ✓ 📁"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string path = At("texto" + std::to_string(++n) + ".txt");
        env->AddFile(path, c.bytes);
        EXPECT_EQ(ReadFirstLine(path), c.line);
    }
}

TEST_P(FileSystemSuite, TextFilesThatCannotBeOpenedGiveErrors) {
    env->AddFolder(At("carpeta"));
    env->AddFile(At("bloqueado.txt"), "x");
    auto hold = env->HoldOpen(At("bloqueado.txt"));

    struct Case {
        std::string path;
        std::int32_t openNumber, createNumber;
    };
    const Case cases[] = {
        {"falta.txt", errnum::FileNotFound, 0},
        {"falta\\x.txt", errnum::PathNotFound, errnum::PathNotFound},
        {"carpeta", errnum::AccessDenied, errnum::AccessDenied},
        {"bloqueado.txt", errnum::SharingViolation, errnum::SharingViolation},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        auto opened = fs().OpenTextFile(At(c.path));
        ASSERT_FALSE(opened);
        ExpectError(opened.error(), c.openNumber, "OpenTextFile");
        if (c.createNumber != 0) {
            auto created = fs().CreateTextFile(At(c.path));
            ASSERT_FALSE(created);
            ExpectError(created.error(), c.createNumber, "CreateTextFile");
        }
    }
}

TEST_P(FileSystemSuite, FileNotFoundIsThePlatformsOwnError) {
    ExpectError(fs().FileNotFound("Respaldar"), errnum::FileNotFound, "Respaldar");
}

std::vector<EnvFactory> Environments() {
    std::vector<EnvFactory> envs{{"Fake", MakeFakeEnv}};
#ifdef _WIN32
    envs.push_back({"Win32", MakeWin32Env});
#endif
    return envs;
}

INSTANTIATE_TEST_SUITE_P(All, FileSystemSuite, ::testing::ValuesIn(Environments()),
                         [](const auto& info) { return info.param.name; });

#ifdef _WIN32
// --- What only real files show: bytes on disk, times, attributes, limits ---------------------

class Win32FileSystemTest : public ::testing::Test {
protected:
    Win32Env env;
    FileSystem& fs() { return env.Fs(); }
    std::string At(const std::string& relative) const { return env.Root() + "\\" + relative; }

    std::string WrittenBytes(const std::vector<std::string>& lines) {
        const std::string path = At("escrito.txt");
        auto stream = fs().CreateTextFile(path);
        if (!stream)
            return "<error>";
        for (const std::string& line : lines)
            EXPECT_TRUE(stream.value()->WriteLine(line));
        EXPECT_TRUE(stream.value()->Close());
        return env.ReadBytes(path).value_or("<missing>");
    }

    Result<std::string> FirstLineOf(const std::string& bytes) {
        env.AddFile(At("leido.txt"), bytes);
        auto stream = fs().OpenTextFile(At("leido.txt"));
        if (!stream)
            return stream.error();
        return stream.value()->ReadLine();
    }
};

TEST_F(Win32FileSystemTest, LineIsWrittenInAnsiWhenItFitsAndInUtf8Otherwise) {
    EXPECT_EQ(WrittenBytes({"C:\\Copias\\"}), "C:\\Copias\\\r\n");
    EXPECT_EQ(WrittenBytes({"日本 ✓"}), "\xEF\xBB\xBF"
                                        "日本 ✓\r\n");
    // A later line that needs UTF-8 turns the lines before it into UTF-8 too.
    EXPECT_EQ(WrittenBytes({"C:\\Copias\\", "日本"}), "\xEF\xBB\xBF"
                                                      "C:\\Copias\\\r\n日本\r\n");
}

TEST_F(Win32FileSystemTest, WesternTextUsesTheAnsiCodePageBothWays) {
    if (GetACP() != 1252)
        GTEST_SKIP() << "needs ANSI code page 1252, this system uses " << GetACP();
    EXPECT_EQ(WrittenBytes({"Año ñandú"}), "A\xF1o \xF1"
                                           "and\xFA\r\n");
    EXPECT_EQ(FirstLineOf("A\xF1o\r\n").value_or("<error>"), "Año");
    // Best-fit mapping would turn these into look-alikes ("a" for "ā"); they need UTF-8.
    EXPECT_EQ(WrittenBytes({"ā ∞"}), "\xEF\xBB\xBF"
                                     "ā ∞\r\n");
}

TEST_F(Win32FileSystemTest, ReadLineReadsABoundedPrefixOfAHugeLine) {
    const std::size_t limit = 32 * 1024;
    struct Case {
        std::string label, bytes;
    };
    const Case cases[] = {
        {"10 MB without a line break", std::string(10 * 1000 * 1000, 'a')},
        {"line break after the limit", std::string(limit + 100, 'b') + "\r\nsegunda"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Result<std::string> line = FirstLineOf(c.bytes);
        ASSERT_TRUE(line) << line.error().description;
        EXPECT_EQ(line.value(), c.bytes.substr(0, limit));
    }
}

TEST_F(Win32FileSystemTest, CopyKeepsTheSourcesTimeAndAttributes) {
    struct Case {
        std::string name;
        DWORD attributes; // of the source; FILE_ATTRIBUTE_NORMAL for none
    };
    const Case cases[] = {
        {"normal.txt", FILE_ATTRIBUTE_NORMAL},
        {"readonly.txt", FILE_ATTRIBUTE_READONLY},
        {"archive.txt", FILE_ATTRIBUTE_ARCHIVE},
    };
    const FILETIME when{0x12345600u, 0x01C08E00u}; // early 2001
    env.AddFolder(At("out"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        env.AddFile(At(c.name), "contenido");
        {
            win32::File h{CreateFileW(Win32Env::Native(At(c.name)).c_str(), FILE_WRITE_ATTRIBUTES,
                                      0, nullptr, OPEN_EXISTING, 0, nullptr)};
            ASSERT_NE(h.get(), INVALID_HANDLE_VALUE);
            ASSERT_TRUE(SetFileTime(h.get(), nullptr, nullptr, &when));
            h.reset(); // closed before the attributes change
            ASSERT_TRUE(SetFileAttributesW(Win32Env::Native(At(c.name)).c_str(), c.attributes));
        }
        const std::string target = At("out\\" + c.name);
        Status copied = fs().CopyFile(At(c.name), target, false);
        ASSERT_TRUE(copied) << copied.error().description;

        WIN32_FILE_ATTRIBUTE_DATA data{};
        ASSERT_TRUE(
            GetFileAttributesExW(Win32Env::Native(target).c_str(), GetFileExInfoStandard, &data));
        EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, when.dwLowDateTime);
        EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, when.dwHighDateTime);
        const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        EXPECT_EQ(data.dwFileAttributes & kept, c.attributes & kept);
    }
}

TEST_F(Win32FileSystemTest, WhatStandsAtTheOldTemporaryNameIsNeverOpened) {
    // Older versions wrote to "<target>.~rs": a hard link planted there has another name's
    // data behind it, which a copy must not reach.
    env.AddFile(At("src.txt"), "fresh");
    env.AddFile(At("dst.txt"), "earlier");
    env.AddFile(At("ajeno.txt"), "someone else's");
    ASSERT_TRUE(CreateHardLinkW(Win32Env::Native(At("dst.txt.~rs")).c_str(),
                                Win32Env::Native(At("ajeno.txt")).c_str(), nullptr))
        << GetLastError();
    Status copied = fs().CopyFile(At("src.txt"), At("dst.txt"), true);
    ASSERT_TRUE(copied) << copied.error().description;
    EXPECT_EQ(env.ReadBytes(At("dst.txt")), "fresh");
    EXPECT_EQ(env.ReadBytes(At("ajeno.txt")), "someone else's");
    EXPECT_THAT(env.List(env.Root()),
                ElementsAre("ajeno.txt", "dst.txt", "dst.txt.~rs", "src.txt"));
}

TEST_F(Win32FileSystemTest, DeviceNamesAreNoFiles) {
    // The find functions make up an entry for a device; the test of a backup file must not
    // take it for an earlier backup.
    for (const char* name : {"con.vqxdb", "NUL", "lpt1.vqxdb", "Aux .vqxdb", "COM9."}) {
        SCOPED_TRACE(name);
        auto found = fs().Exists(At(name), Attr::Archive);
        ASSERT_TRUE(found.ok());
        EXPECT_EQ(found.value(), "");
    }
    env.AddFile(At("consola.vqxdb"), "x"); // only the exact device names are special
    EXPECT_EQ(fs().Exists(At("consola.vqxdb"), Attr::Archive).value_or("?"), "consola.vqxdb");
}

TEST_F(Win32FileSystemTest, MalformedNamesAreErrorsNotMissingFiles) {
    // In a folder element: Wine reports a bad last element as "not found", Windows does not.
    for (const char* path : {"a|b\\c.txt", "a|b\\*.txt", "a\"b\\c.txt"}) {
        SCOPED_TRACE(path);
        Result<std::string> found = fs().Exists(At(path), Attr::Normal);
        ASSERT_FALSE(found);
        EXPECT_EQ(found.error().number, errnum::InvalidName);
        EXPECT_EQ(found.error().source, "Exists");
    }
}

TEST_F(Win32FileSystemTest, ChecksBeforeACopyAskAboutTheDestinationFolderItself) {
    // A folder deeper than MAX_PATH, and one whose name ends in a dot: without the long form,
    // Windows would refuse the first and take the second for its sibling, missing here.
    std::string deep = env.Root();
    for (char level = 'a'; level < 'f'; ++level) {
        deep += "\\" + std::string(55, level);
        env.AddFolder(deep);
    }
    env.AddFolder(At("copias."));
    const Result<std::string> rootName = fs().FileSystemName(env.Root() + "\\");
    ASSERT_TRUE(rootName) << rootName.error().description;
    for (const std::string& folder : {deep + "\\", At("copias.\\")}) {
        SCOPED_TRACE(folder.substr(0, 60));
        const Result<std::uint64_t> free = fs().FreeSpace(folder);
        ASSERT_TRUE(free) << free.error().description;
        EXPECT_GT(free.value(), 0u);
        const Result<std::string> name = fs().FileSystemName(folder);
        ASSERT_TRUE(name) << name.error().description;
        EXPECT_EQ(name.value(), rootName.value());
    }
}

// --- The conversions underneath ------------------------------------------------------------

TEST(WinTextTest, Utf8AndUtf16RoundTrip) {
    struct Case {
        std::string utf8;
        std::wstring wide;
    };
    const Case cases[] = {
        {"", L""},
        {"C:\\Copias", L"C:\\Copias"},
        {"Año ñandú", L"A\x00F1o \x00F1"
                      L"and\x00FA"},
        {"日本 ✓", L"\x65E5\x672C \x2713"},
        {"\xF0\x9F\x93\x81", L"\xD83D\xDCC1"}, // outside the BMP: a surrogate pair
        {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(win32::ToWide(c.utf8), c.wide);
        EXPECT_EQ(win32::FromWide(c.wide), c.utf8);
    }
}

TEST(WinTextTest, FullPathsTakeTheExtendedFormAsTheyAre) {
    const std::string longName(150, 'x');
    const std::string longTail = longName + "\\" + longName;
    struct Case {
        std::string in;
        std::wstring out;
    };
    const Case cases[] = {
        {"C:\\Copias\\a.txt", L"\\\\?\\C:\\Copias\\a.txt"},
        {"d:\\Copias\\a \\b.", L"\\\\?\\d:\\Copias\\a \\b."}, // names kept exactly
        {"C:\\skip\\..\\x", L"\\\\?\\C:\\skip\\..\\x"},       // nothing normalised
        {"C:/Copias/a.txt", L"\\\\?\\C:\\Copias\\a.txt"},
        {"C:\\" + longTail, L"\\\\?\\C:\\" + win32::ToWide(longTail)},
        {"\\\\server\\share\\a.", L"\\\\?\\UNC\\server\\share\\a."},
        {"\\\\?\\C:\\a ", L"\\\\?\\C:\\a "},
        {"relative\\..\\name", L"relative\\..\\name"}, // not a full path: as it is
        {"C:name", L"C:name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in.substr(0, 30));
        EXPECT_EQ(win32::ToWinPath(c.in), c.out);
    }
}

TEST(WinTextTest, Win32ErrorCarriesTheHresultAndTheSystemsWords) {
    struct Case {
        DWORD code;
        std::int32_t number;
    };
    const Case cases[] = {
        {ERROR_FILE_NOT_FOUND, errnum::FileNotFound},
        {ERROR_ACCESS_DENIED, errnum::AccessDenied},
        {ERROR_SHARING_VIOLATION, errnum::SharingViolation},
        {ERROR_DISK_FULL, errnum::DiskFull},
        {ERROR_REQUEST_ABORTED, errnum::Cancelled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const Error e = win32::Win32Error(c.code, "Op");
        EXPECT_EQ(e.number, c.number);
        EXPECT_LT(e.number, 0);
        EXPECT_EQ(e.source, "Op");
        ASSERT_FALSE(e.description.empty());
        EXPECT_NE(e.description, "Error " + std::to_string(c.code)) << "no system text";
        const char last = e.description.back();
        EXPECT_TRUE(last != '\r' && last != '\n' && last != ' ') << e.description;
    }
}
#endif

} // namespace
} // namespace vqx::test
