// Helpers shared by the tests: temporary folders and files, and a running server
// process on a loopback port for the black-box tests.
#pragma once

#include <string>

namespace tarnhollow::test {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    // Writes `bytes` to Path()/relative, creating folders on the way; returns the full path.
    std::string Write(const std::string& relative, const std::string& bytes) const;
    std::string Read(const std::string& relative) const;

private:
    std::string path_;
};

}  // namespace tarnhollow::test
