#include "ElfSection.h"

#include "DebugPrint.h"

#include <algorithm>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxSectionNameBytes = 256;

// The section header fields we need, from either ELF class.
struct SectionHeader {
    std::uint32_t name = 0;
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

class ElfFile {
public:
    explicit ElfFile(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)), m_path(path) {
        struct stat info {};
        if (m_fd >= 0 && ::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode))
            m_size = static_cast<std::uint64_t>(info.st_size);
    }
    ~ElfFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ElfFile(const ElfFile&) = delete;
    ElfFile& operator=(const ElfFile&) = delete;

    // Reads exactly size bytes at offset, within the file's size.
    bool read(std::uint64_t offset, void* buffer, std::size_t size) const {
        if (m_fd < 0 || offset > m_size || size > m_size - offset)
            return false;
        auto* out = static_cast<char*>(buffer);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t got =
                ::pread(m_fd, out + done, size - done, static_cast<off_t>(offset + done));
            if (got <= 0)
                return false;
            done += static_cast<std::size_t>(got);
        }
        return true;
    }

    std::optional<std::vector<unsigned char>> section(std::string_view name) {
        unsigned char ident[EI_NIDENT];
        if (!read(0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0 ||
            ident[EI_DATA] != ELFDATA2LSB ||
            (ident[EI_CLASS] != ELFCLASS32 && ident[EI_CLASS] != ELFCLASS64)) {
            DebugPrint("ReadElfSection(): %s is not a little-endian ELF file\n", m_path.c_str());
            return std::nullopt;
        }
        m_is64 = ident[EI_CLASS] == ELFCLASS64;
        std::uint64_t tableOffset = 0;
        std::uint16_t entrySize = 0, count = 0, namesIndex = 0;
        // The section-table fields, whichever width the file has.
        const auto readTable = [&](auto header) {
            if (!read(0, &header, sizeof header))
                return false;
            tableOffset = header.e_shoff;
            entrySize = header.e_shentsize;
            count = header.e_shnum;
            namesIndex = header.e_shstrndx;
            return true;
        };
        if (!(m_is64 ? readTable(Elf64_Ehdr{}) : readTable(Elf32_Ehdr{})))
            return truncated();
        const std::size_t expectedEntry = m_is64 ? sizeof(Elf64_Shdr) : sizeof(Elf32_Shdr);
        if (entrySize != expectedEntry || namesIndex >= count)
            return truncated();
        const auto names = header(tableOffset, entrySize, namesIndex);
        if (!names)
            return truncated();
        for (std::uint16_t i = 0; i < count; ++i) {
            const auto candidate = header(tableOffset, entrySize, i);
            if (!candidate)
                return truncated();
            if (candidate->type == SHT_NOBITS || !hasName(*names, candidate->name, name))
                continue;
            if (candidate->size > kMaxElfSectionBytes)
                return truncated();
            std::vector<unsigned char> bytes(candidate->size);
            if (!read(candidate->offset, bytes.data(), bytes.size()))
                return truncated();
            return bytes;
        }
        return std::nullopt;
    }

private:
    std::optional<SectionHeader> header(std::uint64_t tableOffset, std::size_t entrySize,
                                        std::uint16_t index) const {
        const std::uint64_t at = tableOffset + std::uint64_t{index} * entrySize;
        if (at < tableOffset)
            return std::nullopt;
        if (m_is64) {
            Elf64_Shdr raw;
            if (!read(at, &raw, sizeof raw))
                return std::nullopt;
            return SectionHeader{raw.sh_name, raw.sh_type, raw.sh_offset, raw.sh_size};
        }
        Elf32_Shdr raw;
        if (!read(at, &raw, sizeof raw))
            return std::nullopt;
        return SectionHeader{raw.sh_name, raw.sh_type, raw.sh_offset, raw.sh_size};
    }

    bool hasName(const SectionHeader& names, std::uint32_t nameOffset,
                 std::string_view wanted) const {
        if (nameOffset >= names.size || wanted.size() >= kMaxSectionNameBytes)
            return false;
        char buffer[kMaxSectionNameBytes] = {};
        const std::size_t length =
            std::min<std::uint64_t>(wanted.size() + 1, names.size - nameOffset);
        if (!read(names.offset + nameOffset, buffer, length))
            return false;
        return length == wanted.size() + 1 && std::string_view(buffer) == wanted;
    }

    std::optional<std::vector<unsigned char>> truncated() const {
        DebugPrint("ReadElfSection(): %s has a damaged section table\n", m_path.c_str());
        return std::nullopt;
    }

    int m_fd;
    std::string m_path;
    std::uint64_t m_size = 0;
    bool m_is64 = false;
};

} // namespace

std::optional<std::vector<unsigned char>> ReadElfSection(const std::string& path,
                                                         std::string_view name) {
    return ElfFile(path).section(name);
}
