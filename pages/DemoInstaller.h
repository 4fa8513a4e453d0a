// Installing the demo site: the demo files and template copies the program carries as
// resources, written into the document root when a newer program version first starts.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tarnhollow {

// The demo files in installation order. Each is both the name of its "BINDAT" resource
// and its path below the document root, with backslashes between the parts.
inline constexpr std::array<std::string_view, 40> kDemoFiles = {
    "demo\\AboutMe.txt",
    "demo\\Hobbies.html",
    "demo\\index.html",
    "demo\\.pict\\blue-ball-small.gif",
    "demo\\PhotoAlbum\\branch.jpg",
    "demo\\PhotoAlbum\\cloud.jpg",
    "demo\\PhotoAlbum\\Comments.html",
    "demo\\PhotoAlbum\\fall-4.jpg",
    "demo\\PhotoAlbum\\fall.jpg",
    "demo\\PhotoAlbum\\lake.jpg",
    "demo\\PhotoAlbum\\lighthouse.jpg",
    "demo\\PhotoAlbum\\mountains.jpg",
    "demo\\PhotoAlbum\\redleaves.jpg",
    "demo\\PhotoAlbum\\road.jpg",
    "demo\\PhotoAlbum\\sea.jpg",
    "demo\\PhotoAlbum\\stones.jpg",
    "demo\\PhotoAlbum\\sunset-2.jpg",
    "demo\\PhotoAlbum\\white-night.jpg",
    "FindMe\\index.html",
    "FindMe\\VirtualEarth.html",
    "Highlights\\index.html",
    "TraceMe\\index.html",
    "TraceMe\\VirtualEarth.html",
    "Blog\\.blog",
    "Blog\\AboutSomething.txt",
    "Blog\\index.html",
    "Blog\\MyFirstBlog.txt",
    "ScreenShot\\index.html",
    "ScreenShot\\screenshot.png",
    "RemoteControl\\index.html",
    "RemoteControl\\PocketPC.html",
    "RemoteControl\\SmartPhone.html",
    "Security\\index.html",
    "Security\\Protected\\index.html",
    "Security\\Protected\\.pass",
    "NearMe\\index.html",
    "NearMe\\VirtualEarth.html",
    "FindMe\\GoogleMap.html",
    "NearMe\\GoogleMap.html",
    "TraceMe\\GoogleMap.html",
};

// The folders that receive copies of the page templates, in order. FindMe is named
// twice; the second copy finds files of the same size and leaves them alone.
inline constexpr std::array<std::string_view, 13> kDemoTemplateFolders = {
    "demo\\",   "demo\\.pict\\", "demo\\PhotoAlbum\\", "FindMe\\",   "FindMe\\",
    "Highlights\\", "TraceMe\\", "Blog\\",            "ScreenShot\\", "RemoteControl\\",
    "Security\\",   "Security\\Protected\\",          "NearMe\\",
};

// The "CONTENT" templates copied into each of those folders, in this order.
inline constexpr std::array<std::string_view, 2> kDemoTemplates = {".dir", ".file"};

// Writes every demo file and template copy below `documentRoot`. A missing resource or
// a file that cannot be written is skipped; nothing is reported.
void InstallDemo(const std::wstring& documentRoot);

// What WriteResourceFile did; the installer ignores it, the tests read it.
enum class WriteOutcome {
    Created,    // nothing was there; the file was written
    Replaced,   // a file of another size was moved to its previous-edition name first
    LeftAlone,  // a file of the same size is there and is kept as it is
    Failed,     // nothing could be written; whatever was there is untouched
};

// Writes `bytes` to `targetPath` (with "/" separators), creating missing folders on
// the way. A file of the same size counts as the user's and stays; a file of another
// size is moved to PreviousEditionPath first, replacing an older copy there. A symbolic
// link, or anything else at `targetPath` that is not a regular file, is never written
// through or moved.
WriteOutcome WriteResourceFile(std::string_view bytes, const std::string& targetPath);

// The previous-edition copy's path: " (PrevEdition)" goes between the file name and
// its extension ("index.html" -> "index (PrevEdition).html"). A name whose only dot
// leads it has no extension (".blog" -> ".blog (PrevEdition)"), so such a copy stays
// hidden from visitors as the original was.
std::string PreviousEditionPath(const std::string& targetPath);

}  // namespace tarnhollow
