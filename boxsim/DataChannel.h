#pragma once

#include <cstddef>

// Reading side of a pair's data connection (SO_OOBINLINE set), for the
// player thread. Waits can also watch a wake descriptor through which the
// command thread signals a pending control; the data connection itself is
// ended by shutdown(), which every wait sees as Closed.
class DataChannel {
public:
    enum class Result { Ok, Woken, Closed };

    DataChannel(int dataFd, int wakeFd) : m_dataFd(dataFd), m_wakeFd(wakeFd) {}

    // Reads up to maxBytes; stops short of an urgent mark, as recv() does.
    Result readSome(void* buffer, size_t maxBytes, size_t& gotBytes, bool watchWake);
    // Reads exactly bytes; not interrupted by the wake descriptor.
    Result readExact(void* buffer, size_t bytes);
    // Discards bytes until the next byte read is the urgent one.
    Result discardToMark(bool watchWake);
    // Reads nothing: returns Woken on a signal, Closed when the peer hangs up.
    Result waitIdle();
    // Consumes pending wake signals.
    void drainWake();

private:
    Result waitReadable(bool watchWake);

    const int m_dataFd;
    const int m_wakeFd;
};
