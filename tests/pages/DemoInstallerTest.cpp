// The demo installer in temporary folders: what WriteResourceFile does with what it finds
// at the target, the previous-edition names, and a whole installation into an empty root.
#include "pages/DemoInstaller.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "platform/Resources.h"
#include "platform/TextConvert.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

namespace fs = std::filesystem;

bool Exists(const std::string& path) { return fs::symlink_status(path).type() != fs::file_type::not_found; }

TEST(PreviousEditionPath, PutsTheMarkBeforeTheExtensionOfTheFileNameOnly) {
    const std::pair<const char*, const char*> rows[] = {
        {"/r/demo/index.html", "/r/demo/index (PrevEdition).html"},
        {"/r/a.tar.gz", "/r/a.tar (PrevEdition).gz"},
        {"/r/Blog/.blog", "/r/Blog/.blog (PrevEdition)"},
        {"/r/Security/Protected/.pass", "/r/Security/Protected/.pass (PrevEdition)"},
        {"/r/x.y/README", "/r/x.y/README (PrevEdition)"},
        {"/r/.config/name.txt", "/r/.config/name (PrevEdition).txt"},
        {"/r/trailing.", "/r/trailing (PrevEdition)."},
        {"plain", "plain (PrevEdition)"},
    };
    for (const auto& [target, expected] : rows) {
        EXPECT_EQ(PreviousEditionPath(target), expected) << "for " << target;
    }
}

TEST(WriteResourceFile, WritesKeepsOrMovesAsideByWhatIsThere) {
    struct Row {
        const char* description;
        std::optional<std::string> existing;  // the target's bytes before, or no file
        std::optional<std::string> olderCopy;  // a previous-edition copy before, or none
        std::string resource;
        WriteOutcome outcome;
        std::string target;                    // the target's bytes after
        std::optional<std::string> copy;       // the previous-edition copy after, or none
    };
    const Row rows[] = {
        {"no file: written", std::nullopt, std::nullopt, "demo page", WriteOutcome::Created, "demo page", std::nullopt},
        {"empty resource, no file: an empty file", std::nullopt, std::nullopt, "", WriteOutcome::Created, "",
         std::nullopt},
        {"same size, other bytes: the user's edit stays", "user page", std::nullopt, "demo page",
         WriteOutcome::LeftAlone, "user page", std::nullopt},
        {"other size: moved aside, then written", "the user's longer page", std::nullopt, "demo page",
         WriteOutcome::Replaced, "demo page", "the user's longer page"},
        {"other size with an older copy: the older copy is replaced", "the user's longer page", "oldest",
         "demo page", WriteOutcome::Replaced, "demo page", "the user's longer page"},
        {"same size with an older copy: both stay", "user page", "oldest", "demo page", WriteOutcome::LeftAlone,
         "user page", "oldest"},
        {"empty file, non-empty resource: replaced", "", std::nullopt, "demo page", WriteOutcome::Replaced,
         "demo page", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        TempDir root;
        const std::string target = root.Path() + "/site/page.html";
        if (row.existing) root.Write("site/page.html", *row.existing);
        if (row.olderCopy) root.Write("site/page (PrevEdition).html", *row.olderCopy);

        EXPECT_EQ(WriteResourceFile(row.resource, target), row.outcome);
        EXPECT_EQ(root.Read("site/page.html"), row.target);
        if (row.copy) {
            EXPECT_TRUE(Exists(root.Path() + "/site/page (PrevEdition).html"));
            EXPECT_EQ(root.Read("site/page (PrevEdition).html"), *row.copy);
        } else {
            EXPECT_FALSE(Exists(root.Path() + "/site/page (PrevEdition).html"));
        }
    }
}

TEST(WriteResourceFile, CreatesEveryMissingFolderAlongThePath) {
    TempDir root;
    const std::string target = root.Path() + "/a/b/.c/d/file.txt";
    EXPECT_EQ(WriteResourceFile("x", target), WriteOutcome::Created);
    EXPECT_EQ(root.Read("a/b/.c/d/file.txt"), "x");
}

TEST(WriteResourceFile, NeverWritesThroughOrMovesALinkAtTheTarget) {
    struct Row {
        const char* description;
        bool linkTargetExists;
    };
    for (const Row& row : {Row{"link to a file elsewhere", true}, Row{"dangling link", false}}) {
        SCOPED_TRACE(row.description);
        TempDir root, elsewhere;
        const std::string outside = elsewhere.Path() + "/private.txt";
        if (row.linkTargetExists) elsewhere.Write("private.txt", "the user's private text");
        const std::string target = root.Path() + "/index.html";
        ASSERT_EQ(::symlink(outside.c_str(), target.c_str()), 0);

        EXPECT_EQ(WriteResourceFile("demo page", target), WriteOutcome::Failed);
        EXPECT_TRUE(fs::is_symlink(target));
        EXPECT_FALSE(Exists(root.Path() + "/index (PrevEdition).html"));
        if (row.linkTargetExists) {
            EXPECT_EQ(elsewhere.Read("private.txt"), "the user's private text");
        } else {
            EXPECT_FALSE(Exists(outside));
        }
    }
}

TEST(WriteResourceFile, LeavesWhatIsNotARegularFileAlone) {
    TempDir root;
    const std::string fifo = root.Path() + "/fifo.html";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Opening a FIFO for writing would wait for a reader; the start must not hang on one.
    EXPECT_EQ(WriteResourceFile("demo page", fifo), WriteOutcome::Failed);
    EXPECT_TRUE(fs::is_fifo(fifo));

    root.Write("folder.html/inside.txt", "kept");
    EXPECT_EQ(WriteResourceFile("demo page", root.Path() + "/folder.html"), WriteOutcome::Failed);
    EXPECT_EQ(root.Read("folder.html/inside.txt"), "kept");

    root.Write("plain", "a file where a folder should be");
    EXPECT_EQ(WriteResourceFile("demo page", root.Path() + "/plain/page.html"), WriteOutcome::Failed);
    EXPECT_EQ(root.Read("plain"), "a file where a folder should be");
}

TEST(WriteResourceFile, KeepsTheUsersFileWhenItCannotBeMovedAside) {
    TempDir root;
    root.Write("index.html", "the user's own, longer page");
    // A folder in the way of the previous-edition name makes the move fail.
    root.Write("index (PrevEdition).html/keep.txt", "kept");
    EXPECT_EQ(WriteResourceFile("demo page", root.Path() + "/index.html"), WriteOutcome::Failed);
    EXPECT_EQ(root.Read("index.html"), "the user's own, longer page");
    EXPECT_EQ(root.Read("index (PrevEdition).html/keep.txt"), "kept");
}

// Every regular file below `root`, by path relative to it, with its bytes.
std::map<std::string, std::string> FilesBelow(const TempDir& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root.Path())) {
        if (!entry.is_regular_file()) continue;
        const std::string relative = fs::relative(entry.path(), root.Path()).string();
        files[relative] = root.Read(relative);
    }
    return files;
}

std::string Slashed(std::string_view name) {
    std::string path(name);
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

// The files an installation must leave: the demo files and two templates per folder.
std::map<std::string, std::string> ExpectedSite() {
    std::map<std::string, std::string> expected;
    for (std::string_view name : kDemoFiles) {
        auto bytes = FindResource("BINDAT", name);
        if (bytes) expected[Slashed(name)] = std::string(*bytes);
    }
    for (std::string_view folder : kDemoTemplateFolders) {
        for (std::string_view name : kDemoTemplates) {
            auto bytes = FindResource("CONTENT", name);
            if (bytes) expected[Slashed(folder) + std::string(name)] = std::string(*bytes);
        }
    }
    return expected;
}

TEST(InstallDemo, EveryDemoFileAndTemplateIsCarriedByTheProgram) {
    for (std::string_view name : kDemoFiles) EXPECT_TRUE(FindResource("BINDAT", name)) << name;
    for (std::string_view name : kDemoTemplates) EXPECT_TRUE(FindResource("CONTENT", name)) << name;
    // Twelve folders, FindMe named twice.
    EXPECT_EQ(ExpectedSite().size(), kDemoFiles.size() + 12 * kDemoTemplates.size());
}

TEST(InstallDemo, AnEmptyRootReceivesTheWholeSite) {
    for (const char* suffix : {"", "/"}) {
        SCOPED_TRACE(std::string("root given as path") + suffix);
        TempDir root;
        InstallDemo(AnsiToWide(root.Path() + suffix));
        EXPECT_EQ(FilesBelow(root), ExpectedSite());
    }
}

TEST(InstallDemo, ASecondInstallationTouchesNoFile) {
    TempDir root;
    InstallDemo(AnsiToWide(root.Path()));
    std::map<std::string, std::pair<ino_t, timespec>> before;
    for (const auto& [relative, bytes] : FilesBelow(root)) {
        struct stat st;
        ASSERT_EQ(::stat((root.Path() + "/" + relative).c_str(), &st), 0);
        before[relative] = {st.st_ino, st.st_mtim};
    }
    InstallDemo(AnsiToWide(root.Path()));
    for (const auto& [relative, identity] : before) {
        struct stat st;
        ASSERT_EQ(::stat((root.Path() + "/" + relative).c_str(), &st), 0) << relative;
        EXPECT_EQ(st.st_ino, identity.first) << relative;
        EXPECT_EQ(st.st_mtim.tv_sec, identity.second.tv_sec) << relative;
        EXPECT_EQ(st.st_mtim.tv_nsec, identity.second.tv_nsec) << relative;
    }
    EXPECT_EQ(FilesBelow(root).size(), before.size());
}

}  // namespace
}  // namespace tarnhollow::test
