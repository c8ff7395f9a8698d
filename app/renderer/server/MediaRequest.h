#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The request heads a renderer sends to the media server, parsed without
// trusting a byte of them: nothing here allocates more than the head's size
// or reads past it.
namespace media_request {

// Longest head accepted, request line and fields with the empty line.
inline constexpr std::size_t kMaxHeadBytes = 16 * 1024;

// Where the empty line ending the first head in the buffer ends (the offset of
// the next request's first byte), or 0 when the head is not complete yet.
std::size_t HeadLength(std::string_view buffer);

enum class Method { Get, Head, Other };

// What a Range field asked for. Anything not a single well-formed byte range
// (several ranges, other units, non-digits, numbers past 2^63, last < first)
// is a request for the whole file: the field is ignored, as a server that
// does not serve ranges would.
struct RangeSpec {
    enum class Kind {
        None,    // no Range field, or one that is ignored
        Bounded, // bytes=first-last
        Open,    // bytes=first-
        Suffix,  // bytes=-suffixLength
    };
    Kind kind = Kind::None;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::uint64_t suffixLength = 0;
};

RangeSpec ParseRange(std::string_view value);

// A range resolved against a file's size.
struct ByteSpan {
    enum class Kind { Whole, Partial, Unsatisfiable };
    Kind kind = Kind::Whole;
    std::uint64_t offset = 0; // first byte sent
    std::uint64_t length = 0; // bytes sent
};

ByteSpan Resolve(const RangeSpec& range, std::uint64_t fileSize);

struct Request {
    bool isValid = false; // a request line "METHOD TARGET HTTP/1.x"
    Method method = Method::Other;
    std::string methodText;
    // The target's path: without query and, for an absolute target, without
    // scheme and authority. Not decoded: published paths need no decoding.
    std::string path;
    int minorVersion = 1;
    bool isKeepAlive = false; // after the version's default and Connection
    bool hasBody = false;     // Content-Length > 0 or Transfer-Encoding: the
                              // connection cannot be read on after it
    bool hasRange = false;
    std::string rangeText; // the Range field as received, for the trace
    RangeSpec range;
};

// Parses one complete head (as delimited by HeadLength).
Request Parse(std::string_view head);

// Untrusted text made fit for the trace: unprintable bytes masked, bounded.
std::string Printable(std::string_view text, std::size_t maxBytes = 120);

} // namespace media_request
