#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Bytes the file-read service sends per write.
inline constexpr int32_t kChunkBytes = 98304;

// The file a Box is reading.
class CDmpFileSource {
public:
    enum class Kind { None, LocalFile, Http, Https };

    CDmpFileSource() = default;
    ~CDmpFileSource();
    CDmpFileSource(const CDmpFileSource&) = delete;
    CDmpFileSource& operator=(const CDmpFileSource&) = delete;

    bool Open(const std::wstring& path);
    int64_t Size();
    int32_t Read(uint8_t* buffer, int32_t capacity);
    bool Seek(int64_t offset);
    void Close();
    Kind GetKind() const { return m_kind; }
    const std::wstring& Path() const { return m_path; }

private:
    Kind m_kind = Kind::None;
    std::FILE* m_file = nullptr;
    std::wstring m_path;
};
