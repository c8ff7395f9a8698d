// The remembered Boxes and the addresses a user types.
#include "TempDir.h"
#include "TraceCapture.h"
#include "shell/BoxAddressText.h"
#include "shell/CKnownBoxes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

FoundBox boxAt(const std::string& host, const std::string& udn = {}, int32_t port = 7171) {
    FoundBox box;
    box.host = host;
    box.port = port;
    box.udn = udn;
    box.friendlyName = "Box at " + host;
    return box;
}

} // namespace

TEST(BoxAddressText, HostsAddressesAndPortsAsTyped) {
    const auto parse = [](std::string_view text) { return ParseHostAndPort(text); };
    ASSERT_TRUE(parse("10.20.0.5"));
    EXPECT_EQ(parse("10.20.0.5")->port, 7171);
    EXPECT_EQ(parse("  10.20.0.5:8000 ")->host, "10.20.0.5");
    EXPECT_EQ(parse("10.20.0.5:8000")->port, 8000);
    EXPECT_EQ(parse("box-1.home.example")->host, "box-1.home.example");
    EXPECT_EQ(parse("box:65535")->port, 65535);
    for (const char* bad : {"",
                            " ",
                            ":7171",
                            "10.20.0.5:",
                            "10.20.0.5:0",
                            "10.20.0.5:65536",
                            "10.20.0.5:99999999",
                            "10.20.0.5:-1",
                            "10.20.0.5:80a",
                            "300.1.2.3",
                            "1.2.3",
                            "10.20.0.5.",
                            "-box",
                            "box-",
                            "a..b",
                            "box name",
                            "b\xc3\xb6x",
                            "http://10.20.0.5/",
                            "::1",
                            "10.20.0.5:80:81"})
        EXPECT_FALSE(parse(bad)) << bad;
    EXPECT_FALSE(parse(std::string(64, 'a'))) << "a label of 64";
    EXPECT_TRUE(parse(std::string(63, 'a')));
    std::string longest;
    for (int label = 0; label < 4; ++label)
        longest += std::string(label == 3 ? 61 : 63, 'a') + (label == 3 ? "" : ".");
    EXPECT_TRUE(parse(longest)) << longest.size();
    EXPECT_FALSE(parse(longest + "a")) << "254 characters";
    EXPECT_EQ(HostAndPortText("box", 7171), "box");
    EXPECT_EQ(HostAndPortText("box", 80), "box:80");
}

// The most recent first; the same Box (by UDN) or the same address once;
// written so that the next start reads them back.
TEST(CKnownBoxes, RemembersTheMostRecentFirstOnceEachAcrossStarts) {
    TempDir config;
    const QString path = QString::fromStdString(config.file("vellumo/boxes.json"));
    {
        CKnownBoxes known(path);
        known.Load();
        EXPECT_TRUE(known.Boxes().empty()) << "no file yet";
        ASSERT_TRUE(known.Remember(boxAt("192.168.1.20", "uuid:a")));
        ASSERT_TRUE(known.Remember(boxAt("far.example", {}, 8000)));
        // Box a again at a new address: one entry, first.
        ASSERT_TRUE(known.Remember(boxAt("192.168.1.33", "uuid:a")));
        // Another device at the address the far Box had.
        ASSERT_TRUE(known.Remember(boxAt("far.example", "uuid:b", 8000)));
    }
    CKnownBoxes later(path);
    later.Load();
    ASSERT_EQ(later.Boxes().size(), 2u);
    EXPECT_EQ(later.Boxes()[0], boxAt("far.example", "uuid:b", 8000));
    EXPECT_EQ(later.Boxes()[1], boxAt("192.168.1.33", "uuid:a"));

    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(later.Remember(boxAt("10.0.0." + std::to_string(i + 1))));
    EXPECT_EQ(later.Boxes().size(), CKnownBoxes::kMaxBoxes);
    EXPECT_EQ(later.Boxes().front().host, "10.0.0.40");
    // Nothing but the file: the write went through a file renamed over it.
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(config.file("vellumo")))
        ++files;
    EXPECT_EQ(files, 1u);
}

// A file that is not what this class writes gives no Boxes, says so, and
// crashes nothing; unsound entries are left out one by one.
TEST(CKnownBoxes, CorruptOrHostileFilesGiveNoneOrTheSoundEntries) {
    TempDir config;
    const std::string file = config.file("boxes.json");
    const QString path = QString::fromStdString(file);
    const char* const corrupt[] = {
        "", "{", "[]", "{\"boxes\":7}", "\x00\x01\x02", "{\"boxes\":{\"host\":\"a\"}}",
    };
    for (const char* bytes : corrupt) {
        TraceCapture trace;
        WriteTestFile(file, bytes);
        CKnownBoxes known(path);
        known.Load();
        EXPECT_TRUE(known.Boxes().empty()) << bytes;
        EXPECT_TRUE(trace.Contains("corrupt")) << bytes;
    }
    {
        TraceCapture trace;
        WriteTestFile(file, std::string(CKnownBoxes::kMaxFileBytes + 1, ' '));
        CKnownBoxes known(path);
        known.Load();
        EXPECT_TRUE(known.Boxes().empty());
        EXPECT_TRUE(trace.Contains("too large"));
    }
    WriteTestFile(file, R"({"boxes":[
        {"host":"10.0.0.1","port":7171,"name":"Good","udn":"uuid:1","location":"http://10.0.0.1:49152/d.xml"},
        {"host":"10.0.0.2","port":0},
        {"host":"10.0.0.3","port":"7171"},
        {"host":"not a host","port":7171},
        {"host":"10.0.0.4:80","port":7171},
        {"host":"10.0.0.5","port":70000},
        {"port":7171},
        "text",
        {"host":"10.0.0.6","port":8080,"location":"file:///etc/passwd"},
        {"host":"10.0.0.7","port":7171,"udn":"uuid:1"}
    ]})");
    TraceCapture trace;
    CKnownBoxes known(path);
    known.Load();
    ASSERT_EQ(known.Boxes().size(), 2u);
    EXPECT_EQ(known.Boxes()[0].friendlyName, "Good");
    EXPECT_EQ(known.Boxes()[0].location, "http://10.0.0.1:49152/d.xml");
    EXPECT_EQ(known.Boxes()[1].host, "10.0.0.6");
    EXPECT_EQ(known.Boxes()[1].port, 8080);
    EXPECT_TRUE(known.Boxes()[1].location.empty()) << "only the Box's own http page";
    EXPECT_TRUE(trace.Contains("left out"));
}

// A file that cannot be written (its folder would be a file) keeps the
// Boxes for this run and says so.
TEST(CKnownBoxes, AnUnwritableFileKeepsTheBoxesForTheRun) {
    TempDir config;
    WriteTestFile(config.file("taken"), "a file, not a folder");
    CKnownBoxes known(QString::fromStdString(config.file("taken/boxes.json")));
    TraceCapture trace;
    EXPECT_FALSE(known.Remember(boxAt("10.0.0.1")));
    EXPECT_EQ(known.Boxes().size(), 1u);
    EXPECT_TRUE(trace.Contains("cannot write"));
    EXPECT_EQ(ReadTestFile(config.file("taken")), "a file, not a folder");
}
