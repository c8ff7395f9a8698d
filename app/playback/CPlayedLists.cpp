#include "CPlayedLists.h"

#include <algorithm>

void CPlayedLists::Started(DmpVellumoInfo* instance, const std::vector<std::wstring>& files) {
    m_played[instance] = Played{files, {}, std::nullopt, false, {}};
}

void CPlayedLists::Merged(DmpVellumoInfo* instance, const std::vector<std::wstring>& files,
                          Placement placement) {
    const auto found = m_played.find(instance);
    if (found == m_played.end())
        return;
    std::vector<std::wstring>& kept = found->second.files;
    kept.insert(placement == Placement::PlayNow ? kept.begin() : kept.end(), files.begin(),
                files.end());
}

void CPlayedLists::Take(const PlayRecord& record, const std::vector<std::wstring>& files) {
    for (DmpVellumoInfo* instance : record.started)
        Started(instance, files);
    for (const auto& [instance, placement] : record.merged)
        Merged(instance, files, placement);
}

void CPlayedLists::Forget(DmpVellumoInfo* instance) {
    m_played.erase(instance);
}

void CPlayedLists::Prune(const CDmpInstances& instances) {
    std::erase_if(m_played, [&](const auto& entry) { return !instances.Contains(entry.first); });
}

bool CPlayedLists::Contains(const DmpVellumoInfo* instance) const {
    return m_played.count(instance) != 0;
}

void CPlayedLists::Resumed(DmpVellumoInfo* instance, const Resume& resume) {
    Started(instance, resume.files);
    m_played[instance].resume = resume;
}

void CPlayedLists::Answered(DmpVellumoInfo* instance) {
    if (const auto found = m_played.find(instance); found != m_played.end())
        found->second.hasAnswered = true;
}

bool CPlayedLists::HasAnswered(const DmpVellumoInfo* instance) const {
    const auto found = m_played.find(instance);
    return found != m_played.end() && found->second.hasAnswered;
}

bool CPlayedLists::IsResuming(const DmpVellumoInfo* instance) const {
    const auto found = m_played.find(instance);
    return found != m_played.end() && found->second.resume.has_value();
}

void CPlayedLists::Seen(DmpVellumoInfo* instance, uint32_t type, const wchar_t* name,
                        int32_t elapsedSeconds) {
    const auto found = m_played.find(instance);
    if (found == m_played.end() || name == nullptr)
        return;
    // Until its seek is made a resumed list is where it was lost.
    if (found->second.resume && found->second.resume->type == type)
        return;
    found->second.positions[type] = Position{name, std::max(elapsedSeconds, 0)};
}

std::optional<int32_t> CPlayedLists::TakeSeek(DmpVellumoInfo* instance, uint32_t type,
                                              const wchar_t* name) {
    const auto found = m_played.find(instance);
    if (found == m_played.end() || !found->second.resume || found->second.resume->type != type ||
        name == nullptr)
        return std::nullopt;
    const Resume resume = *found->second.resume;
    if (resume.files.empty() || resume.files.front() != name)
        return std::nullopt;
    found->second.resume.reset();
    found->second.positions[type] = Position{name, resume.elapsedSeconds};
    if (resume.elapsedSeconds <= 0)
        return std::nullopt;
    return resume.elapsedSeconds;
}

std::vector<CPlayedLists::Resume> CPlayedLists::ResumesOf(const DmpVellumoInfo* instance) const {
    const auto found = m_played.find(instance);
    if (found == m_played.end())
        return {};
    const Played& played = found->second;
    if (played.resume)
        return {*played.resume};
    std::vector<Resume> resumes;
    for (const auto& [type, position] : played.positions) {
        // The first entry of that name: a file dropped twice resumes at its
        // first place.
        const auto from = std::find(played.files.begin(), played.files.end(), position.name);
        if (from == played.files.end())
            continue;
        resumes.push_back(Resume{type, std::vector<std::wstring>(from, played.files.end()),
                                 type == DMP_TYPE_IMAGE ? 0 : position.elapsedSeconds});
    }
    return resumes;
}

const std::vector<std::wstring>&
CPlayedLists::Skip(DmpVellumoInfo* instance,
                   const std::function<bool(const std::wstring&)>& isReadable) {
    static const std::vector<std::wstring> kNone;
    const auto found = m_played.find(instance);
    if (found == m_played.end())
        return kNone;
    Played& played = found->second;
    for (const std::wstring& file : played.files) {
        const bool isTold =
            std::find(played.skipped.begin(), played.skipped.end(), file) != played.skipped.end();
        if (!isTold && !isReadable(file)) {
            played.skipped.push_back(file);
            return played.skipped;
        }
    }
    return kNone;
}
