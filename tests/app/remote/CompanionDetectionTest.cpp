#include "remote/CompanionDetection.h"
#include "TempDir.h"
#include "Unicode.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Points the XDG data directories at a fresh tree: home/, then sys1/ and sys2/.
class CompanionDetectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS"}) {
            const char* value = std::getenv(name);
            m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
        for (const char* sub : {"home", "sys1", "sys2"})
            fs::create_directories(m_dir.file(sub) + "/applications");
        ::setenv("XDG_DATA_HOME", m_dir.file("home").c_str(), 1);
        ::setenv("XDG_DATA_DIRS", (m_dir.file("sys1") + "::" + m_dir.file("sys2")).c_str(), 1);
    }
    void TearDown() override {
        for (const auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

    void addEntry(const std::string& dataDir, const std::string& file, const std::string& name,
                  const std::string& path) {
        const std::string target = m_dir.file(dataDir) + "/applications/" + file;
        fs::create_directories(fs::path(target).parent_path());
        std::string text = "[Desktop Entry]\nType=Application\nName=" + name + "\n";
        if (!path.empty())
            text += "Path=" + path + "\n";
        WriteTestFile(target, text);
    }

    TempDir m_dir;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// A running copy of sleep under a chosen name; killed and reaped at the end.
class NamedProcess {
public:
    explicit NamedProcess(const std::string& executable) {
        fs::copy_file("/bin/sleep", executable, fs::copy_options::overwrite_existing);
        const std::string name = fs::path(executable).filename();
        char* argv[] = {const_cast<char*>(name.c_str()), const_cast<char*>("600"), nullptr};
        // posix_spawn returns once the child runs the new image.
        if (::posix_spawn(&m_pid, executable.c_str(), nullptr, nullptr, argv, environ) != 0)
            m_pid = -1;
    }
    ~NamedProcess() { stop(); }
    NamedProcess(const NamedProcess&) = delete;
    NamedProcess& operator=(const NamedProcess&) = delete;

    bool isRunning() const { return m_pid > 0; }
    void stop() {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
};

} // namespace

TEST_F(CompanionDetectionTest, EntriesFollowTheDataDirectoriesWithShadowingAndSkipTheUnusable) {
    addEntry("home", "b.desktop", "Home B", "/home/b");
    addEntry("home", "a.desktop", "Home A", "");
    addEntry("sys1", "a.desktop", "Shadowed A", "/shadowed");
    addEntry("sys1", "vendor/tool.desktop", "Vendor Tool", "/opt/vendor");
    addEntry("sys2", "vendor-tool.desktop", "Shadowed Tool", "/x");
    addEntry("sys2", "z.desktop", "System Z", "/usr/z");
    const std::string apps = m_dir.file("sys2") + "/applications/";
    WriteTestFile(apps + "hidden.desktop", "[Desktop Entry]\nName=Gone\nHidden=true\n");
    WriteTestFile(apps + "nameless.desktop", "[Desktop Entry]\nPath=/p\n");
    WriteTestFile(apps + "readme.txt", "[Desktop Entry]\nName=Not a desktop file\n");
    fs::create_directory(apps + "folder.desktop");
    fs::create_symlink(m_dir.file("nowhere"), apps + "dangling.desktop");
    // A reader that opened this would block forever.
    ASSERT_EQ(::mkfifo((apps + "pipe.desktop").c_str(), 0644), 0);

    const UninstallEntries entries = FindUninstallEntries();
    EXPECT_EQ(entries.displayNames,
              (std::vector<std::wstring>{L"Home A", L"Home B", L"Vendor Tool", L"System Z"}));
    EXPECT_EQ(entries.installLocations,
              (std::vector<std::wstring>{L"", L"/home/b", L"/opt/vendor", L"/usr/z"}));
}

TEST_F(CompanionDetectionTest, WiDiEntryNeedsIntelAndWiDiAndAnInstallLocation) {
    EXPECT_FALSE(FindWiDiApplication()) << "no entries";
    addEntry("home", "1.desktop", "intel widi", "/lowercase");
    addEntry("home", "2.desktop", "Intel WiDi", "");
    addEntry("home", "3.desktop", "WiDi Helper", "/no-intel");
    addEntry("home", "4.desktop", "Intel(R) Wireless Display", "/opt/Intel/WiDi/");
    addEntry("home", "5.desktop", "Intel WiDi", "/later");
    EXPECT_EQ(FindWiDiApplication(), L"/opt/Intel/WiDi/WiDiApp.exe");
}

TEST_F(CompanionDetectionTest, RunningWiDiExecutableIsDetectedAndItsEndNoticed) {
    const std::string install = m_dir.file("WiDi");
    fs::create_directory(install);
    addEntry("sys1", "widi.desktop", "Intel WiDi", install);
    EXPECT_FALSE(IsWiDiApplicationRunning()) << "installed, not running";

    NamedProcess widi(install + "/WiDiApp.exe");
    ASSERT_TRUE(widi.isRunning());
    EXPECT_TRUE(IsWiDiApplicationRunning());
    widi.stop();
    EXPECT_FALSE(IsWiDiApplicationRunning());
}

TEST_F(CompanionDetectionTest, ExecutableDifferingOnlyInLetterCaseCountsAsRunning) {
    const std::string install = m_dir.file("widi");
    fs::create_directory(install);
    addEntry("home", "widi.desktop", "Intel WiDi", install);
    NamedProcess widi(install + "/WIDIAPP.exe");
    ASSERT_TRUE(widi.isRunning());
    EXPECT_TRUE(IsWiDiApplicationRunning());
}

TEST(ProcessImages, ListsThisProcessAndSkipsProcessesThatCannotBeRead) {
    const auto real = ListProcessImagePaths();
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(length, 0);
    const std::wstring selfPath = kvu::FromUtf8(std::string_view(self, length));
    EXPECT_NE(std::find(real.begin(), real.end(), selfPath), real.end());

    // A process table where one process vanished, one hides its image and
    // one non-process entry looks like a process.
    TempDir proc;
    for (const char* pid : {"100", "200", "300", "self"})
        fs::create_directory(proc.file(pid));
    fs::create_symlink("/opt/Intel/WiDiApp.exe", proc.file("100") + "/exe");
    WriteTestFile(proc.file("300") + "/exe", "not a link");
    fs::create_symlink("/usr/bin/self", proc.file("self") + "/exe");
    EXPECT_EQ(ListProcessImagePaths(proc.path()),
              std::vector<std::wstring>{L"/opt/Intel/WiDiApp.exe"});
    EXPECT_TRUE(ListProcessImagePaths(proc.file("missing")).empty());
}
