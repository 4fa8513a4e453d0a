// Writes the demo site from the program's resources into the document root, keeping
// the user's changed files as previous-edition copies.
#include "pages/DemoInstaller.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "platform/File.h"
#include "platform/Resources.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr char kPreviousEditionMark[] = " (PrevEdition)";

// New files and folders get the usual permissions, narrowed by the user's umask.
constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kNewFolderMode = 0777;

// These keep an open from following a link planted at the target, from blocking on a
// FIFO and from making a terminal the controlling one.
constexpr int kSafeOpenFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// The size of an open regular file; nothing for a folder, FIFO, device or socket.
std::optional<off_t> RegularFileSize(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return st.st_size;
}

// Creates each missing folder along `folder` (which ends with "/"), from the top.
void CreateMissingFolders(const std::string& folder) {
    if (FileAttributes(folder) == kAttributeFolder) return;
    for (size_t at = folder.find('/', 1); at != std::string::npos; at = folder.find('/', at + 1)) {
        const std::string prefix = folder.substr(0, at);
        if (FileAttributes(prefix) < 0) ::mkdir(prefix.c_str(), kNewFolderMode);
    }
}

// Creates (or truncates) the target and writes the bytes. A half-written file is
// removed rather than left to look like a demo file the user changed.
bool CreateAndWrite(const std::string& path, std::string_view bytes) {
    UniqueFd fd(::open(path.c_str(), kSafeOpenFlags | O_CREAT | O_TRUNC, kNewFileMode));
    if (!fd.IsOpen() || !RegularFileSize(fd.Get())) return false;
    const bool written = WriteAll(fd.Get(), bytes);
    if (::close(fd.Release()) == 0 && written) return true;
    ::unlink(path.c_str());
    return false;
}

}  // namespace

std::string PreviousEditionPath(const std::string& targetPath) {
    const size_t slash = targetPath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = targetPath.rfind('.');
    if (dot == std::string::npos || dot <= nameStart) dot = targetPath.size();
    return targetPath.substr(0, dot) + kPreviousEditionMark + targetPath.substr(dot);
}

WriteOutcome WriteResourceFile(std::string_view bytes, const std::string& targetPath) {
    const size_t slash = targetPath.rfind('/');
    if (slash != std::string::npos && slash > 0) CreateMissingFolders(targetPath.substr(0, slash + 1));

    UniqueFd existing(::open(targetPath.c_str(), kSafeOpenFlags));
    if (!existing.IsOpen()) {
        // Nothing writable is there. The same flags make a link, folder or FIFO in the
        // way fail here too, so only a missing file is created.
        return CreateAndWrite(targetPath, bytes) ? WriteOutcome::Created : WriteOutcome::Failed;
    }
    const std::optional<off_t> size = RegularFileSize(existing.Get());
    existing.Reset();
    if (!size) return WriteOutcome::Failed;
    if (static_cast<size_t>(*size) == bytes.size()) return WriteOutcome::LeftAlone;

    // The rename replaces an older previous-edition copy in one step. When the user's
    // file cannot be moved aside it stays as it is: it is never overwritten.
    if (::rename(targetPath.c_str(), PreviousEditionPath(targetPath).c_str()) != 0) return WriteOutcome::Failed;
    return CreateAndWrite(targetPath, bytes) ? WriteOutcome::Replaced : WriteOutcome::Failed;
}

void InstallDemo(const std::wstring& documentRoot) {
    // Without a root the relative paths would land in the file system's own root.
    if (documentRoot.empty()) return;
    std::string root = WideToAnsi(documentRoot);
    if (root.back() != '/') root += '/';
    const auto targetOf = [&root](std::string_view relative, std::string_view name) {
        std::string path = root;
        path.append(relative).append(name);
        std::replace(path.begin() + static_cast<std::ptrdiff_t>(root.size()), path.end(), '\\', '/');
        return path;
    };

    for (std::string_view name : kDemoFiles) {
        if (auto bytes = FindResource("BINDAT", name)) WriteResourceFile(*bytes, targetOf(name, ""));
    }
    for (std::string_view folder : kDemoTemplateFolders) {
        for (std::string_view name : kDemoTemplates) {
            if (auto bytes = FindResource("CONTENT", name)) WriteResourceFile(*bytes, targetOf(folder, name));
        }
    }
}

}  // namespace tarnhollow
