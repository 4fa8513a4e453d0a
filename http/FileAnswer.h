// The answer to a GET or HEAD of a mapped file or folder, and who writes which part
// of it. In order:
//  1. PrepareFile (here) writes the status line with Server and Date (through
//     WriteStatus), then Content-Type for a file, and opens the file. A hidden path,
//     a refused folder, an unreadable file or a 304 are finished here instead.
//  2. WriteBody (here) hands the rest to the content router when there is one:
//     - the router (pages/Router) offers the request to the services first; a service
//       that takes it writes every remaining header, the blank line and the body, or
//       replaces the whole answer (pages/ReplacementAnswer);
//     - otherwise the router writes Last-Modified (WriteLastModified) and the page
//       builder writes Content-Length, the blank line and the built page;
//     - otherwise ServeFileAsIs (pages/Router) writes Last-Modified unless already
//       written, and StreamFile (here) Content-Length, the blank line and the first
//       chunk; the connection streams the rest of the open file.
//     Without a router, WriteBody writes Last-Modified and calls StreamFile itself.
//  3. A service that finishes later (http/PendingAnswer) leaves the head as it is and
//     writes its part, as in 2, when its work is done.
// A folder to be listed gets its whole answer from the listing (pages/FolderListing),
// which writes its own status line and headers.
#pragma once

#include "http/Request.h"

namespace tarnhollow {

// Writes the status and head for the mapped file or folder; true when a body follows.
bool PrepareFile(CRequest& request);

// Writes the rest of a GET answer (through the router when there is one).
void WriteBody(CRequest& request);

// Content-Length, the blank line and the first chunk of the open file; the connection
// streams the remainder. An empty file is closed at once.
void StreamFile(CRequest& request);

// Last-Modified from the open file's last-write time, when it can be read.
void WriteLastModified(CRequest& request);

// The hidden-file page's body.
inline constexpr char kHiddenFilesMessage[] = "<h1> Cannot Show Hidden Files and Root Directories</h1>";

}  // namespace tarnhollow
