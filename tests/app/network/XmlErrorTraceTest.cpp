#include "network/XmlErrorTrace.h"
#include "TraceCapture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <libxml/parser.h>
#include <unistd.h>

namespace {

// Whatever the process writes to standard error while it lives.
class StandardErrorCapture {
public:
    StandardErrorCapture() : m_file(std::tmpfile()), m_saved(::dup(STDERR_FILENO)) {
        std::fflush(stderr);
        ::dup2(fileno(m_file), STDERR_FILENO);
    }
    ~StandardErrorCapture() {
        Release();
        std::fclose(m_file);
    }
    std::string Release() {
        if (m_saved >= 0) {
            std::fflush(stderr);
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
            m_saved = -1;
        }
        std::string text;
        std::rewind(m_file);
        for (int c; (c = std::fgetc(m_file)) != EOF;)
            text += static_cast<char>(c);
        return text;
    }

private:
    FILE* m_file;
    int m_saved;
};

} // namespace

// A malformed description carrying terminal escape sequences: libxml2's
// complaints go to the trace without them, and nothing to the terminal.
TEST(XmlErrorTrace, MalformedDescriptionGoesToTheTraceNotTheTerminal) {
    const std::string document =
        "<root xmlns:a=\"\x1b[2J\x1b]0;title\x07\"><friendlyName>\x1b[31mBox</root>";
    TraceCapture trace;
    StandardErrorCapture terminal;
    RouteXmlErrorsToTrace();
    xmlFreeDoc(xmlReadMemory(document.data(), static_cast<int>(document.size()), "description.xml",
                             nullptr, 0));
    EXPECT_EQ(terminal.Release(), "");
    EXPECT_TRUE(trace.Contains("libxml2: ")) << trace.Text();
    EXPECT_EQ(trace.Text().find('\x1b'), std::string::npos);
}
