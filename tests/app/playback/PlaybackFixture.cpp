#include "PlaybackFixture.h"

#include "Sha256Digest.h"
#include "TestFiles.h"
#include "Unicode.h"

DmpVellumoApi PlaybackFixture::s_api;

void PlaybackFixture::SetUpTestSuite() {
    s_api = BindDmpVellumoApi(REAL_LIBRARY_PATH,
                              [](const std::wstring& text) { ADD_FAILURE() << kvu::ToUtf8(text); });
}

void PlaybackFixture::TearDownTestSuite() {
    UnbindDmpVellumoApi(s_api);
}

std::wstring PlaybackFixture::media(const std::string& name, size_t bytes) {
    return MakePatternFile(dir, name, bytes).wstring();
}

PlayTarget PlaybackFixture::target(const BoxSimProcess& box) {
    return {kvu::FromUtf8(box.address()), box.port(), window.Window()};
}

PlayRequestOutcome PlaybackFixture::play(const BoxSimProcess& box,
                                         const std::vector<std::wstring>& files, uint32_t poolMask,
                                         Placement placement) {
    CPlayRequest request(instances, *this);
    return request.Play(files, poolMask, placement, target(box));
}

std::string Sha256Of(const std::wstring& path) {
    return Sha256FileHex(kvu::ToUtf8(path));
}
