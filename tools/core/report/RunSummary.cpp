// SPDX-License-Identifier: LGPL-2.1-or-later
#include "RunSummary.h"

QString endingText(Ending ending)
{
    switch (ending) {
    case Ending::EndOfInput:
        return QStringLiteral("end of input");
    case Ending::Interrupted:
        return QStringLiteral("SIGINT");
    case Ending::Terminated:
        return QStringLiteral("SIGTERM");
    case Ending::HungUp:
        return QStringLiteral("SIGHUP");
    case Ending::BusFailure:
        return QStringLiteral("bus failure");
    case Ending::MalformedLine:
        return QStringLiteral("malformed line");
    }
    return QString();
}

QJsonObject inputIdentity(const RunSummary &summary)
{
    return QJsonObject{
        {QStringLiteral("input"), summary.canonicalInput.isEmpty() ? summary.input : summary.canonicalInput},
        {QStringLiteral("bytes"), static_cast<double>(summary.inputBytes)},
        {QStringLiteral("frames"), static_cast<double>(summary.frames)},
        {QStringLiteral("firstFrame"), static_cast<double>(summary.firstFrameMicroseconds)},
        {QStringLiteral("lastFrame"), static_cast<double>(summary.lastFrameMicroseconds)}};
}
