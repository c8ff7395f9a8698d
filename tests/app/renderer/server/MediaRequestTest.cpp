#include "MediaRequest.h"

#include <gtest/gtest.h>

namespace mr = media_request;

namespace {

struct Resolved {
    mr::ByteSpan::Kind kind;
    std::uint64_t offset;
    std::uint64_t length;
};

Resolved resolve(const char* field, std::uint64_t size) {
    const mr::ByteSpan span = mr::Resolve(mr::ParseRange(field), size);
    return {span.kind, span.offset, span.length};
}

using K = mr::ByteSpan::Kind;

void expectSpan(const char* field, std::uint64_t size, K kind, std::uint64_t offset,
                std::uint64_t length) {
    const Resolved got = resolve(field, size);
    EXPECT_EQ(got.kind, kind) << field;
    EXPECT_EQ(got.offset, offset) << field;
    EXPECT_EQ(got.length, length) << field;
}

} // namespace

TEST(MediaRequestTest, RangesResolveAgainstTheFileSize) {
    expectSpan("bytes=0-99", 1000, K::Partial, 0, 100);
    expectSpan("bytes=10-10", 1000, K::Partial, 10, 1);
    expectSpan("BYTES=990-5000", 1000, K::Partial, 990, 10); // last clamped to the end
    expectSpan("bytes=500-", 1000, K::Partial, 500, 500);
    expectSpan("bytes=-100", 1000, K::Partial, 900, 100);
    expectSpan("bytes=-5000", 1000, K::Partial, 0, 1000);
    expectSpan("bytes=1000-", 1000, K::Unsatisfiable, 0, 0);
    expectSpan("bytes=1000-2000", 1000, K::Unsatisfiable, 0, 0);
    expectSpan("bytes=-0", 1000, K::Unsatisfiable, 0, 0);
    expectSpan("bytes=0-", 0, K::Unsatisfiable, 0, 0);
    expectSpan("bytes=-1", 0, K::Unsatisfiable, 0, 0);
}

TEST(MediaRequestTest, MalformedOrSeveralRangesMeanTheWholeFile) {
    for (const char* field : {"bytes=0-9,20-29", "bytes=9-0", "bytes=a-9", "bytes=0-9x", "bytes=-",
                              "bytes=", "items=0-9", "bytes 0-9", "bytes=99999999999999999999-",
                              "bytes=0-99999999999999999999", "bytes=-9223372036854775808",
                              "bytes=+5-9", "bytes=0x10-0x20", "bytes=--5"}) {
        expectSpan(field, 1000, K::Whole, 0, 1000);
    }
    // The largest offset that fits is still a number, merely past the end.
    expectSpan("bytes=9223372036854775807-", 1000, K::Unsatisfiable, 0, 0);
}

TEST(MediaRequestTest, HeadEndsAtTheFirstEmptyLine) {
    EXPECT_EQ(mr::HeadLength("GET / HTTP/1.1\r\nHost: x\r\n"), 0u);
    EXPECT_EQ(mr::HeadLength("GET / HTTP/1.1\r\n\r\nGET"), 18u);
    EXPECT_EQ(mr::HeadLength("GET / HTTP/1.1\n\nrest"), 16u);
    EXPECT_EQ(mr::HeadLength("\r\n"), 0u);
    EXPECT_EQ(mr::HeadLength(""), 0u);
}

TEST(MediaRequestTest, RequestLineFieldsAndKeepAlive) {
    mr::Request request = mr::Parse("GET /media/ab.mp3?x=1 HTTP/1.1\r\nRange: bytes=5-\r\n"
                                    "Host: h\r\n\r\n");
    ASSERT_TRUE(request.isValid);
    EXPECT_EQ(request.method, mr::Method::Get);
    EXPECT_EQ(request.path, "/media/ab.mp3");
    EXPECT_TRUE(request.isKeepAlive);
    EXPECT_TRUE(request.hasRange);
    EXPECT_EQ(request.range.kind, mr::RangeSpec::Kind::Open);
    EXPECT_EQ(request.range.first, 5u);

    request = mr::Parse("HEAD http://10.0.0.1:7273/media/cd HTTP/1.0\r\n"
                        "connection: Foo, Keep-Alive\r\n\r\n");
    ASSERT_TRUE(request.isValid);
    EXPECT_EQ(request.method, mr::Method::Head);
    EXPECT_EQ(request.path, "/media/cd");
    EXPECT_EQ(request.minorVersion, 0);
    EXPECT_TRUE(request.isKeepAlive);

    EXPECT_FALSE(mr::Parse("GET / HTTP/1.0\r\n\r\n").isKeepAlive);
    EXPECT_FALSE(mr::Parse("GET / HTTP/1.1\r\nConnection: close\r\n\r\n").isKeepAlive);
    EXPECT_TRUE(mr::Parse("POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\n").hasBody);
    EXPECT_EQ(mr::Parse("DELETE / HTTP/1.1\r\n\r\n").method, mr::Method::Other);
    // Two Range fields: neither is trusted.
    EXPECT_EQ(
        mr::Parse("GET / HTTP/1.1\r\nRange: bytes=0-1\r\nRange: bytes=2-3\r\n\r\n").range.kind,
        mr::RangeSpec::Kind::None);
}

TEST(MediaRequestTest, MalformedRequestLinesAreInvalid) {
    for (const char* head :
         {"GET\r\n\r\n", "GET /\r\n\r\n", "GET / HTTP/2.0\r\n\r\n", " / HTTP/1.1\r\n\r\n",
          "GET  HTTP/1.1\r\n\r\n", "GET /a b HTTP/1.1\r\n\r\n", "\r\n\r\n", ""}) {
        EXPECT_FALSE(mr::Parse(head).isValid) << mr::Printable(head);
    }
}

TEST(MediaRequestTest, PrintableMasksAndBounds) {
    EXPECT_EQ(mr::Printable("a\r\nb\x01\xff"), "a??b??");
    EXPECT_EQ(mr::Printable("abcdef", 3), "abc...");
}
