#pragma once

#include "CStatusWindow.h"

#include <string>
#include <vector>

// Stands for the play status window, which the main window drives through
// CStatusWindow: records what it is asked, answers as a shown window would.
class RecordingStatusWindow : public CStatusWindow {
public:
    void Create(uint32_t types) override {
        m_types = types;
        m_exists = true;
        createdTypes.push_back(types);
    }
    void Destroy() override {
        m_types = 0;
        m_exists = false;
        m_isVisible = false;
    }
    void Show() override { m_isVisible = m_exists; }
    bool Exists() const override { return m_exists; }
    bool IsVisible() const override { return m_isVisible; }
    bool HasStarted() const override { return !createdTypes.empty(); }
    uint32_t Types() const override { return m_types; }
    bool IsPlayNow() const override { return isPlayNow; }
    void UpdateVideo(const MediaPanelStatus&) override {}
    void UpdateAudio(const MediaPanelStatus& status) override {
        audioNames.push_back(status.name != nullptr ? status.name : L"");
    }
    void UpdateImage(const ImagePanelStatus& status) override {
        imageNames.push_back(status.name != nullptr ? status.name : L"");
    }
    void ReapplyImageStatus() override {}

    bool isPlayNow = false;
    std::vector<uint32_t> createdTypes;
    std::vector<std::wstring> audioNames;
    std::vector<std::wstring> imageNames;

private:
    uint32_t m_types = 0;
    bool m_exists = false;
    bool m_isVisible = false;
};
