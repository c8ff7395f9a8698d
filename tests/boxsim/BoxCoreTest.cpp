// Building blocks of the simulated Box: digests, log lines, options, names.
#include "BoxOptions.h"
#include "FileSink.h"
#include "JsonEvent.h"
#include "JsonLine.h"
#include "Sha256Digest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

// Pieces fed one by one give the digest of the whole; finishing starts over;
// a file reads as its bytes, a missing one as nothing.
TEST(Sha256Digest, PiecesWholeAndFiles) {
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string input(1000, 'q');
    Sha256Digest split;
    split.update("x", 1);
    split.finishHex();
    for (char c : input)
        split.update(&c, 1);
    EXPECT_EQ(split.finishHex(), Sha256Hex(input));

    const auto path = std::filesystem::temp_directory_path() /
                      ("boxsim-sha-test-" + std::to_string(::getpid()) + ".bin");
    std::ofstream(path, std::ios::binary) << input;
    EXPECT_EQ(Sha256FileHex(path.string()), Sha256Hex(input));
    std::filesystem::remove(path);
    EXPECT_EQ(Sha256FileHex(path.string()), "");
}

// What the Box writes must read back unchanged, whatever bytes a peer sent.
TEST(JsonLine, EscapedValuesRoundTrip) {
    const std::string awkward = "quote\" back\\slash\nline\ttab\x01 ctl \xc3\xa9t\xc3\xa9";
    const std::string line = JsonLine("command")
                                 .add("extra", awkward)
                                 .add("value", int64_t{-9007199254740993})
                                 .add("complete", true)
                                 .add("names", std::vector<std::string>{"a,b", "", "c\"d"})
                                 .text();
    const auto event = JsonEvent::parse(line);
    ASSERT_TRUE(event) << line;
    EXPECT_EQ(event->str("event"), "command");
    EXPECT_EQ(event->str("extra"), awkward);
    EXPECT_EQ(event->num("value"), -9007199254740993);
    EXPECT_TRUE(event->flag("complete"));
    EXPECT_EQ(event->strings("names"), (std::vector<std::string>{"a,b", "", "c\"d"}));
}

TEST(JsonLine, InvalidUtf8BecomesReplacementCharacter) {
    const auto event =
        JsonEvent::parse(JsonLine("x").add("name", "a\xff\xc3(b\xed\xa0\x80").text());
    ASSERT_TRUE(event);
    EXPECT_EQ(event->str("name"),
              "a\xef\xbf\xbd\xef\xbf\xbd(b\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
}

TEST(JsonEvent, RejectsMalformedLines) {
    for (const char* line :
         {"", "{", "{\"a\":}", "{\"a\":1,}", "{\"a\":\"x}", "{\"a\":1} x", "{\"a\":[1]}", "[]"})
        EXPECT_FALSE(JsonEvent::parse(line)) << line;
    const auto event = JsonEvent::parse(R"({"n":5})");
    ASSERT_TRUE(event);
    EXPECT_FALSE(event->has("missing"));
    EXPECT_EQ(event->str("n"), ""); // wrong type reads as empty
}

TEST(BoxOptions, DefaultsAndEveryOption) {
    std::string error;
    const auto defaults = BoxOptions::parse({}, error);
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->address, "127.0.0.1");
    EXPECT_EQ(defaults->port, 7171);
    EXPECT_EQ(defaults->rateBytes, 1048576);
    EXPECT_EQ(defaults->version, 0x0000000700020003u);
    EXPECT_EQ(defaults->mac, 0x0000A1B2C3D4E5F6u);
    EXPECT_EQ(defaults->maxVolume, 100);
    EXPECT_EQ(defaults->httpPort, 80);
    EXPECT_EQ(defaults->flashTimeMs, 500);
    EXPECT_TRUE(defaults->faults.empty());

    const auto all = BoxOptions::parse({"--address",
                                        "127.0.0.3",
                                        "--port",
                                        "0",
                                        "--log",
                                        "l.jsonl",
                                        "--output-dir",
                                        "out",
                                        "--rate",
                                        "0x400",
                                        "--firmware-version",
                                        "0xFFFFFFFFFFFFFFFF",
                                        "--mac",
                                        "42",
                                        "--max-volume",
                                        "80",
                                        "--fault",
                                        "read-nothing",
                                        "--fault",
                                        "truncated-records",
                                        "--http-port",
                                        "8080",
                                        "--flash-time",
                                        "0",
                                        "--fault",
                                        "image-halfway"},
                                       error);
    ASSERT_TRUE(all) << error;
    EXPECT_EQ(all->address, "127.0.0.3");
    EXPECT_EQ(all->port, 0);
    EXPECT_EQ(all->logPath, "l.jsonl");
    EXPECT_EQ(all->outputDir, "out");
    EXPECT_EQ(all->rateBytes, 1024);
    EXPECT_EQ(all->version, 0xFFFFFFFFFFFFFFFFu);
    EXPECT_EQ(all->mac, 42u);
    EXPECT_EQ(all->maxVolume, 80);
    EXPECT_TRUE(all->has(BoxFault::ReadNothing));
    EXPECT_TRUE(all->has(BoxFault::TruncatedRecords));
    EXPECT_FALSE(all->has(BoxFault::AnswerNothing));
    EXPECT_EQ(all->httpPort, 8080);
    EXPECT_EQ(all->flashTimeMs, 0);
    EXPECT_TRUE(all->has(BoxFault::ImageHalfway));
}

TEST(BoxOptions, RejectsBadValues) {
    const std::vector<std::vector<std::string>> bad = {
        {"--port", "65536"},
        {"--port", "-1"},
        {"--port", "12x"},
        {"--rate", "0"},
        {"--mac", "0x"},
        {"--firmware-version", "18446744073709551616"},
        {"--address", "host"},
        {"--fault", "flaky"},
        {"--max-volume", "3000000000"},
        {"--http-port", "65536"},
        {"--flash-time", "3600001"},
        {"--port"},
        {"--bogus", "1"},
        {"--log", ""},
    };
    for (const auto& args : bad) {
        std::string error;
        EXPECT_FALSE(BoxOptions::parse(args, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(FileSink, SafeBaseNameNeverLeavesTheDirectory) {
    EXPECT_EQ(FileSink::safeBaseName("a.bin"), "a.bin");
    EXPECT_EQ(FileSink::safeBaseName("/home/u/Music/song.mp3"), "song.mp3");
    EXPECT_EQ(FileSink::safeBaseName("../../etc/passwd"), "passwd");
    EXPECT_EQ(FileSink::safeBaseName(".."), "");
    EXPECT_EQ(FileSink::safeBaseName("dir/."), "");
    EXPECT_EQ(FileSink::safeBaseName("dir/"), "");
    EXPECT_EQ(FileSink::safeBaseName(std::string("a\0b", 3)), "");
}

// Only a file whose every byte arrived is put in place; a backward seek keeps
// the coverage whole, a forward one leaves a hole.
TEST(FileSink, CompletesOnlyContiguousFiles) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("boxsim-sink-test-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    {
        FileSink sink;
        ASSERT_TRUE(sink.open(dir.string(), "whole.bin", 1));
        EXPECT_TRUE(sink.write(0, "abcdef", 6));
        EXPECT_TRUE(sink.write(2, "CDEFgh", 6)); // back to 2 after a seek
        EXPECT_TRUE(sink.finish(8));
        ASSERT_TRUE(std::filesystem::exists(dir / "whole.bin"));
        EXPECT_EQ(Sha256FileHex((dir / "whole.bin").string()), Sha256Hex("abCDEFgh"));
    }
    {
        FileSink sink;
        ASSERT_TRUE(sink.open(dir.string(), "holed.bin", 1));
        EXPECT_TRUE(sink.write(0, "ab", 2));
        EXPECT_TRUE(sink.write(5, "fgh", 3));
        EXPECT_FALSE(sink.finish(8));
    }
    {
        FileSink sink;
        ASSERT_TRUE(sink.open(dir.string(), "dropped.bin", 1));
        EXPECT_TRUE(sink.write(0, "ab", 2));
    }
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"whole.bin"});
    std::filesystem::remove_all(dir);
}
