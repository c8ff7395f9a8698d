#pragma once

#include <string>

// The user's D-Bus service file for the RemoteControl object:
// $XDG_DATA_HOME/dbus-1/services/org.vellumo.Vellumo.service (XDG_DATA_HOME
// defaulting to ~/.local/share). The bus starts the program with the
// embedding switch when a client calls the object while none serves it.
class CRemoteControlRegistration {
public:
    static constexpr const char* kEmbeddingSwitch = "-Embedding";

    // The service file's path; empty when neither XDG_DATA_HOME nor HOME is
    // set.
    static std::string ServiceFilePath();
    // The file's text for that program.
    static std::string ServiceFileText(const std::string& executablePath);

    // Writes the file (and its directories) for the program. The process's
    // exit code: 0, or 1 with a trace line when it cannot be written.
    static int Register(const std::string& executablePath);
    // Removes the file; a missing one is no error. 0, or 1 with a trace line.
    static int Unregister();
};
