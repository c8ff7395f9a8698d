#pragma once

#include <cstdlib>
#include <optional>
#include <string>

// Sets an environment variable for its lifetime (a null value removes it)
// and puts back what was there before.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : m_name(name) {
        if (const char* saved = std::getenv(name))
            m_saved = saved;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnvironment() {
        if (m_saved)
            setenv(m_name.c_str(), m_saved->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_saved;
};
