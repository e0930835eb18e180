// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LogFile.h"
#include "StandardStreams.h"
#include "asc/AscReader.h"
#include "blf/BlfReader.h"
#include "candump/CandumpReader.h"
#include "trc/TrcReader.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
bool isStandardInput(const QString &name)
{
    return name == QLatin1String("-");
}

// Reads until the first line is whole, or as long as a line may be, or until the
// input ends, fails or is interrupted (which the reader then finds again).
LogFormat detectFormat(ByteInput &input)
{
    for (;;) {
        const std::size_t held = input.available();
        if (input.atEnd() || held >= LineInput::maxLineLength || (held > 0 && std::memchr(input.data(), '\n', held))) {
            break;
        }
        if (input.fill(-1) != ByteInput::Fill::More) {
            break;
        }
    }
    return detectLogFormat(input.data(), input.available());
}
}

LogFile::~LogFile()
{
    close();
}

void LogFile::close()
{
    if (fd > STDIN_FILENO) {
        ::close(fd);
    }
    fd = -1;
}

bool LogFile::open(const QString &name, QString &error)
{
    close();
    logName = name;
    QString why;
    if (isStandardInput(name)) {
        fd = StandardStreams::inputWasClosed() ? -1 : STDIN_FILENO;
        why = QStringLiteral("standard input is closed");
    } else if (QFileInfo(name).isDir()) {
        why = QStringLiteral("it is a directory");
    } else {
        fd = ::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC);
        why = QString::fromLocal8Bit(std::strerror(errno));
    }
    if (fd < 0) {
        error = QStringLiteral("cannot read %1: %2").arg(name, why);
        return false;
    }
    return true;
}

void LogFile::setFormat(LogFormat format)
{
    chosenFormat = format;
}

std::unique_ptr<LogReader> LogFile::reader(InterfaceNames &interfaces, int wakeFd) const
{
    ByteInput input(fd, wakeFd);
    switch (chosenFormat ? *chosenFormat : detectFormat(input)) {
    case LogFormat::Candump:
        break;
    case LogFormat::Asc:
        return std::make_unique<AscReader>(LineInput(std::move(input)), interfaces);
    case LogFormat::Blf:
        return std::make_unique<BlfReader>(std::move(input), interfaces);
    case LogFormat::Trc:
        return std::make_unique<TrcReader>(LineInput(std::move(input)), interfaces);
    }
    return std::make_unique<CandumpReader>(LineInput(std::move(input)), interfaces);
}

const QString &LogFile::name() const
{
    return logName;
}

qint64 LogFile::size() const
{
    struct stat status = {};
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) ? static_cast<qint64>(status.st_size) : 0;
}

QString LogFile::canonicalPath() const
{
    return isStandardInput(logName) ? QString() : QFileInfo(logName).canonicalFilePath();
}
