// The one byte range a plain file answer honours, from a request's Range header.
#pragma once

#include <string_view>

namespace tarnhollow {

struct ByteRange {
    enum class Kind {
        // No range, several ranges, or a header that does not parse: the whole file.
        Whole,
        // Bytes first..last of the file, both included.
        Partial,
        // A well-formed range that lies past the end of the file.
        Unsatisfiable,
    };
    Kind kind = Kind::Whole;
    long long first = 0;
    long long last = 0;
};

// Reads "bytes=first-last", "bytes=first-" or "bytes=-suffix" against a file of `size`
// bytes. A last past the end is cut to the end; a suffix longer than the file is the
// whole file as a range.
ByteRange ParseByteRange(std::wstring_view header, long long size);

}  // namespace tarnhollow
