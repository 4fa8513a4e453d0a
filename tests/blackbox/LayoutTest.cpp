// The rendered layout of listings and demo pages in headless Chromium, on a phone 390
// pixels wide and a desktop 1280 wide, in the light and the dark scheme: no element
// overflows its box, no word is broken across lines, and the dark scheme is darker.
// With TARNHOLLOW_SCREENSHOTS set to a folder, the pages shown in the README are saved
// there as they are checked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/TestSupport.h"
#include "support/WebDriver.h"

namespace tarnhollow::test {
namespace {

// Lets every picture load (lazy ones too), then reports what sticks out: the page wider
// than the window, an element wider than its parent or than its own box, and a word
// drawn on two lines. A long file name is one word that may be split; it is left out.
constexpr char kWaitForPictures[] = R"(
  const done = arguments[arguments.length - 1];
  const pictures = Array.from(document.images);
  pictures.forEach(p => { p.loading = "eager"; });
  Promise.all(pictures.map(p => p.complete ? 1 : new Promise(r => { p.onload = p.onerror = r; })))
      .then(() => done(pictures.filter(p => !p.naturalWidth).map(p => p.src)));
)";

constexpr char kOverflows[] = R"(
  const bad = [];
  const name = e => e.tagName.toLowerCase() + (e.id ? "#" + e.id : "") +
      (typeof e.className === "string" && e.className.trim() ? "." + e.className.trim().split(/\s+/).join(".") : "");
  const clips = e => ["auto", "scroll", "hidden", "clip"].includes(getComputedStyle(e).overflowX);
  if (document.documentElement.scrollWidth > innerWidth) bad.push("page " + document.documentElement.scrollWidth);
  for (const e of document.body.querySelectorAll("*")) {
    const style = getComputedStyle(e);
    const box = e.getBoundingClientRect();
    if (style.display === "none" || (box.width === 0 && box.height === 0)) continue;
    if (style.display !== "inline" && !clips(e) && e.clientWidth > 0 && e.scrollWidth > e.clientWidth + 1)
      bad.push(name(e) + " holds " + e.scrollWidth + " in " + e.clientWidth);
    const parent = e.parentElement;
    if (clips(parent)) continue;
    const outer = parent.getBoundingClientRect();
    if (box.left < outer.left - 1 || box.right > outer.right + 1)
      bad.push(name(e) + " " + Math.round(box.left) + ".." + Math.round(box.right) + " outside " + name(parent) +
               " " + Math.round(outer.left) + ".." + Math.round(outer.right));
  }
  const texts = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
  while (texts.nextNode()) {
    const text = texts.currentNode;
    if (!text.parentElement || text.parentElement.closest(".listing span, script, style")) continue;
    for (const word of text.data.matchAll(/[^\s\-\/]{2,}/g)) {
      const range = document.createRange();
      range.setStart(text, word.index);
      range.setEnd(text, word.index + word[0].length);
      const lines = new Set(Array.from(range.getClientRects()).filter(r => r.width > 0).map(r => Math.round(r.top)));
      if (lines.size > 1) bad.push("word '" + word[0] + "' broken in " + name(text.parentElement));
    }
  }
  return bad;
)";

TEST(Layout, NothingOverflowsOnAPhoneOrADesktopInEitherScheme) {
    if (::access(kChromeDriver, X_OK) != 0) GTEST_SKIP() << kChromeDriver << " is not installed";
    // A fresh settings file: the demo site goes into the empty root.
    TempDir root, cache;
    ServerProcess server({.root = root.Path(), .environment = {"XDG_CACHE_HOME=" + cache.Path()}});
    ASSERT_TRUE(server.WaitUntilListening()) << server.Stderr();
    const auto url = [&](const std::string& path) { return "http://127.0.0.1:" + std::to_string(server.Port()) + path; };
    root.Write("samples/averyveryveryverylongfilenamewithoutanyspacesorbreaksinit.txt", "x");
    root.Write("samples/holiday plans for the whole family next summer.txt", std::string(123456, 'x'));
    root.Write("samples/pictures/broken.jpg", "not a picture");
    // What the check must catch: a box wider than the window and a word broken in two.
    root.Write("samples/wide.html", "<html><body><div style=\"width:2000px\">wide</div>"
                                    "<p style=\"width:2em;overflow-wrap:anywhere\">brokenword</p></body></html>");
    struct Page { const char* path; const char* screenshot; };  // saved under TARNHOLLOW_SCREENSHOTS when set
    const Page pages[] = {
        {"/", "root-listing"}, {"/demo/PhotoAlbum/", "picture-folder"}, {"/Blog/MyFirstBlog.txt", "blog-page"},
        {"/samples/", nullptr}, {"/samples/pictures/", nullptr}, {"/FindMe/", nullptr}, {"/TraceMe/", nullptr},
        {"/RemoteControl/PocketPC.html", nullptr}, {"/RemoteControl/SmartPhone.html", nullptr}, {"/Highlights/", nullptr},
    };
    const char* screenshots = std::getenv("TARNHOLLOW_SCREENSHOTS");
    for (const auto& [width, height] : {std::pair{390, 844}, std::pair{1280, 800}}) {
        WebDriver browser(width, height);
        ASSERT_TRUE(browser.Ok()) << browser.Log();
        std::string backgrounds[2];
        int scheme = 0;
        for (const char* colors : {"light", "dark"}) {
            ASSERT_TRUE(browser.SetColorScheme(colors)) << browser.Log();
            for (const Page& page : pages) {
                SCOPED_TRACE(std::string(page.path) + " at " + std::to_string(width) + " px, " + colors);
                ASSERT_TRUE(browser.Navigate(url(page.path))) << browser.Log();
                // Only the broken picture's thumbnail is the file icon, which loads.
                EXPECT_EQ(browser.ExecuteAsync(kWaitForPictures), "[]");
                EXPECT_EQ(browser.Execute(kOverflows), "[]");
                if (screenshots && page.screenshot) {
                    browser.Screenshot(std::string(screenshots) + "/" + page.screenshot + "-" + std::to_string(width) +
                                       "-" + colors + ".png");
                }
            }
            ASSERT_TRUE(browser.Navigate(url("/samples/wide.html"))) << browser.Log();
            const std::string control = browser.Execute(kOverflows);
            EXPECT_NE(control.find("page 2"), std::string::npos) << control;
            EXPECT_NE(control.find("word 'brokenword' broken"), std::string::npos) << control;
            backgrounds[scheme++] = browser.Execute("return getComputedStyle(document.body).backgroundColor;");
        }
        EXPECT_NE(backgrounds[0], backgrounds[1]) << "the dark scheme looks like the light one";
    }
}

}  // namespace
}  // namespace tarnhollow::test
