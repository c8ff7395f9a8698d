#include "CDmpFileSource.h"

#include "Unicode.h"

CDmpFileSource::~CDmpFileSource() {
    Close();
}

bool CDmpFileSource::Open(const std::wstring& path) {
    if (path.empty())
        return false;
    Close();
    m_file = std::fopen(kvu::ToUtf8(path).c_str(), "rb");
    if (m_file == nullptr)
        return false;
    m_kind = Kind::LocalFile;
    m_path = path;
    return true;
}

int64_t CDmpFileSource::Size() {
    if (m_file == nullptr)
        return -1;
    if (fseeko(m_file, 0, SEEK_END) != 0)
        return -1;
    const int64_t size = ftello(m_file);
    fseeko(m_file, 0, SEEK_SET);
    return size;
}

int32_t CDmpFileSource::Read(uint8_t* buffer, int32_t capacity) {
    if (m_file == nullptr || capacity <= 0)
        return 0;
    return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(capacity), m_file));
}

bool CDmpFileSource::Seek(int64_t offset) {
    return m_file != nullptr && offset >= 0 && fseeko(m_file, offset, SEEK_SET) == 0;
}

void CDmpFileSource::Close() {
    if (m_file != nullptr)
        std::fclose(m_file);
    m_file = nullptr;
    m_kind = Kind::None;
    m_path.clear();
}
