// The listing page's own markers and the order its visitor asked for.
#include "pages/ListingPage.h"

#include "http/PercentEncoding.h"
#include "pages/HtmlEscape.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

namespace {

// Shown after the name of the column the list is sorted by.
constexpr char kAscendingArrow[] = " \xe2\x96\xb2";
constexpr char kDescendingArrow[] = " \xe2\x96\xbc";

// Every occurrence of `marker` in `page` replaced by `value`, which is not searched again.
void ReplaceAll(std::string& page, std::string_view marker, std::string_view value) {
    for (size_t at = page.find(marker); at != std::string::npos; at = page.find(marker, at + value.size())) {
        page.replace(at, marker.size(), value);
    }
}

// The folder URL as links to each folder above it, the last name as text:
// "/demo/PhotoAlbum/" reads as itself, with "/" and "demo/" linked.
std::string Breadcrumbs(const std::string& folderUrl) {
    std::string out;
    size_t start = 0;
    while (start < folderUrl.size()) {
        const size_t slash = folderUrl.find('/', start);
        const size_t end = slash == std::string::npos ? folderUrl.size() : slash + 1;
        const std::string name = EscapeHtml(std::string_view(folderUrl).substr(start, end - start));
        if (end < folderUrl.size()) {
            out += "<a href=\"";
            AppendPercentEncoded(out, std::string_view(folderUrl).substr(0, end), PercentSet::Link);
            out += "\">" + name + "</a>";
        } else {
            out += name;
        }
        start = end;
    }
    return out;
}

}  // namespace

void FillPageMarkers(std::string& page, std::wstring_view folderUrl, const ListingOrder& order) {
    const std::string url = WideToAnsi(folderUrl);
    ReplaceAll(page, "%FOLDER%", EscapeHtml(url));
    ReplaceAll(page, "%BREADCRUMBS%", Breadcrumbs(url));
    struct Column {
        SortKey key;
        const char* name;
        const char* sortMarker;
        const char* arrowMarker;
    };
    constexpr Column kColumns[] = {{SortKey::Name, "name", "%SORTNAME%", "%ARROWNAME%"},
                                   {SortKey::Size, "size", "%SORTSIZE%", "%ARROWSIZE%"},
                                   {SortKey::Date, "date", "%SORTDATE%", "%ARROWDATE%"}};
    for (const Column& column : kColumns) {
        const bool current = column.key == order.key;
        const bool descending = current && !order.descending;
        ReplaceAll(page, column.sortMarker,
                   std::string("?sort=") + column.name + "&amp;order=" + (descending ? "desc" : "asc"));
        ReplaceAll(page, column.arrowMarker, current ? (order.descending ? kDescendingArrow : kAscendingArrow) : "");
    }
}

ListingOrder ParseListingOrder(const CRequest& request) {
    ListingOrder order;
    const auto sort = request.parameters.find(L"sort");
    if (sort != request.parameters.end()) {
        if (sort->second == L"size") order.key = SortKey::Size;
        if (sort->second == L"date") order.key = SortKey::Date;
    }
    const auto direction = request.parameters.find(L"order");
    order.descending = direction != request.parameters.end() && direction->second == L"desc";
    return order;
}

}  // namespace tarnhollow
