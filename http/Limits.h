// Every bound the server puts on what a peer may send or hold, in one place.
#pragma once

#include <cstddef>

namespace tarnhollow::limits {

// Size of a connection's I/O buffer: one receive takes at most this much, and a
// streamed file is sent in chunks of this size.
inline constexpr size_t kIoBufferSize = 16384;

// A peer that has not completed its request within this time is closed without an
// answer, so that idle or slow peers cannot hold sockets for ever.
inline constexpr int kRequestTimeoutSeconds = 60;

// The request line and header lines together, counting each line's bytes.
inline constexpr size_t kMaxHeaderBytes = 64 * 1024;

// A request body; no handler reads it, so a small bound costs nothing.
inline constexpr long long kMaxBodyBytes = 1024 * 1024;

// A blog comment, in bytes of its UTF-8 text as the visitor sent it; a longer one is
// refused with "400 Bad Request" and nothing is written, so one request cannot fill
// the disk.
inline constexpr size_t kMaxCommentBytes = 4096;

// How long the listener waits before accepting again after running out of file
// descriptors.
inline constexpr int kAcceptRetryMilliseconds = 100;

}  // namespace tarnhollow::limits
