#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// A fresh folder under /tmp for one test, removed with its content.
class ScratchFolder {
public:
    ScratchFolder() {
        char pattern[] = "/tmp/vellumo_testXXXXXX";
        if (mkdtemp(pattern) != nullptr)
            m_path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return m_path; }
    // Creates or replaces the named file; returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::string path = m_path + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }

private:
    std::string m_path;
};
