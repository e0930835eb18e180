// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QIODevice>
#include <QString>

/**
 * Standard input, output and error as the program found them.
 *
 * A shell can start a program with one of them closed (`<&-`, `>&-`). The next
 * descriptor opened, Qt's own event pipe or a log or plot file, would then take
 * that number and be read or written as if it were the stream.
 */
namespace StandardStreams
{
/// Opens /dev/null onto each of the three that is closed, and remembers which
/// were. Call first in main(), before Qt or anything else opens a descriptor.
void claim();
bool inputWasClosed();
bool outputWasClosed();
/// Whether standard output is a terminal, and its height in lines (0 when unknown).
bool outputIsTerminal();
int terminalRows();
}

/**
 * Standard output as the device of the report's QTextStream, keeping the first
 * write that failed: a full disk, a closed stream, a reader that went away.
 * Once a write has failed, nothing more is written.
 */
class StandardOutput : public QIODevice
{
public:
    /// Open for writing; failed at once when standard output was closed.
    StandardOutput();

    bool failed() const;
    /// The reader closed its end of the pipe (| head): like other Unix tools, the
    /// program then ends without a message.
    bool readerGone() const;
    /// Why writing failed, as the system tells it.
    QString failure() const;

protected:
    qint64 readData(char *data, qint64 size) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    int error = 0;
    QString why;
};
