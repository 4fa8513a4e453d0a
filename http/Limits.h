// Every bound the server puts on what a peer may send or hold, in one place.
#pragma once

#include <cstddef>

namespace tarnhollow::limits {

// Size of a connection's I/O buffer: one receive takes at most this much, and a
// streamed file is sent in chunks of this size.
inline constexpr size_t kIoBufferSize = 16384;

// A peer that has not completed its request within this time is closed without an
// answer, and one whose answer made no progress for this long (it stopped reading, or
// the answer's work never finished) is closed, so that idle or slow peers cannot hold
// sockets, files and buffers for ever.
inline constexpr int kRequestTimeoutSeconds = 60;

// After the answer, a peer that still sends has its input read and discarded for at
// most this long before the socket closes, so that closing on unread input does not
// reset the connection under the end of the answer.
inline constexpr int kLingerMilliseconds = 2000;

// Input that nobody asked for (sent while the answer goes out, or after it) is read and
// discarded at most this much per readiness notification, and at most this much in
// all per connection; a peer that sends more is cut off.
inline constexpr size_t kDiscardPerWakeupBytes = 64 * 1024;
inline constexpr size_t kMaxDiscardedBytes = 1024 * 1024;

// Request bodies that the unfinished requests of one client address hold together; a
// request past it is answered "503 Service Unavailable".
inline constexpr long long kMaxBodyBytesPerClient = 4 * 1024 * 1024;

// The request line and header lines together, counting each line's bytes.
inline constexpr size_t kMaxHeaderBytes = 64 * 1024;

// A request body; no handler reads it, so a small bound costs nothing.
inline constexpr long long kMaxBodyBytes = 1024 * 1024;

// A blog comment, in bytes of its UTF-8 text as the visitor sent it; a longer one is
// refused with "400 Bad Request" and nothing is written, so one request cannot fill
// the disk.
inline constexpr size_t kMaxCommentBytes = 4096;

// A blog that has grown past this size takes no more comments ("403 Forbidden"), so
// that visitors cannot grow it into a page too large to show.
inline constexpr long long kMaxBlogBytes = 4 * 1024 * 1024;

// Comments one client address may post in a minute; more are refused with "403
// Forbidden" and nothing is written.
inline constexpr size_t kCommentsPerMinute = 10;

// A .pass file larger than this is not read, and its folder is refused to everyone.
inline constexpr long long kMaxPassFileBytes = 64 * 1024;

// .pass files whose entries are kept between requests.
inline constexpr size_t kMaxCachedPassFiles = 1024;

// Client addresses whose failed logins are counted; past it, addresses not yet counted
// share one counter, so a flood of addresses cannot grow the table or escape it.
inline constexpr size_t kMaxCountedClients = 4096;

// Failed logins one client address may make in a minute before its answers to protected
// requests wait, and the longest such wait.
inline constexpr int kFailedLoginsPerMinute = 5;
inline constexpr int kMaxLoginDelaySeconds = 30;

// A password longer than this is wrong without being checked: hashing a very long one
// would hold the checking thread for long.
inline constexpr size_t kMaxPasswordBytes = 1024;

// Password checks waiting for the checking thread; more are answered "503 Service
// Unavailable".
inline constexpr size_t kPasswordCheckQueueLimit = 64;

// How long the listener waits before accepting again after running out of file
// descriptors.
inline constexpr int kAcceptRetryMilliseconds = 100;

}  // namespace tarnhollow::limits
