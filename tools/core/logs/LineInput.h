// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "ByteInput.h"

#include <QByteArray>
#include <QString>
#include <QtAlgorithms>

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

/**
 * Text read line by line from a ByteInput: what the readers of text log formats
 * stand on.
 *
 * Each line costs a scan for its end and no copy. A pipe is read as its data
 * comes: every whole line that has arrived is handed out before the input waits
 * for more.
 */
class LineInput
{
public:
    enum class Next {
        Line, ///< see lineStart() and lineLength()
        Overlong, ///< a line longer than maxLineLength, skipped; line() has its start
        End, ///< no more input
        ReadError, ///< reading failed; see readError()
        Interrupted, ///< the wake-up descriptor became readable while waiting for input
        TimedOut, ///< no whole line came within the wait limit
    };

    explicit LineInput(ByteInput input);
    /// Reads fd, which stays open and owned by the caller. While waiting for
    /// input, also watches wakeFd (if not -1) and returns Interrupted when it
    /// becomes readable.
    explicit LineInput(int fd, int wakeFd = -1);
    /// Reads the given bytes.
    explicit LineInput(const QByteArray &text);

    Next next()
    {
        // Nearly always, a whole line lies among the bytes held.
        const std::size_t held = input.available();
        const char *newline = held == 0 ? nullptr : findNewline(input.data(), held);
        if (newline && newline - input.data() <= maxLineLength) {
            takeLine(static_cast<std::size_t>(newline - input.data()) + 1);
            return Next::Line;
        }
        return nextAfterFill();
    }
    /// The bytes held beyond the line read last, for a reader that can tell
    /// where the next line ends without a search.
    const char *ahead() const
    {
        return input.data();
    }
    std::size_t aheadSize() const
    {
        return input.available();
    }
    /// Whether the next size bytes are held and end in '\n': the next line, if
    /// the caller knows that none before it is one.
    bool holdsLineEndAt(std::size_t size) const
    {
        return size != 0 && input.available() >= size && input.data()[size - 1] == '\n';
    }
    /// Takes the next size bytes as the next line, as next() would: the caller
    /// has made sure that they end in '\n', hold no other, and are at most
    /// maxLineLength + 1.
    void takeLine(std::size_t size)
    {
        start = input.data();
        length = size;
        input.consume(size);
        ++lines;
    }
    /// How long next() waits for input before it returns TimedOut; -1, the
    /// default, waits for ever.
    void setWaitLimit(int milliseconds);

    /// The line read last, with its line end if it has one.
    const char *lineStart() const;
    std::size_t lineLength() const;
    /// The line read last, without its line end.
    QByteArray line() const;
    /// 1-based number of the line read last.
    qint64 lineNumber() const;
    qint64 bytesRead() const;
    QString readError() const;

    static constexpr int maxLineLength = 4096;

private:
    // The first '\n' of [at, at + size), or null. Lines are short: their first
    // 128 bytes are searched here, 16 at a time, without a call.
    static const char *findNewline(const char *at, std::size_t size)
    {
#if defined(__SSE2__)
        const std::size_t searched = size < 128 ? size & ~std::size_t(15) : 128;
        for (std::size_t offset = 0; offset < searched; offset += 16) {
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at + offset));
            const unsigned newlines = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(c, _mm_set1_epi8('\n'))));
            if (newlines != 0) {
                return at + offset + qCountTrailingZeroBits(newlines);
            }
        }
        if (searched == size) {
            return nullptr;
        }
        at += searched;
        size -= searched;
#endif
        return static_cast<const char *>(std::memchr(at, '\n', size));
    }
    Next nextAfterFill();
    Next skipOverlongLine();
    Next filled(ByteInput::Fill fill);

    ByteInput input;
    int waitLimit = -1;
    QByteArray overlong;
    const char *start = nullptr;
    std::size_t length = 0;
    qint64 lines = 0;
};
