// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "LineInput.h"
#include "LogReader.h"

/**
 * What the readers of text logs share: the lines, their numbers and the account
 * of what they were. A format's reader parses one line at a time.
 *
 * Lines longer than LineInput::maxLineLength count as malformed.
 */
class TextLogReader : public LogReader
{
public:
    Next next(CanFrame &frame) override;
    void setWaitLimit(int milliseconds) final;
    bool timed() const override;
    qint64 lineNumber() const final;
    const char *error() const final;
    QByteArray line() const final;
    qint64 bytesRead() const final;
    QString readError() const final;
    quint64 skipped() const final;

protected:
    explicit TextLogReader(LineInput input);

    /// What a line was.
    enum class Line {
        Frame, ///< the frame was filled in
        ErrorFrame, ///< its time and interface were filled in
        Skipped, ///< well formed, but no frame
        Blank, ///< nothing at all
        Malformed, ///< error says why
    };
    /// Reads one line, with its line end if it has one. error, for a Malformed
    /// line, is a static text.
    virtual Line parse(const char *line, std::size_t length, CanFrame &frame, const char *&error) = 0;
    LineInput &lines()
    {
        return input;
    }

private:
    LineInput input;
    const char *lastError = nullptr;
    quint64 skippedLines = 0;
};
