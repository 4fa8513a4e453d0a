// The blog service: page-kind files under "/Blog/" are blogs of their lines, shown
// through the folder's ".blog" template; a "comment" parameter appends a post.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "http/Limits.h"
#include "pages/ServiceHandler.h"
#include "pages/SiteState.h"
#include "platform/SoundPlayer.h"

namespace tarnhollow {

class BlogService : public ServiceHandler {
public:
    // Not owned: the server's page strings and the player of the notification sound.
    BlogService(SiteState& site, SoundPlayer& sound);

    bool Handle(CRequest& request) override;

private:
    bool AddPost(CRequest& request, std::wstring_view comment);
    bool ShowBlog(CRequest& request);
    // Counts a comment from `address`; false when it is over the per-minute share.
    bool TakeCommentShare(const std::wstring& address);

    SiteState& site_;
    SoundPlayer& sound_;
    // When each client address last commented, within the last minute.
    std::unordered_map<std::wstring, std::deque<std::chrono::steady_clock::time_point>> recentComments_;
};

// A visitor's comment as one stored line: UTF-8 with "&", "<", ">" and the double
// quote written as HTML entities, so that it shows as the text that was typed, then
// every line break (CR LF, or a CR or LF alone, as scripts send) as "<br>", so that a
// comment is always one post. Lines the owner writes into the file keep their markup.
std::string FormatComment(std::wstring_view comment);

// The posts of a blog file: its lines, where CR and LF each separate and a run of
// them counts as one, so that empty lines give no posts.
std::vector<std::wstring> SplitPosts(std::string_view text);

// Appends `line` and CR LF to the existing file at `path` (never creating it, never
// through a symbolic link), with a
// CR LF first when the file's last line has no line break. False, with the file as it
// was, when the file cannot be opened for writing, has no write permission for
// anyone (even when the server runs as root), is locked by another writer, or the
// write fails.
bool AppendPost(const std::string& path, std::string_view line);

}  // namespace tarnhollow
