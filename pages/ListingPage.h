// The listing page of a folder beyond its items: the folder's name and the links to the
// folders above it, the column heads' sort links, and the order the visitor asked for.
#pragma once

#include <string>
#include <string_view>

#include "http/Request.h"
#include "pages/FolderListing.h"

namespace tarnhollow {

// "sort=name|size|date" and "order=asc|desc" of the request; a missing or unknown value
// gives the default (name, ascending).
ListingOrder ParseListingOrder(const CRequest& request);

// Fills every page-wide marker of a directory template: the folder it lists (%FOLDER%,
// and %BREADCRUMBS% linking the folders above: "/demo/PhotoAlbum/" reads as itself with
// "/" and "demo/" linked) and, for each column, the query of its head's link
// (%SORTNAME%, %SORTSIZE%, %SORTDATE%: ascending, or the other order when the list is
// sorted by it) and the arrow that marks the sorted column (%ARROWNAME%, ...).
void FillPageMarkers(std::string& page, std::wstring_view folderUrl, const ListingOrder& order);

}  // namespace tarnhollow
