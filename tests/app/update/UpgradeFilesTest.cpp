#include "update/UpgradeFiles.h"
#include "OtherUser.h"
#include "TempDir.h"
#include "update/FileUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kDeviceInfoHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                    "<plist version=\"1.0\">\n<dict>\n"
                                    "\t<key>Model</key>\n\t<string>http://decoy/</string>\n";
const std::string kDeviceInfoTail =
    "\t<key>Size</key>\n\t<integer>123</integer>\n</dict>\n</plist>\n";

std::string deviceInfo(const std::string& value) {
    return kDeviceInfoHead + "\t<key>SWURL</key>\n\t<string>" + value + "</string>\n" +
           kDeviceInfoTail;
}

class UpgradeFilesTest : public ::testing::Test {
protected:
    TempDir m_dir;
    UpgradeFiles m_files{m_dir.path()};

    std::optional<std::wstring> readUrl(const std::string& content) {
        WriteTestFile(m_files.deviceInfoPath(), content);
        return m_files.ReadFirmwareUrl();
    }
};

} // namespace

// The value sits between line breaks and spaces; an earlier <string> holding
// an http:// text belongs to another key and is ignored.
TEST_F(UpgradeFilesTest, ReadFirmwareUrlTrimsWhiteSpaceAndSearchesFromTheKey) {
    const auto url = readUrl(deviceInfo("\n\t  http://fw.example/box/install.img \r\n\t"));
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(*url, L"http://fw.example/box/install.img");
    EXPECT_EQ(m_files.firmwareUrl(), L"http://fw.example/box/install.img");
}

TEST_F(UpgradeFilesTest, ReadFirmwareUrlRefusesWhatIsNotAPlainHttpValue) {
    EXPECT_FALSE(readUrl(deviceInfo("https://fw.example/install.img")));
    EXPECT_FALSE(readUrl(kDeviceInfoHead + kDeviceInfoTail)) << "no key";
    EXPECT_FALSE(readUrl("")) << "empty file";
    // "</string>" before "http://", and "http://" before "<string>".
    EXPECT_FALSE(readUrl("<key>SWURL</key><string></string> http://x/"));
    EXPECT_FALSE(readUrl("<key>SWURL</key>http://x/<string></string>"));
    EXPECT_FALSE(readUrl(deviceInfo(std::string("http://fw/a\0b", 13)))) << "NUL in the URL";
    std::filesystem::remove(m_files.deviceInfoPath());
    EXPECT_FALSE(m_files.ReadFirmwareUrl()) << "missing file";
    EXPECT_TRUE(m_files.firmwareUrl().empty());
}

TEST_F(UpgradeFilesTest, ReadFirmwareUrlTakesTheFirstKeyAndKeepsAnEarlierUrlOnFailure) {
    ASSERT_TRUE(readUrl(deviceInfo("http://first/") + deviceInfo("http://second/")));
    EXPECT_EQ(m_files.firmwareUrl(), L"http://first/");
    EXPECT_FALSE(readUrl(deviceInfo("ftp://other/")));
    EXPECT_EQ(m_files.firmwareUrl(), L"http://first/");
}

TEST_F(UpgradeFilesTest, ReadFirmwareUrlCopesWithNulBytesBadUtf8AndHugeFiles) {
    const std::string nulBefore = std::string("junk\0\0junk", 10) + deviceInfo("http://after-nul/");
    EXPECT_EQ(readUrl(nulBefore), L"http://after-nul/");

    EXPECT_EQ(readUrl(deviceInfo("http://h\xFF\xFEst/")), L"http://h\uFFFD\uFFFDst/");

    const std::string padding(8 << 20, ' ');
    EXPECT_EQ(readUrl(padding + deviceInfo("http://far/") + padding), L"http://far/");
}

namespace {

const std::string kApplianceHead = "<?xml version=\"1.0\"?>\r\n<plist>\r\n<dict>\r\n"
                                   "  <string>http://not-this-one/</string>\r\n"
                                   "  <key>SWURL</key>\r\n  <string>";
const std::string kApplianceTail = "</string>\r\n  <key>Version</key>\r\n  <string>1.2</string>\r\n"
                                   "  <key>SWURL</key>\r\n  <string>http://second/</string>\r\n"
                                   "</dict>\r\n</plist>\r\n" +
                                   std::string("\0tail\xFF", 6);

} // namespace

// Everything outside the first value, NUL bytes and a second SWURL included,
// stays byte for byte; a second rewrite changes nothing.
TEST_F(UpgradeFilesTest, SetFirmwareUrlRewritesOnlyTheFirstValueAndIsIdempotent) {
    WriteTestFile(m_files.appliancePath(),
                  kApplianceHead + " http://remote.example/install.img " + kApplianceTail);
    const std::string url = "http://192.168.1.5:7272/install.img";
    ASSERT_TRUE(m_files.SetFirmwareUrl(url));
    const std::string once = ReadTestFile(m_files.appliancePath());
    EXPECT_EQ(once, kApplianceHead + url + kApplianceTail);
    ASSERT_TRUE(m_files.SetFirmwareUrl(url));
    EXPECT_EQ(ReadTestFile(m_files.appliancePath()), once);
}

TEST_F(UpgradeFilesTest, SetFirmwareUrlLeavesTheFileAloneWhenItCannotRewrite) {
    EXPECT_FALSE(m_files.SetFirmwareUrl("http://x/")) << "missing file";
    EXPECT_FALSE(FileExists(m_files.appliancePath()));

    const std::string secure = kApplianceHead + "https://remote/install.img" + kApplianceTail;
    WriteTestFile(m_files.appliancePath(), secure);
    EXPECT_FALSE(m_files.SetFirmwareUrl("http://x/"));
    EXPECT_FALSE(m_files.SetFirmwareUrl(""));
    EXPECT_EQ(ReadTestFile(m_files.appliancePath()), secure);

    const std::string noKey = "<plist><string>http://a/</string></plist>";
    WriteTestFile(m_files.appliancePath(), noKey);
    EXPECT_FALSE(m_files.SetFirmwareUrl("http://x/"));
    EXPECT_EQ(ReadTestFile(m_files.appliancePath()), noKey);
}

TEST_F(UpgradeFilesTest, MakeDownloadFileNameCreatesAFreshEmptyUpdFile) {
    const auto first = m_files.MakeDownloadFileName();
    const auto second = m_files.MakeDownloadFileName();
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    EXPECT_EQ(m_files.downloadFileName(), *second);
    for (const std::string& name : {*first, *second}) {
        EXPECT_EQ(name.rfind(m_files.directory() + "Kvu", 0), 0u) << name;
        EXPECT_TRUE(name.ends_with(".upd")) << name;
        EXPECT_EQ(ReadTestFile(name), "");
    }
    // Only the two ".upd" files remain: the unsuffixed names were moved.
    const auto count = std::distance(std::filesystem::directory_iterator(m_dir.path()),
                                     std::filesystem::directory_iterator());
    EXPECT_EQ(count, 2);

    UpgradeFiles nowhere(m_dir.file("missing-dir"));
    EXPECT_FALSE(nowhere.MakeDownloadFileName());
}

TEST(UpgradeFiles, DestructionDeletesTheThreeFilesOnly) {
    TempDir dir;
    for (const char* name : {"device_info.xml", "appliance.xml", "install.img", "other.txt"})
        WriteTestFile(dir.file(name), "x");
    { UpgradeFiles files(dir.path()); }
    EXPECT_FALSE(FileExists(dir.file("device_info.xml")));
    EXPECT_FALSE(FileExists(dir.file("appliance.xml")));
    EXPECT_FALSE(FileExists(dir.file("install.img")));
    EXPECT_TRUE(FileExists(dir.file("other.txt")));
}

// The process-wide instance lives in the user's own folder, whatever
// $TMPDIR says, and removes the files at exit.
TEST(UpgradeFiles, ProcessInstanceUsesTheUsersOwnFolderAndCleansUpAtExit) {
    TempDir runtime, shared;
    WriteTestFile(runtime.file("install.img"), "image");
    WriteTestFile(shared.file("install.img"), "planted");
    EXPECT_EXIT(
        {
            ::setenv("TMPDIR", shared.path().c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
            const bool isHere = UpgradeFiles::Get().imagePath() == runtime.file("install.img");
            std::exit(isHere ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(FileExists(runtime.file("install.img")));
    EXPECT_EQ(ReadTestFile(shared.file("install.img")), "planted");
}

// Files that are not plain files of the user's own are named by Refused and
// never read or written: a manifest linked to a file of the user's that holds
// the SWURL anchors leaves that file as it was.
TEST_F(UpgradeFilesTest, PlantedAndLinkedFilesAreRefused) {
    EXPECT_EQ(m_files.Refused(), "");
    TempDir elsewhere;
    const std::string anchors =
        kApplianceHead + "http://remote.example/install.img" + kApplianceTail;
    const std::string victim = elsewhere.write("notes.xml", anchors);
    ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
    std::filesystem::create_symlink(victim, m_files.appliancePath());
    EXPECT_EQ(m_files.Refused(), m_files.appliancePath());
    EXPECT_FALSE(m_files.SetFirmwareUrl("http://192.168.1.5:7272/install.img"));
    EXPECT_EQ(ReadTestFile(victim), anchors);

    std::filesystem::remove(m_files.appliancePath());
    WriteTestFile(m_files.deviceInfoPath(), deviceInfo("http://attacker.example/fw.img"));
    ASSERT_EQ(::chown(m_files.deviceInfoPath().c_str(), kOtherUser, kOtherUser), 0);
    EXPECT_EQ(m_files.Refused(), m_files.deviceInfoPath());
    EXPECT_FALSE(m_files.ReadFirmwareUrl());

    std::filesystem::remove(m_files.deviceInfoPath());
    ASSERT_EQ(::mkfifo(m_files.imagePath().c_str(), 0600), 0);
    EXPECT_EQ(m_files.Refused(), m_files.imagePath());

    ASSERT_EQ(::chmod(m_dir.path().c_str(), 0777), 0);
    EXPECT_EQ(m_files.Refused(), m_files.directory());
}
