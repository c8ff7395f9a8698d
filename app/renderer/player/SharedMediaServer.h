#pragma once

#include <memory>
#include <string>

class CMediaServer;

// The media server on the PC's address facing a renderer (dotted IPv4),
// started on its fixed port (another when a program holds that one) by the
// first player that needs it and stopped when the last one lets it go: it
// runs only while something plays on a renderer. Null and a sentence in
// *error when it cannot start. Any thread.
std::shared_ptr<CMediaServer> ShareMediaServer(const std::string& address, std::string* error);
