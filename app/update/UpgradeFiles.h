#pragma once

#include <optional>
#include <string>
#include <string_view>

// The firmware files in the user's own folder (OwnFiles.h), where no other
// user can plant or redirect them: "device_info.xml" names where the image is
// downloaded from (its SWURL entry), "appliance.xml" is the manifest the Box
// reads, "install.img" the image. The two XML files are put there by the
// user's tools; only the SWURL entry is read or rewritten, as plain text with
// no XML parser. Files that are links, no plain files or not the user's own
// are never read, written or served.
class UpgradeFiles {
public:
    // The process-wide instance, built on first use in the user's own folder
    // (none when that folder is refused: see Refused). At process exit it
    // deletes the three files.
    static UpgradeFiles& Get();

    // An instance over the given directory (empty: none); its destructor
    // deletes the three files there, as the process-wide one does at exit.
    explicit UpgradeFiles(std::string directory);
    ~UpgradeFiles();
    UpgradeFiles(const UpgradeFiles&) = delete;
    UpgradeFiles& operator=(const UpgradeFiles&) = delete;

    // Ends in "/"; empty without a folder.
    const std::string& directory() const { return m_directory; }
    const std::string& deviceInfoPath() const { return m_deviceInfoPath; }
    const std::string& appliancePath() const { return m_appliancePath; }
    const std::string& imagePath() const { return m_imagePath; }
    // Empty until ReadFirmwareUrl succeeds; a later failure keeps the old one.
    const std::wstring& firmwareUrl() const { return m_firmwareUrl; }
    const std::string& downloadFileName() const { return m_downloadFileName; }

    // The SWURL value of "device_info.xml" without surrounding white space, or
    // nothing; a found URL is also stored as firmwareUrl().
    std::optional<std::wstring> ReadFirmwareUrl();

    // Replaces the first SWURL value of "appliance.xml" with url and leaves
    // every other byte as it was. False, with the file untouched, for an empty
    // url or a file without a usable SWURL entry.
    bool SetFirmwareUrl(std::string_view url);

    // Creates a fresh empty "Kvu"-prefixed file with the suffix ".upd" in the
    // folder and returns (and stores) its name; nothing when the file cannot
    // be made.
    std::optional<std::string> MakeDownloadFileName();

    // What keeps the upgrade from using these files: the folder when it is
    // missing or not the user's own, else the first of the three files that
    // exists but is not a plain file of the user's own; empty when none.
    std::string Refused() const;

private:
    std::string m_directory;
    std::string m_deviceInfoPath;
    std::string m_appliancePath;
    std::string m_imagePath;
    std::wstring m_firmwareUrl;
    std::string m_downloadFileName;
};
