// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ByteInput.h"

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <unistd.h>

namespace
{
// Room beyond a block for what a reader keeps while it reads the next one: an
// unfinished line, or the head of a binary record.
constexpr std::size_t keptRoom = 64 * 1024;
}

ByteInput::ByteInput(int fd, int wakeFd)
    : fd(fd)
    , wakeFd(wakeFd)
    , buffer(blockSize + keptRoom)
    , bytes(buffer.data())
{
}

ByteInput::ByteInput(const QByteArray &text)
    : given(text)
    , bytes(given.constData())
    , end(static_cast<std::size_t>(given.size()))
    , ended(true)
{
}

// Waits until fd has data, wakeFd is readable, or the time is up. Only a pipe or
// a terminal can keep the input waiting, but poll answers at once for a file, so
// it serves every kind. A signal that interrupts the wait restarts it whole: the
// stop it asks for makes wakeFd readable.
ByteInput::Fill ByteInput::waitForInput(int waitMilliseconds)
{
    if (wakeFd < 0 && waitMilliseconds < 0) {
        return Fill::More;
    }
    pollfd watched[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(watched, 2, waitMilliseconds);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready > 0 && (watched[1].revents & POLLIN)) {
            return Fill::Interrupted;
        }
        return ready == 0 ? Fill::TimedOut : Fill::More;
    }
}

ByteInput::Fill ByteInput::fill(int waitMilliseconds)
{
    if (ended) {
        return Fill::End;
    }
    if (begin > 0) {
        std::memmove(buffer.data(), buffer.data() + begin, end - begin);
        end -= begin;
        begin = 0;
    }
    // A reader that keeps more than the room beyond a block gets more room.
    if (buffer.size() - end < blockSize / 2) {
        buffer.resize(end + blockSize);
        bytes = buffer.data();
    }
    for (;;) {
        const Fill waited = waitForInput(waitMilliseconds);
        if (waited != Fill::More) {
            return waited;
        }
        const ssize_t got = ::read(fd, buffer.data() + end, buffer.size() - end);
        if (got > 0) {
            end += static_cast<std::size_t>(got);
            return Fill::More;
        }
        if (got == 0) {
            ended = true;
            return Fill::End;
        }
        if (errno != EINTR) {
            lastReadError = QString::fromLocal8Bit(std::strerror(errno));
            return Fill::Failed;
        }
    }
}

bool ByteInput::hold(std::size_t count, Fill &last)
{
    last = Fill::More;
    while (available() < count) {
        last = fill();
        if (last != Fill::More) {
            return false;
        }
    }
    return true;
}

QString ByteInput::readError() const
{
    return lastReadError;
}
