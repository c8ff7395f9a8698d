// Text conversions on untrusted bytes: whatever comes in, what goes out is
// well formed, and well-formed text survives a round trip.
#include "Escapes.h"
#include "Unicode.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool isScalar(wchar_t c) {
    const auto code = static_cast<uint32_t>(c);
    return code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
}

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::wstring wide = kvu::FromUtf8(bytes);
    for (wchar_t c : wide)
        check(isScalar(c));
    check(kvu::FromUtf8(kvu::ToUtf8(wide)) == wide);
    check(kvu::FromUtf16(kvu::ToUtf16(wide)) == wide);

    std::u16string units(size / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    for (wchar_t c : kvu::FromUtf16(units))
        check(isScalar(c));

    check(kvu::Unescape(bytes).size() <= size);
    return 0;
}
