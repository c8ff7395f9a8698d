// Request heads from renderers: whatever the bytes, the head ends inside
// them, the path comes from them, and a resolved range stays inside the file.
#include "MediaRequest.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace mr = media_request;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t headLength = mr::HeadLength(input);
    if (headLength > size)
        std::abort();
    const mr::Request request = mr::Parse(headLength > 0 ? input.substr(0, headLength) : input);
    if (request.path.size() > size || request.rangeText.size() > size)
        std::abort();
    // The same range against a few sizes, the first taken from the input.
    std::uint64_t fileSize = 0;
    for (std::size_t i = 0; i < 8 && i < size; ++i)
        fileSize = (fileSize << 8) | data[i];
    for (const std::uint64_t candidate : {fileSize, std::uint64_t{0}, std::uint64_t{1},
                                          std::uint64_t{1000}, ~std::uint64_t{0} >> 1}) {
        const mr::ByteSpan span = mr::Resolve(request.range, candidate);
        if (span.kind == mr::ByteSpan::Kind::Whole && span.length != candidate)
            std::abort();
        if (span.kind == mr::ByteSpan::Kind::Partial &&
            (span.length == 0 || span.offset >= candidate || span.length > candidate - span.offset))
            std::abort();
    }
    if (mr::Printable(input).size() > 123)
        std::abort();
    return 0;
}
