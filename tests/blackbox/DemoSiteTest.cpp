// The demo site as a visitor meets it, through the real binary: a walk from "/" over
// every link of every page, as served and as headless Chromium renders it with its
// scripts run, finds nothing broken and reaches every visible demo file; and a post
// written into a blog's own form in Chromium shows on that blog afterwards.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <deque>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "http/FileAnswer.h"
#include "pages/DemoInstaller.h"
#include "platform/TextConvert.h"
#include "support/Chromium.h"
#include "support/TestSupport.h"

namespace tarnhollow::test {
namespace {

// More would mean the walk is running in circles.
constexpr size_t kMostRequests = 600;

// The map services a demo page may point at; the NearMe service is the other outside host.
const std::set<std::string> kMapServiceHosts = {"www.openstreetmap.org", "tile.openstreetmap.org",
                                                 "maps.googleapis.com", "www.google.com"};

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The few character references that the pages and Chromium's serialisation use.
std::string DecodeEntities(std::string text) {
    for (const auto& [entity, character] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}}) {
        text = ReplaceAll(text, entity, character);
    }
    return ReplaceAll(text, "&amp;", "&");
}

// A path with "." and ".." segments resolved, as a browser does before it asks.
std::string RemoveDotSegments(const std::string& path) {
    std::vector<std::string> kept;
    std::istringstream segments(path.substr(1));
    std::vector<std::string> all;
    for (std::string segment; std::getline(segments, segment, '/');) all.push_back(segment);
    if (path.size() > 1 && path.back() == '/') all.push_back("");
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i] == "." || all[i] == "..") {
            if (all[i] == ".." && !kept.empty()) kept.pop_back();
            if (i + 1 == all.size()) kept.push_back("");
        } else {
            kept.push_back(all[i]);
        }
    }
    std::string out;
    for (const std::string& segment : kept) out += "/" + segment;
    return out.empty() ? "/" : out;
}

// Where a link leads, seen from the page at `base` (a path and query on the server).
struct Destination {
    enum Kind { Local, External, Invalid, SamePage } kind;
    std::string where;  // the path and query, or the whole external address
    std::string host;   // of an external address
};

Destination Resolve(const std::string& base, std::string reference, int port) {
    reference = reference.substr(0, reference.find('#'));
    if (reference.empty()) return {Destination::SamePage, base, ""};
    if (reference.starts_with("//")) reference = "http:" + reference;
    const size_t colon = reference.find(':');
    if (colon != std::string::npos && reference.find_first_of("/?") > colon) {
        const std::string scheme = reference.substr(0, colon);
        if ((scheme != "http" && scheme != "https") || reference.compare(colon, 3, "://") != 0) {
            return {Destination::Invalid, reference, ""};
        }
        const size_t hostStart = colon + 3;
        const size_t pathStart = std::min(reference.find_first_of("/?", hostStart), reference.size());
        const std::string authority = reference.substr(hostStart, pathStart - hostStart);
        if (authority != "127.0.0.1:" + std::to_string(port)) {
            return {Destination::External, reference, authority.substr(0, authority.find(':'))};
        }
        reference = pathStart < reference.size() ? reference.substr(pathStart) : "/";
        if (reference.starts_with("?")) reference = "/" + reference;
    }
    const std::string basePath = base.substr(0, base.find('?'));
    std::string target;
    if (reference.starts_with("/")) {
        target = reference;
    } else if (reference.starts_with("?")) {
        target = basePath + reference;
    } else {
        target = basePath.substr(0, basePath.rfind('/') + 1) + reference;
    }
    const size_t query = target.find('?');
    const std::string path = RemoveDotSegments(target.substr(0, query));
    return {Destination::Local, query == std::string::npos ? path : path + target.substr(query), ""};
}

// The markup of a page without its scripts, styles and comments: those are code, not
// markup, and what scripts link to is found in the tree Chromium builds.
std::string WithoutCode(const std::string& html) {
    const std::string lower = AsciiLowerCase(html);
    std::string markup;
    size_t at = 0;
    while (at < html.size()) {
        size_t next = std::string::npos;
        std::string close;
        for (const auto& [open, end] : {std::pair{"<script", "</script>"}, {"<style", "</style>"}, {"<!--", "-->"}}) {
            const size_t found = lower.find(open, at);
            if (found < next) {
                next = found;
                close = end;
            }
        }
        markup.append(html, at, next == std::string::npos ? std::string::npos : next - at);
        if (next == std::string::npos) break;
        const size_t stop = lower.find(close, next);
        at = stop == std::string::npos ? html.size() : stop + close.size();
    }
    return markup;
}

// The quoted href and src values of every tag in a served page's markup.
std::vector<std::string> LinksInMarkup(const std::string& html) {
    const std::string markup = WithoutCode(html);
    std::vector<std::string> links;
    for (size_t open = markup.find('<'); open != std::string::npos; open = markup.find('<', open + 1)) {
        if (open + 1 >= markup.size() || !std::isalpha(static_cast<unsigned char>(markup[open + 1]))) continue;
        const std::string tag = markup.substr(open, markup.find('>', open) - open);
        for (const std::string name : {"href", "src"}) {
            for (size_t at = tag.find(name); at != std::string::npos; at = tag.find(name, at + 1)) {
                if (!std::isspace(static_cast<unsigned char>(tag[at - 1]))) continue;
                size_t value = tag.find_first_not_of(" \t\r\n", at + name.size());
                if (value == std::string::npos || tag[value] != '=') continue;
                value = tag.find_first_not_of(" \t\r\n", value + 1);
                if (value == std::string::npos || (tag[value] != '"' && tag[value] != '\'')) continue;
                const size_t end = tag.find(tag[value], value + 1);
                links.push_back(DecodeEntities(tag.substr(value + 1, end - value - 1)));
            }
        }
    }
    return links;
}

int StatusCode(const Response& response) {
    const size_t space = response.statusLine.find(' ');
    return space == std::string::npos ? 0 : std::atoi(response.statusLine.c_str() + space + 1);
}

// The text of the element with this id in a document tree Chromium dumped.
std::string ElementText(const std::string& dom, const std::string& id) {
    const std::string open = "id=\"" + id + "\">";
    const size_t start = dom.find(open);
    if (start == std::string::npos) return std::string();
    const size_t from = start + open.size();
    return DecodeEntities(dom.substr(from, dom.find('<', from) - from));
}

class DemoSite : public ::testing::Test {
protected:
    void SetUp() override {
        server_ = std::make_unique<ServerProcess>(ServerProcess::Options{.root = root_.Path()});
        ASSERT_TRUE(server_->WaitUntilListening()) << server_->Stderr();
    }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(server_->Port()) + path;
    }

    // Follows every link from the queue until nothing new is left; every answer must be a
    // 200 of a page, style sheet or picture, or a redirect, whose target is walked too.
    void Walk(std::deque<std::pair<std::string, std::string>> queue) {
        while (!queue.empty() && requested_.size() < kMostRequests) {
            const auto [url, from] = queue.front();
            queue.pop_front();
            if (!requested_.insert(url).second) continue;
            Response response = Get(server_->Port(), url);
            // The demo's protected folder opens with the user and password its pages give;
            // its pages are not rendered, where a browser would ask for them.
            const bool protectedPage = response.statusLine == "HTTP/1.0 401 Unauthorized";
            if (protectedPage) response = Get(server_->Port(), url, "Authorization: Basic ZGVtbzpkZW1v\r\n");
            const std::string type = response.Header("Content-Type");
            const int status = StatusCode(response);
            if (status == 301 || status == 302) {
                Follow(queue, url, response.Header("Location"), url + " (redirect)");
            } else if (status != 200) {
                problems_.push_back(url + " linked from " + from + " answered " + response.statusLine);
            } else if (response.body == kHiddenFilesMessage) {
                problems_.push_back(url + " linked from " + from + " is hidden from visitors");
            } else if (type.starts_with("text/html")) {
                if (!protectedPage) pages_.push_back(url);
                for (const std::string& link : LinksInMarkup(response.body)) Follow(queue, url, link, url);
            } else if (!KnownBytes(type, response.body)) {
                problems_.push_back(url + " linked from " + from + " is not what its type " + type + " says");
            }
            if (status == 200) answered_.insert(url.substr(0, url.find('?')));
        }
        EXPECT_LT(requested_.size(), kMostRequests) << "the walk did not end";
    }

    void Follow(std::deque<std::pair<std::string, std::string>>& queue, const std::string& base,
                const std::string& link, const std::string& from) {
        const Destination to = Resolve(base, link, server_->Port());
        if (to.kind == Destination::Local) {
            if (!requested_.count(to.where)) queue.emplace_back(to.where, from);
        } else if (to.kind == Destination::External) {
            if (!kMapServiceHosts.count(to.host) && to.host != NearMeHost()) {
                problems_.push_back(from + " links to " + to.where + ", which is no map service");
            }
        } else if (to.kind == Destination::Invalid) {
            problems_.push_back(from + " has the link " + link);
        }
    }

    static bool KnownBytes(const std::string& type, const std::string& body) {
        if (type == "image/jpeg") return body.starts_with("\xFF\xD8\xFF");
        if (type == "image/png") return body.starts_with("\x89PNG");
        if (type == "image/gif") return body.starts_with("GIF8");
        return type.starts_with("text/css") && !body.empty();
    }

    // The host the NearMe pages ask, as their script names it.
    std::string NearMeHost() {
        if (nearMeHost_.empty()) {
            const std::string page = Get(server_->Port(), "/NearMe/index.html").body;
            const std::string setting = "var nearMeHost = \"";
            const size_t at = page.find(setting);
            if (at != std::string::npos) {
                const size_t from = at + setting.size();
                nearMeHost_ = page.substr(from, page.find('"', from) - from);
            }
        }
        return nearMeHost_;
    }

    // Runs `script` in a page of the server's own origin, beside a frame it may load pages
    // into and reach inside; returns what the script reported. A script error in any page
    // fails the test.
    std::string RunInBrowser(const std::string& name, const std::string& script, int virtualTimeMilliseconds) {
        root_.Write(name,
                    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>harness</title></head><body>"
                    "<h1>harness</h1><pre id=\"report\"></pre><script>\n"
                    "var frame = document.createElement('iframe');\n"
                    "function report(text) { document.getElementById('report').textContent = text; }\n" +
                        script + "document.body.appendChild(frame);\n</script></body></html>");
        const BrowserRun run = RunChromium(Url("/" + name), virtualTimeMilliseconds);
        EXPECT_TRUE(run.finished) << "Chromium did not finish";
        EXPECT_EQ(run.log.find("Uncaught"), std::string::npos) << "a page's script failed:\n" << run.log;
        return ElementText(run.dom, "report");
    }

    // Loads every page found so far in Chromium, one after another in the frame, and walks
    // whatever the rendered trees link to that the served markup did not show.
    void WalkRenderedPages() {
        std::string list;
        for (const std::string& page : pages_) list += "\"" + page + "\",";
        const std::string report = RunInBrowser("walk.html",
                                                "var pages = [" + list + "], next = 0, lines = [];\n"
                                                "frame.onload = function () {\n"
                                                "  var d = frame.contentDocument;\n"
                                                "  if (d.location.href === 'about:blank') return;\n"
                                                "  lines.push('PAGE ' + d.location.href);\n"
                                                "  d.querySelectorAll('[href],[src]').forEach(function (e) {\n"
                                                "    var link = e.getAttribute('href') || e.getAttribute('src');\n"
                                                "    lines.push('LINK ' + new URL(link, d.baseURI).href);\n"
                                                "  });\n"
                                                "  if (next < pages.length) frame.src = pages[next++];\n"
                                                "  else report(lines.join('\\n') + '\\nEND');\n"
                                                "};\n"
                                                "frame.src = pages[next++];\n",
                                                60000);
        ASSERT_TRUE(report.ends_with("\nEND")) << "Chromium did not get through the pages:\n" << report;

        std::deque<std::pair<std::string, std::string>> queue;
        std::istringstream lines(report);
        std::string page;
        size_t pagesRendered = 0;
        for (std::string line; std::getline(lines, line);) {
            if (line.starts_with("PAGE ")) {
                page = line.substr(5);
                ++pagesRendered;
            } else if (line.starts_with("LINK ")) {
                Follow(queue, "/", line.substr(5), page + " (rendered)");
            }
        }
        EXPECT_EQ(pagesRendered, pages_.size());
        Walk(queue);
    }

    TempDir root_;
    std::unique_ptr<ServerProcess> server_;
    std::set<std::string> requested_;
    std::set<std::string> answered_;
    std::vector<std::string> pages_;
    std::vector<std::string> problems_;
    std::string nearMeHost_;
};

TEST_F(DemoSite, AWalkFromTheTopFolderFindsNoBrokenLinkAndReachesEveryVisibleFile) {
    Walk({{"/", "the start"}});
    WalkRenderedPages();
    for (const std::string& problem : problems_) ADD_FAILURE() << problem;

    for (std::string_view name : kDemoFiles) {
        std::string path = "/" + std::string(name);
        for (char& c : path) {
            if (c == '\\') c = '/';
        }
        // Names beginning with a dot are never served, so no link may lead there.
        const bool hidden = path.find("/.") != std::string::npos;
        EXPECT_EQ(answered_.count(path) == 1, !hidden) << path;
    }
}

TEST_F(DemoSite, APostWrittenIntoTheBlogsOwnFormShowsOnTheBlog) {
    const std::string post = "Hello from a visitor, number " + std::to_string(::getpid());
    const std::string report = RunInBrowser("post.html",
                                            "var loads = 0;\n"
                                            "frame.onload = function () {\n"
                                            "  var d = frame.contentDocument;\n"
                                            "  if (loads++ === 0) {\n"
                                            "    var field = d.querySelector('textarea[name=\"comment\"]');\n"
                                            "    if (!field) return report('no comment field on ' + d.location.pathname);\n"
                                            "    field.value = '" + post + "';\n"
                                            "    field.form.querySelector('[type=\"submit\"]').click();\n"
                                            "    return;\n"
                                            "  }\n"
                                            "  var posts = d.querySelectorAll('.posts li');\n"
                                            "  var last = posts.length ? posts[posts.length - 1].textContent : 'no post';\n"
                                            "  report(d.location.pathname + d.location.search + ' shows ' + last);\n"
                                            "};\n"
                                            "frame.src = '/Blog/MyFirstBlog.txt';\n",
                                            10000);
    // After the post the server sends the browser back to the blog itself.
    EXPECT_EQ(report, "/Blog/MyFirstBlog.txt shows " + post);

    const std::string blog = root_.Read("Blog/MyFirstBlog.txt");
    EXPECT_TRUE(blog.ends_with("\r\n" + post + "\r\n")) << blog;
    EXPECT_NE(Get(server_->Port(), "/Blog/MyFirstBlog.txt").body.find(post), std::string::npos);
}

}  // namespace
}  // namespace tarnhollow::test
