// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LogFile.h"
#include "StandardStreams.h"
#include "candump/CandumpReader.h"

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

std::unique_ptr<LogReader> LogFile::reader(InterfaceNames &interfaces, int wakeFd) const
{
    return std::make_unique<CandumpReader>(fd, interfaces, wakeFd);
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
