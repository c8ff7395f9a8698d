#pragma once

#include "BoxSimProcess.h"
#include "DmpVellumoApi.h"
#include "HostWindowRecorder.h"
#include "TempDir.h"
#include "playback/CDmpInstances.h"
#include "playback/CPlayRequest.h"

#include <gtest/gtest.h>

#include <QStringList>

// The real libDmpVellumo.so bound through the application's table, a
// simulated Box, and a play request whose messages are recorded.
class PlaybackFixture : public ::testing::Test, public CPlayRequestReporter {
public:
    void ShowMessage(const QString& text) override { messages.append(text); }

protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();

    // A file of the given size under the fixture's folder; its path.
    std::wstring media(const std::string& name, size_t bytes = 4096);
    PlayTarget target(const BoxSimProcess& box);
    PlayRequestOutcome play(const BoxSimProcess& box, const std::vector<std::wstring>& files,
                            uint32_t poolMask, Placement placement = Placement::Queue);

    static DmpVellumoApi s_api;
    TempDir dir;
    HostWindowRecorder window;
    QStringList messages;
    CDmpInstances instances{s_api};
};

// The path's SHA-256, as the simulator logs it.
std::string Sha256Of(const std::wstring& path);
