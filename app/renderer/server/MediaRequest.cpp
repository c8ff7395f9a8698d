#include "MediaRequest.h"

#include <algorithm>
#include <limits>

namespace media_request {

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view left, std::string_view right) {
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(),
                      [](char a, char b) { return lower(a) == lower(b); });
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Digits only, at most 2^63 - 1: a larger offset cannot be a file's.
bool parseNumber(std::string_view text, std::uint64_t* value) {
    constexpr std::uint64_t kLimit = std::numeric_limits<std::int64_t>::max();
    if (text.empty())
        return false;
    std::uint64_t result = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (result > (kLimit - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    *value = result;
    return true;
}

// Whether a comma-separated field value holds the token.
bool hasToken(std::string_view value, std::string_view token) {
    while (!value.empty()) {
        const std::size_t comma = std::min(value.find(','), value.size());
        if (equalsIgnoringCase(trimmed(value.substr(0, comma)), token))
            return true;
        value.remove_prefix(std::min(comma + 1, value.size()));
    }
    return false;
}

} // namespace

std::size_t HeadLength(std::string_view buffer) {
    // Lines end with CRLF or, from sloppy clients, with a bare LF.
    for (std::size_t newline = buffer.find('\n'); newline != std::string_view::npos;
         newline = buffer.find('\n', newline + 1)) {
        const std::size_t next = newline + 1;
        if (next < buffer.size() && buffer[next] == '\n')
            return next + 1;
        if (next + 1 < buffer.size() && buffer[next] == '\r' && buffer[next + 1] == '\n')
            return next + 2;
    }
    return 0;
}

RangeSpec ParseRange(std::string_view value) {
    RangeSpec ignored;
    value = trimmed(value);
    constexpr std::string_view kUnit = "bytes=";
    if (value.size() < kUnit.size() || !equalsIgnoringCase(value.substr(0, kUnit.size()), kUnit))
        return ignored;
    value = trimmed(value.substr(kUnit.size()));
    if (value.find(',') != std::string_view::npos)
        return ignored;
    const std::size_t dash = value.find('-');
    if (dash == std::string_view::npos)
        return ignored;
    const std::string_view firstText = trimmed(value.substr(0, dash));
    const std::string_view lastText = trimmed(value.substr(dash + 1));
    RangeSpec range;
    if (firstText.empty()) {
        if (!parseNumber(lastText, &range.suffixLength))
            return ignored;
        range.kind = RangeSpec::Kind::Suffix;
        return range;
    }
    if (!parseNumber(firstText, &range.first))
        return ignored;
    if (lastText.empty()) {
        range.kind = RangeSpec::Kind::Open;
        return range;
    }
    if (!parseNumber(lastText, &range.last) || range.last < range.first)
        return ignored;
    range.kind = RangeSpec::Kind::Bounded;
    return range;
}

ByteSpan Resolve(const RangeSpec& range, std::uint64_t fileSize) {
    ByteSpan span;
    switch (range.kind) {
    case RangeSpec::Kind::None:
        span.length = fileSize;
        return span;
    case RangeSpec::Kind::Suffix:
        if (range.suffixLength == 0 || fileSize == 0) {
            span.kind = ByteSpan::Kind::Unsatisfiable;
            return span;
        }
        span.kind = ByteSpan::Kind::Partial;
        span.length = std::min(range.suffixLength, fileSize);
        span.offset = fileSize - span.length;
        return span;
    case RangeSpec::Kind::Open:
    case RangeSpec::Kind::Bounded:
        if (range.first >= fileSize) {
            span.kind = ByteSpan::Kind::Unsatisfiable;
            return span;
        }
        span.kind = ByteSpan::Kind::Partial;
        span.offset = range.first;
        span.length = (range.kind == RangeSpec::Kind::Open ? fileSize - 1
                                                           : std::min(range.last, fileSize - 1)) -
                      range.first + 1;
        return span;
    }
    return span;
}

Request Parse(std::string_view head) {
    Request request;
    std::size_t lineEnd = std::min(head.find('\n'), head.size());
    std::string_view line = head.substr(0, lineEnd);
    if (line.ends_with('\r'))
        line.remove_suffix(1);

    // METHOD SP TARGET SP HTTP/1.x
    const std::size_t firstSpace = line.find(' ');
    const std::size_t lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || firstSpace == 0 || lastSpace == firstSpace)
        return request;
    const std::string_view method = line.substr(0, firstSpace);
    const std::string_view target =
        trimmed(line.substr(firstSpace + 1, lastSpace - firstSpace - 1));
    const std::string_view version = line.substr(lastSpace + 1);
    if (target.empty() || target.find(' ') != std::string_view::npos)
        return request;
    if (version == "HTTP/1.1")
        request.minorVersion = 1;
    else if (version == "HTTP/1.0")
        request.minorVersion = 0;
    else
        return request;
    request.methodText = std::string(method);
    request.method = method == "GET"    ? Method::Get
                     : method == "HEAD" ? Method::Head
                                        : Method::Other;

    std::string_view path = target;
    if (constexpr std::string_view kScheme = "http://";
        path.size() > kScheme.size() &&
        equalsIgnoringCase(path.substr(0, kScheme.size()), kScheme)) {
        path.remove_prefix(kScheme.size());
        const std::size_t slash = path.find('/');
        path = slash == std::string_view::npos ? std::string_view("/") : path.substr(slash);
    }
    path = path.substr(0, std::min(path.find_first_of("?#"), path.size()));
    request.path = std::string(path);

    bool isClose = false;
    bool isKeepAlive = false;
    while (lineEnd < head.size()) {
        const std::size_t start = lineEnd + 1;
        lineEnd = std::min(head.find('\n', start), head.size());
        line = head.substr(start, lineEnd - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        const std::size_t colon = line.find(':');
        if (line.empty() || colon == std::string_view::npos)
            continue;
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (equalsIgnoringCase(name, "connection")) {
            isClose = isClose || hasToken(value, "close");
            isKeepAlive = isKeepAlive || hasToken(value, "keep-alive");
        } else if (equalsIgnoringCase(name, "range")) {
            // A second Range field makes the request ambiguous: whole file.
            request.range = request.hasRange ? RangeSpec{} : ParseRange(value);
            request.hasRange = true;
            request.rangeText = std::string(value);
        } else if (equalsIgnoringCase(name, "content-length")) {
            request.hasBody = request.hasBody || value != "0";
        } else if (equalsIgnoringCase(name, "transfer-encoding")) {
            request.hasBody = true;
        }
    }
    request.isKeepAlive = !isClose && (request.minorVersion == 1 || isKeepAlive);
    request.isValid = true;
    return request;
}

std::string Printable(std::string_view text, std::size_t maxBytes) {
    std::string result(text.substr(0, maxBytes));
    std::replace_if(
        result.begin(), result.end(), [](char c) { return c < 0x20 || c > 0x7e; }, '?');
    if (text.size() > maxBytes)
        result += "...";
    return result;
}

} // namespace media_request
