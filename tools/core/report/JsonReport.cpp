// SPDX-License-Identifier: LGPL-2.1-or-later
#include "JsonReport.h"
#include "ReportFields.h"

#include <QJsonDocument>

namespace
{
QJsonArray toJson(const QVector<SignalSnapshot> &signalStates, bool merged)
{
    QJsonArray list;
    for (const SignalSnapshot &s : signalStates) {
        list.append(writeFields(s, merged));
    }
    return list;
}
}

JsonReport::JsonReport(const Settings &settings, QTextStream &out)
    : Report(settings, out)
{
}

void JsonReport::writeLine(const QJsonObject &object)
{
    out << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) << '\n';
}

void JsonReport::writeSnapshot(double seconds, const QVector<SignalSnapshot> &signalStates)
{
    writeLine(QJsonObject{{QStringLiteral("type"), QStringLiteral("snapshot")},
                          {QStringLiteral("time"), seconds},
                          {QStringLiteral("signals"), toJson(signalStates, false)}});
}

void JsonReport::writeSkipped(double from, double to, quint64 snapshots)
{
    writeLine(QJsonObject{{QStringLiteral("type"), QStringLiteral("skipped")},
                          {QStringLiteral("snapshots"), static_cast<double>(snapshots)},
                          {QStringLiteral("from"), from},
                          {QStringLiteral("to"), to}});
}

void JsonReport::writeEnd(const RunSummary &summary, const QVector<SignalSnapshot> &signalStates)
{
    const bool merged = settings.merged;
    QJsonObject document{
        {QStringLiteral("type"), merged ? QStringLiteral("merged") : QStringLiteral("report")},
        {QStringLiteral("input"), summary.input},
        {QStringLiteral("inputFormat"), summary.inputFormat},
        {QStringLiteral("records"), summary.records},
        {QStringLiteral("signals"), toJson(signalStates, merged)},
        {QStringLiteral("identities"), merged ? summary.identities : QJsonArray{inputIdentity(summary)}},
    };
    for (const SummaryCount &count : summaryCounts) {
        document.insert(QLatin1String(count.key), static_cast<double>(summary.*count.count));
    }
    if (merged) {
        document.insert(QStringLiteral("reports"), QJsonArray::fromStringList(summary.mergedReports));
    } else {
        document.insert(QStringLiteral("ending"), endingText(summary.ending));
        document.insert(settings.run.logTime ? QStringLiteral("logSeconds") : QStringLiteral("seconds"),
                        summary.seconds);
        document.insert(QStringLiteral("band"), settings.run.band);
        document.insert(QStringLiteral("limits"),
                        settings.run.databaseLimits ? QStringLiteral("database") : QStringLiteral("band"));
        document.insert(QStringLiteral("silentSignals"), static_cast<double>(summary.silentSignals));
        document.insert(QStringLiteral("historyCapacity"), static_cast<double>(settings.run.historyCapacity));
    }
    // JSON Lines once snapshots went out; one readable document otherwise.
    if (settings.snapshots) {
        writeLine(document);
    } else {
        out << QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented));
    }
}
