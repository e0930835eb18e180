// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LogFormat.h"

#include <QStringList>

#include <cstring>

namespace
{
const LogFormatInfo formats[] = {
    {LogFormat::Candump, "candump", "candump", "line", ".log"},
    {LogFormat::Asc, "asc", "ASC", "line", ".asc"},
    {LogFormat::Blf, "blf", "BLF", "object", ".blf"},
    {LogFormat::Trc, "trc", "TRC", "line", nullptr},
};

QString alternatives(QStringList names)
{
    const QString last = names.takeLast();
    return names.join(QLatin1String(", ")) + QLatin1String(" or ") + last;
}

bool startsWithWord(const char *at, const char *end, const char *word)
{
    const std::size_t length = std::strlen(word);
    if (static_cast<std::size_t>(end - at) <= length || (at[length] != ' ' && at[length] != '\t')) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if ((at[i] | 0x20) != word[i]) {
            return false;
        }
    }
    return true;
}
}

const LogFormatInfo &logFormatInfo(LogFormat format)
{
    for (const LogFormatInfo &info : formats) {
        if (info.format == format) {
            return info;
        }
    }
    return formats[0];
}

bool logFormatNamed(const QString &option, LogFormat &format)
{
    for (const LogFormatInfo &info : formats) {
        if (option == QLatin1String(info.option)) {
            format = info.format;
            return true;
        }
    }
    return false;
}

QString logFormatOptions()
{
    QStringList names;
    for (const LogFormatInfo &info : formats) {
        names.append(QLatin1String(info.option));
    }
    return alternatives(names);
}

bool logFormatWritten(const QString &fileName, LogFormat &format)
{
    for (const LogFormatInfo &info : formats) {
        if (info.writtenSuffix && fileName.endsWith(QLatin1String(info.writtenSuffix), Qt::CaseInsensitive)) {
            format = info.format;
            return true;
        }
    }
    return false;
}

QString writtenSuffixes()
{
    QStringList suffixes;
    for (const LogFormatInfo &info : formats) {
        if (info.writtenSuffix) {
            suffixes.append(QLatin1String(info.writtenSuffix));
        }
    }
    return alternatives(suffixes);
}

LogFormat detectLogFormat(const char *start, std::size_t size)
{
    if (size >= 4 && std::memcmp(start, "LOGG", 4) == 0) {
        return LogFormat::Blf;
    }
    const char *at = start;
    const char *const end = start + size;
    if (end - at >= 3 && std::memcmp(at, "\xEF\xBB\xBF", 3) == 0) {
        at += 3;
    }
    while (at != end && (*at == ' ' || *at == '\t')) {
        ++at;
    }
    if (at != end && *at == ';') {
        return LogFormat::Trc;
    }
    if (startsWithWord(at, end, "date") || startsWithWord(at, end, "base")
        || (end - at >= 2 && at[0] == '/' && at[1] == '/')) {
        return LogFormat::Asc;
    }
    return LogFormat::Candump;
}
