// SPDX-License-Identifier: LGPL-2.1-or-later
#include "StandardStreams.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace
{
bool closedAtStart[3] = {false, false, false};
}

void StandardStreams::claim()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            closedAtStart[fd] = true;
            // The lowest free number is fd itself, as every lower one is open.
            ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        }
    }
}

bool StandardStreams::inputWasClosed()
{
    return closedAtStart[STDIN_FILENO];
}

bool StandardStreams::outputWasClosed()
{
    return closedAtStart[STDOUT_FILENO];
}

bool StandardStreams::outputIsTerminal()
{
    return !outputWasClosed() && ::isatty(STDOUT_FILENO) == 1;
}

int StandardStreams::terminalRows()
{
    winsize size = {};
    return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_row : 0;
}

StandardOutput::StandardOutput()
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (StandardStreams::outputWasClosed()) {
        error = EBADF;
        why = QStringLiteral("standard output is closed");
    }
}

bool StandardOutput::failed() const
{
    return error != 0;
}

bool StandardOutput::readerGone() const
{
    return error == EPIPE;
}

QString StandardOutput::failure() const
{
    return why;
}

qint64 StandardOutput::readData(char *, qint64)
{
    return -1;
}

qint64 StandardOutput::writeData(const char *data, qint64 size)
{
    qint64 written = 0;
    while (error == 0 && written < size) {
        const ssize_t got = ::write(STDOUT_FILENO, data + written, static_cast<std::size_t>(size - written));
        if (got >= 0) {
            written += got;
        } else if (errno != EINTR) {
            error = errno;
            why = QString::fromLocal8Bit(std::strerror(error));
        }
    }
    return error == 0 ? written : -1;
}
