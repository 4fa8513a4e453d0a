// Showing blogs through their folder's ".blog" template and appending visitors' posts.
#include "pages/BlogService.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "http/DefaultDocuments.h"
#include "http/PercentEncoding.h"
#include "http/ResponseWriter.h"
#include "http/UrlMapping.h"
#include "pages/HtmlEscape.h"
#include "pages/PageBuilder.h"
#include "pages/ReplacementAnswer.h"
#include "platform/File.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

constexpr wchar_t kPrefix[] = L"/Blog/";
// The blog template: a hidden file of the blog's folder, so it is never served itself.
constexpr wchar_t kBlogTemplateName[] = L".blog";

bool EndsWithLineBreak(int fd, off_t size) {
    char last = 0;
    return ::pread(fd, &last, 1, size - 1) == 1 && (last == '\n' || last == '\r');
}

// A comment of nothing but white space is no comment.
bool IsBlank(std::wstring_view text) {
    return text.find_first_not_of(L" \t\r\n") == std::wstring_view::npos;
}

std::wstring FolderOf(const std::wstring& filePath) {
    const size_t slash = filePath.rfind(L'/');
    return slash == std::wstring::npos ? std::wstring() : filePath.substr(0, slash);
}

}  // namespace

BlogService::BlogService(SiteState& site, SoundPlayer& sound) : site_(site), sound_(sound) {}

bool BlogService::Handle(CRequest& request) {
    if (!MappedUrlPath(request).starts_with(kPrefix)) return false;
    if (IsDefaultDocument(request.filePath)) return BuildPage(request, site_);
    const auto comment = request.parameters.find(L"comment");
    if (comment != request.parameters.end() && !IsBlank(comment->second)) return AddPost(request, comment->second);
    return ShowBlog(request);
}

bool BlogService::AddPost(CRequest& request, std::wstring_view comment) {
    if (WideToAnsi(comment).size() > limits::kMaxCommentBytes) {
        ReplaceWithError(request, kStatusBadRequest);
        return true;
    }
    const auto size = FileSize(request.response->file.Get());
    if (!size || *size > limits::kMaxBlogBytes || !TakeCommentShare(request.peerAddress)) {
        ReplaceWithError(request, kStatusForbidden);
        return true;
    }
    request.response->file.Reset();
    // A blog that cannot take the post still sends the visitor back to it.
    if (AppendPost(WideToAnsi(request.filePath), FormatComment(comment))) {
        // At most one sound plays at a time; a comment meanwhile is silent.
        sound_.Play(WideToAnsi(site_.blogSound));
        // The path as mapped and encoded: what the visitor typed may hold anything,
        // and it is shown to the owner.
        site_.lastBlogPostPath = PercentEncode(MappedUrlPath(request), PercentSet::Link);
    }
    RedirectToRequestPath(request);
    return true;
}

bool BlogService::TakeCommentShare(const std::wstring& address) {
    const auto now = std::chrono::steady_clock::now();
    const auto minuteAgo = now - std::chrono::minutes(1);
    // Addresses that have not commented for a minute are forgotten now and then, so the
    // table stays as small as the number of recent commenters.
    if (recentComments_.size() > 1024) {
        std::erase_if(recentComments_, [&](const auto& entry) { return entry.second.back() <= minuteAgo; });
    }
    auto& times = recentComments_[address];
    while (!times.empty() && times.front() <= minuteAgo) times.pop_front();
    if (times.size() >= limits::kCommentsPerMinute) return false;
    times.push_back(now);
    return true;
}

bool BlogService::ShowBlog(CRequest& request) {
    const int fd = request.response->file.Get();
    const auto size = FileSize(fd);
    if (!size || *size > static_cast<long long>(kMaxPageFileBytes)) return false;
    const auto text = ReadWholeFile(fd);
    if (!text) return false;

    Substitutions substitutions;
    substitutions.itemMarker = "<blogitem>";
    substitutions.valueMarkers = {"<comment>"};
    for (std::wstring& post : SplitPosts(*text)) substitutions.records.push_back({std::move(post)});

    const std::wstring blogTemplate = FolderOf(request.filePath) + L"/" + kBlogTemplateName;
    request.response->file = OpenForReading(WideToAnsi(blogTemplate), &request.response->fileInfo);
    if (!request.response->file.IsOpen()) {
        // The blog's own file is closed by now, so there is no page to fall back to.
        ReplaceWithError(request, kStatusNotFound);
        return true;
    }
    // The template is a hidden file: if no page can be built from it, it must not be
    // sent as it is by the router's fall-back.
    if (!BuildPage(request, site_, substitutions)) ReplaceWithError(request, kStatusNotFound);
    return true;
}

std::string FormatComment(std::wstring_view comment) {
    const std::string text = WideToAnsi(EscapeHtml(comment, QuoteEscaping::DoubleOnly));
    std::string line;
    line.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') {
            line += text[i];
            continue;
        }
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        line += "<br>";
    }
    return line;
}

std::vector<std::wstring> SplitPosts(std::string_view text) {
    std::vector<std::wstring> posts;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) posts.push_back(AnsiToWide(text.substr(start, end - start)));
        start = end + 1;
    }
    return posts;
}

bool AppendPost(const std::string& path, std::string_view line) {
    UniqueFd file(::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    if (!file.IsOpen()) return false;
    const int fd = file.Get();
    struct stat before;
    // A file without any write permission is closed to comments, as its owner meant.
    if (::fstat(fd, &before) != 0 || !S_ISREG(before.st_mode) || (before.st_mode & 0222) == 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return false;

    std::string bytes;
    if (before.st_size > 0 && !EndsWithLineBreak(fd, before.st_size)) bytes += "\r\n";
    bytes.append(line).append("\r\n");
    if (WriteAll(fd, bytes)) return true;
    // Half a post is worse than none; cut it off unless someone else wrote meanwhile.
    struct stat after;
    if (::fstat(fd, &after) == 0 && after.st_size > before.st_size &&
        after.st_size <= before.st_size + static_cast<off_t>(bytes.size())) {
        [[maybe_unused]] const int ignored = ::ftruncate(fd, before.st_size);
    }
    return false;
}

}  // namespace tarnhollow
