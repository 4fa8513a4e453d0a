// Installing the demo site through the real binary: what a first start writes into an
// empty document root, that a start by the same version writes nothing, and how the
// stored CreateDemo version and the user's edits decide what a later start does.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <toml++/toml.h>

#include "http/FileAnswer.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

namespace fs = std::filesystem;

// "3.1.2.47" packed as 3 << 24 | 1 << 16 | 2 << 8 | 47.
constexpr int64_t kPackedVersion = 0x0301022F;

std::string ReadSource(const std::string& relative) {
    std::ifstream in(std::string(TARNHOLLOW_SOURCE_DIR) + "/resources/" + relative, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// What the program carries for the demo, from its resource manifest: each target path
// below the document root with the bytes it must receive. The template copies go into
// every folder that holds a demo file.
std::map<std::string, std::string> ExpectedSite() {
    std::map<std::string, std::string> site;
    std::map<std::string, std::string> templates;
    std::ifstream manifest(std::string(TARNHOLLOW_SOURCE_DIR) + "/resources/resources.txt");
    std::string type, name, path;
    for (std::string line; std::getline(manifest, line);) {
        std::istringstream fields(line);
        if (!(fields >> type >> name >> path)) continue;
        if (type == "BINDAT") {
            for (char& c : name) {
                if (c == '\\') c = '/';
            }
            site[name] = ReadSource(path);
        } else if (type == "CONTENT" && (name == ".dir" || name == ".file")) {
            templates[name] = ReadSource(path);
        }
    }
    std::set<std::string> folders;
    for (const auto& [target, bytes] : site) folders.insert(target.substr(0, target.rfind('/') + 1));
    for (const std::string& folder : folders) {
        for (const auto& [templateName, bytes] : templates) site[folder + templateName] = bytes;
    }
    return site;
}

struct Identity {
    ino_t inode;
    int64_t modifiedSeconds;
    int64_t modifiedNanoseconds;
    bool operator==(const Identity&) const = default;
};

class Demo : public ::testing::Test {
protected:
    // A start and a stop of the real binary on this document root and settings file.
    void StartAndStop() {
        ServerProcess server({.root = root_, .settings = settings_});
        ASSERT_TRUE(server.WaitUntilListening()) << server.Stderr();
        EXPECT_EQ(server.Stop(), 0);
    }

    void SetStoredVersion(int64_t version) {
        toml::table settings = toml::parse_file(settings_);
        settings.insert_or_assign("CreateDemo", version);
        std::ofstream(settings_, std::ios::trunc) << settings << "\n";
    }

    int64_t StoredVersion() const {
        return toml::parse_file(settings_)["CreateDemo"].value<int64_t>().value_or(-1);
    }

    std::map<std::string, std::string> FilesBelowRoot() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(root_)) {
            if (entry.is_regular_file()) files[fs::relative(entry.path(), root_).string()] = Read(entry.path());
        }
        return files;
    }

    std::map<std::string, Identity> IdentitiesBelowRoot() const {
        std::map<std::string, Identity> identities;
        for (const auto& entry : fs::recursive_directory_iterator(root_)) {
            struct stat st;
            if (::lstat(entry.path().c_str(), &st) != 0) continue;
            identities[fs::relative(entry.path(), root_).string()] = {st.st_ino, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
        }
        return identities;
    }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

    void Write(const std::string& relative, const std::string& bytes) const {
        std::ofstream(root_ + "/" + relative, std::ios::binary | std::ios::trunc) << bytes;
    }

    TempDir scratch_;
    // Parents that do not exist yet: the first start makes the whole chain.
    std::string root_ = scratch_.Path() + "/home/Documents/Tarnhollow";
    std::string settings_ = scratch_.Path() + "/settings.toml";
};

TEST_F(Demo, AFirstStartWritesEveryFileAndTemplateCopyIntoTheThirteenFolders) {
    StartAndStop();
    const std::map<std::string, std::string> expected = ExpectedSite();
    ASSERT_EQ(expected.size(), 40u + 12u * 2u) << "the manifest lost demo entries";
    EXPECT_EQ(FilesBelowRoot(), expected);

    std::set<std::string> folders;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
        if (entry.is_directory()) folders.insert(fs::relative(entry.path(), root_).string());
    }
    EXPECT_EQ(folders, (std::set<std::string>{"Blog", "FindMe", "Highlights", "NearMe", "RemoteControl",
                                              "ScreenShot", "Security", "Security/Protected", "TraceMe", "demo",
                                              "demo/.pict", "demo/PhotoAlbum"}));
    EXPECT_EQ(StoredVersion(), kPackedVersion);
}

TEST_F(Demo, ASecondStartByTheSameVersionWritesNothing) {
    StartAndStop();
    const auto before = IdentitiesBelowRoot();
    StartAndStop();
    EXPECT_EQ(IdentitiesBelowRoot(), before);
}

TEST_F(Demo, AnOlderStoredVersionKeepsSameSizeEditsAndMovesOtherEditsAside) {
    StartAndStop();
    const std::map<std::string, std::string> original = FilesBelowRoot();

    std::string sameSize = original.at("demo/AboutMe.txt");
    sameSize[0] = sameSize[0] == 'X' ? 'Y' : 'X';
    Write("demo/AboutMe.txt", sameSize);
    Write("demo/index.html", original.at("demo/index.html") + "<!-- my own note -->");
    Write("demo/index (PrevEdition).html", "an older copy");
    Write("Blog/.blog", "my own blog template");
    SetStoredVersion(0);

    StartAndStop();
    const std::map<std::string, std::string> after = FilesBelowRoot();
    EXPECT_EQ(after.at("demo/AboutMe.txt"), sameSize);
    EXPECT_EQ(after.at("demo/index.html"), original.at("demo/index.html"));
    EXPECT_EQ(after.at("demo/index (PrevEdition).html"), original.at("demo/index.html") + "<!-- my own note -->");
    EXPECT_EQ(after.at("Blog/.blog"), original.at("Blog/.blog"));
    // The copy of a name with a leading dot keeps the dot, and so stays hidden.
    EXPECT_EQ(after.at("Blog/.blog (PrevEdition)"), "my own blog template");
    EXPECT_EQ(after.size(), original.size() + 2);
    EXPECT_EQ(StoredVersion(), kPackedVersion);
}

TEST_F(Demo, ADeletedFileComesBackOnlyWhenTheStoredVersionIsOlder) {
    struct Row {
        const char* description;
        int64_t stored;
        bool comesBack;
    };
    const Row rows[] = {
        {"the same version", kPackedVersion, false},
        {"a newer version", 0x04000000, false},
        {"an older build of the same release", 0x0301022E, true},
        {"no installation recorded", 0, true},
    };
    StartAndStop();
    const std::string hobbies = FilesBelowRoot().at("demo/Hobbies.html");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        fs::remove(root_ + "/demo/Hobbies.html");
        SetStoredVersion(row.stored);
        StartAndStop();
        EXPECT_EQ(fs::exists(root_ + "/demo/Hobbies.html"), row.comesBack);
        if (row.comesBack) {
            EXPECT_EQ(Read(root_ + "/demo/Hobbies.html"), hobbies);
        }
        EXPECT_EQ(StoredVersion(), kPackedVersion);
    }
}

TEST_F(Demo, APreviousEditionOfAHiddenFileIsNotServed) {
    StartAndStop();
    Write("Security/Protected/.pass", "a longer secret than the demo's own note, kept by its owner\n");
    SetStoredVersion(0);
    ServerProcess server({.root = root_, .settings = settings_});
    ASSERT_TRUE(server.WaitUntilListening()) << server.Stderr();
    ASSERT_TRUE(fs::exists(root_ + "/Security/Protected/.pass (PrevEdition)"));
    // The demo's .pass protects its folder; with its password the copy is still hidden.
    EXPECT_EQ(Get(server.Port(), "/Security/Protected/.pass%20(PrevEdition)").statusLine, "HTTP/1.0 401 Unauthorized");
    const Response copy =
        Get(server.Port(), "/Security/Protected/.pass%20(PrevEdition)", "Authorization: Basic ZGVtbzpkZW1v\r\n");
    EXPECT_EQ(copy.statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(copy.body, kHiddenFilesMessage);
}

}  // namespace
}  // namespace tarnhollow::test
