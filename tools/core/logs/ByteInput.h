// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <vector>

/**
 * Bytes read from a file descriptor (a file, a pipe, standard input) or held in
 * memory: what every log reader stands on, text or binary.
 *
 * Reads in large blocks straight into its own buffer, where the bytes not yet
 * consumed lie in one piece. A pipe is read as its data comes.
 */
class ByteInput
{
public:
    enum class Fill {
        More, ///< more bytes are held
        End, ///< no more input
        Failed, ///< reading failed; see readError()
        Interrupted, ///< the wake-up descriptor became readable while waiting for input
        TimedOut, ///< no input came within the wait
    };

    /// Reads fd, which stays open and owned by the caller. While waiting for
    /// input, also watches wakeFd (if not -1).
    explicit ByteInput(int fd, int wakeFd = -1);
    /// Reads the given bytes where they lie, without a copy; they stay shared
    /// with the caller's array for as long as this input lives.
    explicit ByteInput(const QByteArray &bytes);
    ByteInput(ByteInput &&) = default;
    ByteInput &operator=(ByteInput &&) = default;

    /// The bytes held and not consumed.
    const char *data() const
    {
        return bytes + begin;
    }
    std::size_t available() const
    {
        return end - begin;
    }
    void consume(std::size_t count)
    {
        begin += count;
        taken += static_cast<qint64>(count);
    }
    /// Reads once more behind the bytes held, which move to the front first;
    /// waits up to waitMilliseconds (-1: for ever) for a pipe's input.
    Fill fill(int waitMilliseconds = -1);
    /// Fills until at least count bytes are held: false when the input ends (or
    /// fails, or is interrupted) first, with why in the last fill's result.
    bool hold(std::size_t count, Fill &last);
    /// No more bytes will come than those held.
    bool atEnd() const
    {
        return ended;
    }
    /// The bytes consumed since the start.
    qint64 consumed() const
    {
        return taken;
    }
    QString readError() const;

    /// How many bytes one read asks for.
    static constexpr std::size_t blockSize = 1 << 20;

private:
    Fill waitForInput(int waitMilliseconds);

    int fd = -1;
    int wakeFd = -1;
    std::vector<char> buffer;
    /// Given bytes, held so that they outlive a caller's copy.
    QByteArray given;
    /// Where the bytes lie: the buffer's storage, or the given bytes.
    const char *bytes = nullptr;
    std::size_t begin = 0;
    std::size_t end = 0;
    bool ended = false;
    qint64 taken = 0;
    QString lastReadError;
};
