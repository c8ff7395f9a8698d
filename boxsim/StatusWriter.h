#pragma once

#include "BoxOptions.h"
#include "EventLog.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>

// Writes status records on a pair's data connection. The command thread and
// the player thread both write here; one mutex keeps records whole and keeps
// the log in wire order. Every successful record is logged.
class StatusWriter {
public:
    StatusWriter(int dataFd, int pairId, const BoxOptions& options, EventLog& log);

    // Each returns false when the record could not be written (peer gone).
    // With the answer-nothing fault nothing is written and they return true.
    bool sendStat(std::string_view state, int32_t arg);
    // isFirstOfFile: the truncated-records fault cuts this record short.
    bool sendTime(int32_t total, int32_t position, bool isFirstOfFile);
    bool sendVolume(int32_t maxVolume, int32_t volume, int32_t repeat);
    // "ver ", "waid" or "seek"; returns the record's sequence number.
    std::optional<int32_t> sendValue(std::string_view keyword, int64_t value);

private:
    using Details = std::function<void(JsonLine&)>;
    std::optional<int32_t> send(std::string_view keyword, uint64_t value, const Details& details,
                                bool isTruncated = false);
    bool writeAll(const void* data, size_t bytes);

    const int m_dataFd;
    const int m_pairId;
    const BoxOptions& m_options;
    EventLog& m_log;
    std::mutex m_mutex; // guards m_seq and every write on m_dataFd
    int32_t m_seq = 0;
};
