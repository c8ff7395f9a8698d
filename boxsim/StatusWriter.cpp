#include "StatusWriter.h"

#include "BoxWire.h"
#include "LittleEndian.h"
#include "io/SendAll.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

// How long the truncated-records fault holds the stream after a short record,
// so that the peer's read of it comes up short.
constexpr auto kTruncatedPause = std::chrono::milliseconds(300);
constexpr size_t kTruncatedValueBytes = 10;

} // namespace

StatusWriter::StatusWriter(int dataFd, int pairId, const BoxOptions& options, EventLog& log)
    : m_dataFd(dataFd), m_pairId(pairId), m_options(options), m_log(log) {}

bool StatusWriter::sendStat(std::string_view state, int32_t arg) {
    uint8_t stateBytes[4] = {' ', ' ', ' ', ' '};
    std::memcpy(stateBytes, state.data(), std::min<size_t>(state.size(), 4));
    const uint64_t value = kvu::PackHalves(kvu::ReadLe32(stateBytes), static_cast<uint32_t>(arg));
    return send("stat", value, [&](JsonLine& line) { line.add("state", state).add("arg", arg); })
        .has_value();
}

bool StatusWriter::sendTime(int32_t total, int32_t position, bool isFirstOfFile) {
    const uint64_t value =
        kvu::PackHalves(static_cast<uint32_t>(total), static_cast<uint32_t>(position));
    const bool isTruncated = isFirstOfFile && m_options.has(BoxFault::TruncatedRecords);
    return send(
               "time", value,
               [&](JsonLine& line) { line.add("total", total).add("position", position); },
               isTruncated)
        .has_value();
}

bool StatusWriter::sendVolume(int32_t maxVolume, int32_t volume, int32_t repeat) {
    // Volume in bits 0-15 and the repeat mode in bits 16-23 of the high half.
    const uint32_t packed =
        (static_cast<uint32_t>(volume) & 0xFFFF) | ((static_cast<uint32_t>(repeat) & 0xFF) << 16);
    const uint64_t value = kvu::PackHalves(static_cast<uint32_t>(maxVolume), packed);
    return send("vol ", value,
                [&](JsonLine& line) {
                    line.add("max", maxVolume).add("volume", volume).add("repeat", repeat);
                })
        .has_value();
}

std::optional<int32_t> StatusWriter::sendValue(std::string_view keyword, int64_t value) {
    return send(keyword, static_cast<uint64_t>(value),
                [&](JsonLine& line) { line.add("value", value); });
}

std::optional<int32_t> StatusWriter::send(std::string_view keyword, uint64_t value,
                                          const Details& details, bool isTruncated) {
    if (m_options.has(BoxFault::AnswerNothing))
        return 0;
    std::lock_guard lock(m_mutex);
    if (m_options.has(BoxFault::UnknownKeywords)) {
        const uint8_t junk[boxwire::kStatusRecordBytes] = {'z', 'z', 'z', 'z'};
        if (!writeAll(junk, sizeof junk))
            return std::nullopt;
    }
    const int32_t seq = ++m_seq;
    uint8_t record[boxwire::kStatusRecordBytes];
    std::memcpy(record, keyword.data(), 4);
    kvu::WriteLe32(record + 4, static_cast<uint32_t>(seq));
    kvu::WriteLe64(record + 8, value);
    const size_t bytes = isTruncated ? 4 + kTruncatedValueBytes : sizeof record;
    if (!writeAll(record, bytes))
        return std::nullopt;
    JsonLine line("status");
    line.add("pair", m_pairId).add("keyword", keyword).add("seq", seq);
    details(line);
    if (isTruncated)
        line.add("truncated", true);
    m_log.write(line);
    if (isTruncated)
        std::this_thread::sleep_for(kTruncatedPause);
    return seq;
}

bool StatusWriter::writeAll(const void* data, size_t bytes) {
    return kvu::io::SendAll(m_dataFd, data, bytes);
}
