#include "BoxPair.h"

#include "BoxWire.h"
#include "DebugPrint.h"
#include "LittleEndian.h"

#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

BoxPair::BoxPair(int id, int commandFd, int dataFd, const BoxOptions& options, EventLog& log,
                 std::function<void()> onEnded)
    : m_id(id), m_commandFd(commandFd), m_dataFd(dataFd), m_options(options), m_log(log),
      m_onEnded(std::move(onEnded)), m_writer(dataFd, id, options, log),
      m_player(id, dataFd, options, log, m_writer,
               [this](std::string_view reason) { end(reason); }),
      m_upgrade(id, options, log, m_writer, [this](std::string_view reason) { end(reason); }) {}

BoxPair::~BoxPair() {
    end("shutdown");
    join();
    ::close(m_commandFd);
    ::close(m_dataFd);
}

void BoxPair::start() {
    m_player.start();
    m_commandThread = std::thread([this] {
        const std::string name = "bsim-cmd-" + std::to_string(m_id);
        pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
        runCommands();
    });
}

void BoxPair::end(std::string_view reason) {
    if (m_hasEnded.exchange(true))
        return;
    m_log.write(JsonLine("closed").add("pair", m_id).add("reason", reason));
    // Shutting down (not closing) keeps the descriptors valid for the threads
    // still blocked on them; their calls fail and they return.
    ::shutdown(m_commandFd, SHUT_RDWR);
    ::shutdown(m_dataFd, SHUT_RDWR);
    m_player.stop();
    m_upgrade.stop();
    if (m_onEnded)
        m_onEnded();
}

void BoxPair::join() {
    // Called after end(): every thread is on its way out. The command thread
    // goes before the upgrade, which it may still be starting.
    m_player.join();
    if (m_commandThread.joinable())
        m_commandThread.join();
    m_upgrade.join();
}

// Reads on after the pair has ended: a shut-down socket still hands out what
// had arrived, so a command the PC sent just before it closed (its "D") is
// logged even when the data connection's end was seen first. A bound keeps a
// peer that goes on sending from holding the pair open.
void BoxPair::runCommands() {
    constexpr int kMaxCommandsAfterEnd = 64;
    int afterEnd = 0;
    Command command;
    while ((!m_hasEnded || afterEnd++ < kMaxCommandsAfterEnd) && readCommand(command))
        handle(command);
}

bool BoxPair::readCommand(Command& command) {
    uint8_t head[boxwire::kCommandHeadBytes];
    if (!readExact(head, sizeof head)) {
        end("peer");
        return false;
    }
    command.byte = static_cast<char>(head[0]);
    command.seq = static_cast<int32_t>(kvu::ReadLe32(head + 1));
    command.value = static_cast<int64_t>(kvu::ReadLe64(head + 5));
    command.extra.clear();
    if (!boxwire::isCommandByte(command.byte)) {
        // Without knowing the record we cannot find the next one.
        char text[64];
        std::snprintf(text, sizeof text, "unknown command byte 0x%02x", head[0]);
        logError(text);
        end("error");
        return false;
    }
    if (!boxwire::hasExtraData(command.byte))
        return true;
    uint8_t lengthBytes[boxwire::kExtraLengthBytes];
    if (!readExact(lengthBytes, sizeof lengthBytes)) {
        end("peer");
        return false;
    }
    const uint32_t length = kvu::ReadLe32(lengthBytes);
    if (length > boxwire::kMaxExtraBytes) {
        logError("extra data length " + std::to_string(length) + " of '" +
                 std::string(1, command.byte) + "' is too large");
        end("error");
        return false;
    }
    command.extra.resize(length);
    if (!readExact(command.extra.data(), length)) {
        end("peer");
        return false;
    }
    return true;
}

bool BoxPair::readExact(void* buffer, size_t bytes) {
    auto p = static_cast<char*>(buffer);
    while (bytes > 0) {
        const ssize_t got = ::recv(m_commandFd, p, bytes, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        p += got;
        bytes -= static_cast<size_t>(got);
    }
    return true;
}

namespace {

// Each name ends with a line feed; a last name without one still counts.
std::vector<std::string> splitNames(const std::string& extra) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start < extra.size()) {
        const size_t end = extra.find('\n', start);
        if (end == std::string::npos) {
            names.push_back(extra.substr(start));
            break;
        }
        names.push_back(extra.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

} // namespace

void BoxPair::logCommand(const Command& command, const std::vector<std::string>& names) {
    JsonLine line("command");
    line.add("pair", m_id)
        .add("byte", std::string_view(&command.byte, 1))
        .add("seq", command.seq)
        .add("value", command.value)
        .add("low", static_cast<uint32_t>(command.value))
        .add("high", static_cast<uint32_t>(static_cast<uint64_t>(command.value) >> 32));
    if (boxwire::hasExtraData(command.byte))
        line.add("extra", command.extra);
    if (command.byte == 'l')
        line.add("names", names);
    m_log.write(line);
}

void BoxPair::handle(const Command& command) {
    std::vector<std::string> names;
    if (command.byte == 'l')
        names = splitNames(command.extra);
    logCommand(command, names);
    if (m_hasEnded)
        return;

    const auto high = static_cast<uint32_t>(static_cast<uint64_t>(command.value) >> 32);
    bool isSent = true;
    switch (command.byte) {
    case 'l':
        m_player.setList(std::move(names));
        break;
    case 'L':
        m_player.play();
        break;
    case 'p':
        m_player.setPaused(true);
        isSent = m_writer.sendStat("pend", m_player.currentIndex());
        break;
    case 'P':
        isSent = m_writer.sendStat("resu", m_player.currentIndex());
        m_player.setPaused(false);
        break;
    case 'N':
    case 'V':
    case 's':
        if (m_player.isPlaying()) {
            m_player.jump(command.byte == 'N'   ? BoxPlayer::Jump::Next
                          : command.byte == 'V' ? BoxPlayer::Jump::Previous
                                                : BoxPlayer::Jump::Restart);
        }
        break;
    case 'J':
        if (m_player.isPlaying())
            m_player.seek(command.value);
        break;
    case 'v':
        // A Box cannot play louder than its maximum nor below silence.
        m_volume = std::clamp(static_cast<int32_t>(command.value), 0, m_options.maxVolume);
        isSent = replyVolume();
        break;
    case 'm':
        m_volume = 0;
        isSent = replyVolume();
        break;
    case 'r':
        m_repeat = static_cast<int32_t>(high & 0xFF);
        isSent = replyVolume();
        break;
    case 'n':
        isSent = m_writer.sendValue("ver ", static_cast<int64_t>(m_options.version)).has_value();
        break;
    case 'W':
        isSent = m_writer.sendValue("waid", static_cast<int64_t>(m_options.mac)).has_value();
        break;
    case 'u':
        m_upgrade.start(command.extra);
        break;
    case 'D':
        end("D");
        break;
    default: // "w", "T", "t": logged above, nothing to do
        break;
    }
    if (!isSent)
        end("peer");
}

bool BoxPair::replyVolume() {
    return m_writer.sendVolume(m_options.maxVolume, m_volume, m_repeat);
}

void BoxPair::logError(const std::string& text) {
    DebugPrint("BoxPair: pair %d: %s\n", m_id, text.c_str());
    m_log.write(JsonLine("error").add("pair", m_id).add("text", text));
}
