#include "BoxAddress.h"

#include <arpa/inet.h>

bool ParseBoxAddress(const std::string& text, BoxAddress& box) {
    const size_t colon = text.find(':');
    std::string host = text.substr(0, colon);
    in_addr parsed{};
    if (::inet_pton(AF_INET, host.c_str(), &parsed) != 1)
        return false;
    int32_t port = 7171;
    if (colon != std::string::npos) {
        const std::string digits = text.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        port = std::stoi(digits);
        if (port < 1 || port > 65535)
            return false;
    }
    box.host = std::move(host);
    box.port = port;
    return true;
}
