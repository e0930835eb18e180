// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Merge.h"
#include "ReportFields.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <utility>

void mergeStatistics(SignalSnapshot &into, const SignalSnapshot &from)
{
    into.notAvailableSamples += from.notAvailableSamples;
    into.errorSamples += from.errorSamples;
    into.tooShortFrames += from.tooShortFrames;
    for (auto label = from.labelSamples.cbegin(); label != from.labelSamples.cend(); ++label) {
        into.labelSamples[label.key()] += label.value();
    }
    if (from.decodedSamples == 0) {
        return;
    }
    if (into.decodedSamples == 0) {
        into.decodedSamples = from.decodedSamples;
        into.liveAverage = from.liveAverage;
        into.m2 = from.m2;
        into.minimum = from.minimum;
        into.maximum = from.maximum;
    } else {
        const double a = static_cast<double>(into.decodedSamples);
        const double b = static_cast<double>(from.decodedSamples);
        const double n = a + b;
        const double delta = from.liveAverage - into.liveAverage;
        into.liveAverage += delta * (b / n);
        into.m2 += from.m2 + delta * delta * (a * b / n);
        into.decodedSamples += from.decodedSamples;
        into.minimum = std::min(into.minimum, from.minimum);
        into.maximum = std::max(into.maximum, from.maximum);
    }
    into.deviation = std::sqrt(into.m2 / static_cast<double>(into.decodedSamples));
}

namespace
{
// The report in a file: the whole file, or for JSON Lines its last report line.
bool readReport(const QString &file, QJsonObject &report, QString &error)
{
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(file, input.errorString());
        return false;
    }
    const QByteArray text = input.readAll();
    const QJsonDocument whole = QJsonDocument::fromJson(text);
    if (whole.isObject()) {
        report = whole.object();
    } else {
        const QList<QByteArray> lines = text.trimmed().split('\n');
        for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
            const QJsonDocument document = QJsonDocument::fromJson(*line);
            if (document.isObject()) {
                report = document.object();
                break;
            }
        }
    }
    const QString type = report.value(QLatin1String("type")).toString();
    if (type != QLatin1String("report") && type != QLatin1String("merged")) {
        error = QStringLiteral("%1: not a JSON report of talveno-monitor").arg(file);
        return false;
    }
    return true;
}

quint64 countOf(const QJsonObject &object, const char *key)
{
    return static_cast<quint64>(std::max(0.0, object.value(QLatin1String(key)).toDouble()));
}

QString nameKey(const SignalSnapshot &s)
{
    return s.name + QChar(0) + s.unit;
}

QString signalKey(const SignalSnapshot &s)
{
    return QStringList{s.name, s.unit, s.interfaceName, QString::number(s.sourceAddress)}.join(QChar(0));
}

// The merged signals in the order they first appear. A definition that a run
// never saw on any interface reports a signal without one; it stands in that
// place until a report brings the signal seen, and is dropped if one does.
class MergedSignals
{
public:
    explicit MergedSignals(QVector<SignalSnapshot> &merged)
        : merged(merged)
    {
    }

    void add(const SignalSnapshot &s)
    {
        const bool seen = !s.interfaceName.isEmpty();
        const QString name = nameKey(s);
        int index = byName.value(name, -1);
        if (seen) {
            const int same = bySignal.value(signalKey(s), -1);
            if (same >= 0) {
                index = same;
            } else if (index >= 0 && merged.at(index).interfaceName.isEmpty()) {
                merged[index] = empty(s); // the placeholder gives way
            } else {
                index = -1;
            }
        }
        if (index < 0) {
            index = merged.size();
            merged.append(empty(s));
        }
        if (seen) {
            bySignal.insert(signalKey(s), index);
        }
        byName.insert(name, index);
        mergeStatistics(merged[index], s);
    }

private:
    static SignalSnapshot empty(const SignalSnapshot &s)
    {
        SignalSnapshot identity;
        identity.name = s.name;
        identity.unit = s.unit;
        identity.factor = s.factor;
        identity.interfaceName = s.interfaceName;
        identity.sourceAddress = s.sourceAddress;
        return identity;
    }

    QVector<SignalSnapshot> &merged;
    QHash<QString, int> bySignal;
    QHash<QString, int> byName;
};

// The runs merged so far, by identity: a run merged twice would count its
// frames twice. Reports without frames add nothing, and older ones carry none.
class Identities
{
public:
    bool add(const QString &file, const QJsonArray &identities, QJsonArray &into, QString &error)
    {
        for (const QJsonValue &value : identities) {
            const QJsonObject identity = value.toObject();
            into.append(identity);
            if (identity.value(QLatin1String("frames")).toDouble() <= 0.0) {
                continue;
            }
            const auto seen = files.constFind(identity);
            if (seen != files.cend()) {
                error = QStringLiteral("%1 repeats the run of %2 on %3: each run is merged once")
                            .arg(file, seen.value(), identity.value(QLatin1String("input")).toString());
                return false;
            }
            files.insert(identity, file);
        }
        return true;
    }

private:
    QHash<QJsonObject, QString> files;
};

// The formats of the runs, each once, in the order they come.
void addFormats(const QString &formats, QString &into)
{
    const QString separator = QStringLiteral(", ");
    QStringList known = into.split(separator, Qt::SkipEmptyParts);
    for (const QString &format : formats.split(separator, Qt::SkipEmptyParts)) {
        if (!known.contains(format)) {
            known.append(format);
        }
    }
    into = known.join(separator);
}

// What the runs' records are: the same word for all ("lines" in reports that
// name none), or "records" for a mix.
void addRecords(const QString &records, bool first, QString &into)
{
    const QString word = records.isEmpty() ? QStringLiteral("lines") : records;
    into = first || word == into ? word : QStringLiteral("records");
}

// Signals told apart as the monitor tells them: by interface where the reports
// saw several, by source address where one signal came from several senders.
void nameOrigins(QVector<SignalSnapshot> &signalStates)
{
    QSet<QString> interfaces;
    QHash<QString, QSet<int>> senders;
    for (const SignalSnapshot &s : std::as_const(signalStates)) {
        if (!s.interfaceName.isEmpty()) {
            interfaces.insert(s.interfaceName);
        }
        senders[nameKey(s)].insert(s.sourceAddress);
    }
    for (SignalSnapshot &s : signalStates) {
        const bool severalSenders = senders.value(nameKey(s)).size() > 1;
        s.origin =
            originText(interfaces.size() > 1 ? s.interfaceName : QString(), severalSenders ? s.sourceAddress : -1);
    }
}
}

bool mergeReports(const QStringList &files, MergedReport &merged, QString &error)
{
    Identities identities;
    RunSummary &summary = merged.summary;
    MergedSignals signalStates(merged.signalStates);
    for (const QString &file : files) {
        QJsonObject report;
        if (!readReport(file, report, error)) {
            return false;
        }
        for (const SummaryCount &count : summaryCounts) {
            summary.*count.count += countOf(report, count.key);
        }
        addFormats(report.value(QLatin1String("inputFormat")).toString(), summary.inputFormat);
        addRecords(report.value(QLatin1String("records")).toString(), &file == &files.first(), summary.records);
        if (!identities.add(file, report.value(QLatin1String("identities")).toArray(), summary.identities, error)) {
            return false;
        }
        const QJsonArray inputs = report.value(QLatin1String("reports")).toArray();
        for (const QJsonValue &input : inputs) {
            summary.mergedReports.append(input.toString());
        }
        if (inputs.isEmpty()) {
            summary.mergedReports.append(file);
        }
        for (const QJsonValue &entry : report.value(QLatin1String("signals")).toArray()) {
            SignalSnapshot s;
            if (!readFields(entry.toObject(), s, error)) {
                error = QStringLiteral("%1: %2").arg(file, error);
                return false;
            }
            signalStates.add(s);
        }
    }
    const int count = summary.mergedReports.size();
    summary.input = count == 1 ? QStringLiteral("1 report") : QStringLiteral("%1 reports").arg(count);
    nameOrigins(merged.signalStates);
    return true;
}
