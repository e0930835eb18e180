// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ReportFields.h"

#include <QStringList>

#include <algorithm>

namespace
{
using Kind = ReportField::Kind;
using Need = ReportField::Need;

QJsonValue count(quint64 n)
{
    return static_cast<double>(n);
}

// A statistic exists once the signal has a sample.
QJsonValue statistic(const SignalSnapshot &s, double value)
{
    return s.decodedSamples > 0 ? QJsonValue(value) : QJsonValue();
}

// Writers of one member of the snapshot.
template<auto member>
QJsonValue fieldOf(const SignalSnapshot &s)
{
    return QJsonValue(s.*member);
}

template<auto member>
QJsonValue countOf(const SignalSnapshot &s)
{
    return count(s.*member);
}

template<auto member>
QJsonValue statisticOf(const SignalSnapshot &s)
{
    return statistic(s, s.*member);
}

template<auto member>
QJsonValue secondsOf(const SignalSnapshot &s)
{
    return s.*member < 0.0 ? QJsonValue() : QJsonValue(s.*member);
}

// Readers of one member: null reads as empty or 0, a count below 0 as 0.
template<auto member>
void readText(const QJsonValue &value, SignalSnapshot &s)
{
    s.*member = value.toString();
}

template<auto member>
void readNumber(const QJsonValue &value, SignalSnapshot &s)
{
    s.*member = value.toDouble();
}

template<auto member>
void readCount(const QJsonValue &value, SignalSnapshot &s)
{
    s.*member = static_cast<quint64>(std::max(0.0, value.toDouble()));
}

// "0x17", or 23 as reports wrote it before; -1 for none.
void readSourceAddress(const QJsonValue &value, SignalSnapshot &s)
{
    bool ok = false;
    const int address = value.toString().mid(2).toInt(&ok, 16);
    s.sourceAddress = ok ? address : value.toInt(-1);
}

// {"label": samples, ...} for a signal whose database names its values; null otherwise.
QJsonValue writeLabelSamples(const SignalSnapshot &s)
{
    QJsonObject counts;
    for (auto label = s.labelSamples.cbegin(); label != s.labelSamples.cend(); ++label) {
        counts.insert(label.key(), count(label.value()));
    }
    return counts.isEmpty() ? QJsonValue() : QJsonValue(counts);
}

void readLabelSamples(const QJsonValue &value, SignalSnapshot &s)
{
    const QJsonObject counts = value.toObject();
    for (auto label = counts.constBegin(); label != counts.constEnd(); ++label) {
        s.labelSamples[label.key()] = static_cast<quint64>(std::max(0.0, label.value().toDouble()));
    }
}

// The narrow table shows the identity as "name [unit] (origin)". A log is read
// faster than it was recorded: there, the wide table shows the age in log time
// only. Last, what an exact merge of reports needs beside the counts, minimum and
// maximum.
const std::vector<ReportField> fields = {
    {"name",
     "signal",
     Kind::Text,
     ShowJson | ShowCsv | ShowMerged,
     fieldOf<&SignalSnapshot::name>,
     readText<&SignalSnapshot::name>,
     Need::Always},
    {"unit",
     "unit",
     Kind::Text,
     ShowEverywhere | ShowMerged,
     fieldOf<&SignalSnapshot::unit>,
     readText<&SignalSnapshot::unit>,
     Need::Optional},
    {"factor",
     "factor",
     Kind::Value,
     ShowJson | ShowMerged,
     [](const SignalSnapshot &s) { return s.factor == 0.0 ? QJsonValue() : QJsonValue(s.factor); },
     readNumber<&SignalSnapshot::factor>,
     Need::Optional},
    {"samples",
     "count",
     Kind::Count,
     ShowEverywhere | ShowFirstLine | ShowMerged,
     countOf<&SignalSnapshot::decodedSamples>,
     nullptr,
     Need::Optional},
    {"stored", "stored", Kind::Count, ShowEverywhere, fieldOf<&SignalSnapshot::storedSamples>, nullptr, Need::Optional},
    {"newest",
     "newest",
     Kind::Value,
     ShowEverywhere | ShowSecondLine,
     statisticOf<&SignalSnapshot::newest>,
     nullptr,
     Need::Optional},
    {"label",
     "label",
     Kind::Text,
     ShowJson | ShowCsv,
     [](const SignalSnapshot &s) { return s.newestLabel.isEmpty() ? QJsonValue() : QJsonValue(s.newestLabel); },
     nullptr,
     Need::Optional},
    {"cachedAverage",
     "cached avg",
     Kind::Value,
     ShowEverywhere,
     statisticOf<&SignalSnapshot::cachedAverage>,
     nullptr,
     Need::Optional},
    {"liveAverage",
     "average",
     Kind::Value,
     ShowEverywhere | ShowSecondLine | ShowMerged,
     statisticOf<&SignalSnapshot::liveAverage>,
     nullptr,
     Need::Optional},
    {"deviation",
     "deviation",
     Kind::Value,
     ShowEverywhere | ShowSecondLine | ShowMerged,
     statisticOf<&SignalSnapshot::deviation>,
     nullptr,
     Need::Optional},
    {"min",
     "min",
     Kind::Value,
     ShowEverywhere | ShowSecondLine | ShowMerged,
     statisticOf<&SignalSnapshot::minimum>,
     readNumber<&SignalSnapshot::minimum>,
     Need::WithSamples},
    {"max",
     "max",
     Kind::Value,
     ShowEverywhere | ShowSecondLine | ShowMerged,
     statisticOf<&SignalSnapshot::maximum>,
     readNumber<&SignalSnapshot::maximum>,
     Need::WithSamples},
    {"median",
     "median",
     Kind::Value,
     ShowEverywhere | ShowSecondLine,
     statisticOf<&SignalSnapshot::median>,
     nullptr,
     Need::Optional},
    {"rating",
     "rating",
     Kind::Count,
     ShowEverywhere | ShowFirstLine,
     statisticOf<&SignalSnapshot::rating>,
     nullptr,
     Need::Optional},
    {"lowerThreshold",
     "lower",
     Kind::Value,
     ShowEverywhere,
     statisticOf<&SignalSnapshot::lowerThreshold>,
     nullptr,
     Need::Optional},
    {"upperThreshold",
     "upper",
     Kind::Value,
     ShowEverywhere,
     statisticOf<&SignalSnapshot::upperThreshold>,
     nullptr,
     Need::Optional},
    {"outsideBand",
     "outside",
     Kind::Count,
     ShowEverywhere | ShowFirstLine,
     statisticOf<&SignalSnapshot::outsideBand>,
     nullptr,
     Need::Optional},
    {"notAvailable",
     "n/a",
     Kind::Count,
     ShowEverywhere | ShowMerged,
     countOf<&SignalSnapshot::notAvailableSamples>,
     readCount<&SignalSnapshot::notAvailableSamples>,
     Need::Optional},
    {"errors",
     "errors",
     Kind::Count,
     ShowEverywhere | ShowMerged,
     countOf<&SignalSnapshot::errorSamples>,
     readCount<&SignalSnapshot::errorSamples>,
     Need::Optional},
    {"tooShort",
     "too short",
     Kind::Count,
     ShowJson | ShowCsv | ShowMerged,
     countOf<&SignalSnapshot::tooShortFrames>,
     readCount<&SignalSnapshot::tooShortFrames>,
     Need::Optional},
    {"interface",
     "interface",
     Kind::Text,
     ShowJson | ShowCsv | ShowMerged,
     [](const SignalSnapshot &s) { return s.interfaceName.isEmpty() ? QJsonValue() : QJsonValue(s.interfaceName); },
     readText<&SignalSnapshot::interfaceName>,
     Need::Optional},
    {"sourceAddress",
     "SA",
     Kind::Text,
     ShowJson | ShowCsv | ShowMerged,
     [](const SignalSnapshot &s) {
         return s.sourceAddress < 0 ? QJsonValue() : QJsonValue(sourceAddressText(s.sourceAddress));
     },
     readSourceAddress,
     Need::Optional},
    {"age",
     "age s",
     Kind::Seconds,
     ShowJson | ShowCsv | ShowWideOnBus,
     secondsOf<&SignalSnapshot::age>,
     nullptr,
     Need::Optional},
    {"logAge",
     "log age s",
     Kind::Seconds,
     ShowJson | ShowCsv | ShowWideOnLog,
     secondsOf<&SignalSnapshot::logAge>,
     nullptr,
     Need::Optional},
    {"stale", "stale", Kind::Flag, ShowJson | ShowCsv, fieldOf<&SignalSnapshot::stale>, nullptr, Need::Optional},
    {"labels", "labels", Kind::Text, ShowJson | ShowMerged, writeLabelSamples, readLabelSamples, Need::Optional},
    {"count",
     "count",
     Kind::Count,
     ShowJson | ShowMerged,
     countOf<&SignalSnapshot::decodedSamples>,
     readCount<&SignalSnapshot::decodedSamples>,
     Need::Always},
    {"mean",
     "mean",
     Kind::Value,
     ShowJson | ShowMerged,
     statisticOf<&SignalSnapshot::liveAverage>,
     readNumber<&SignalSnapshot::liveAverage>,
     Need::WithSamples},
    {"m2",
     "M2",
     Kind::Value,
     ShowJson | ShowCsv | ShowMerged,
     statisticOf<&SignalSnapshot::m2>,
     readNumber<&SignalSnapshot::m2>,
     Need::WithSamples},
};

// A text must be a string that is not empty, any other field a number.
bool present(const ReportField &field, const QJsonValue &value)
{
    return field.kind == Kind::Text ? !value.toString().isEmpty() : value.isDouble();
}

QString quoted(const char *key)
{
    return QStringLiteral("\"%1\"").arg(QLatin1String(key));
}
}

bool ReportField::shownIn(bool merged, unsigned where) const
{
    return (show & where) != 0 && (!merged || (show & ShowMerged) != 0);
}

const std::vector<ReportField> &reportFields()
{
    return fields;
}

QJsonObject writeFields(const SignalSnapshot &s, bool merged)
{
    QJsonObject object;
    for (const ReportField &field : fields) {
        if (field.shownIn(merged, ShowJson)) {
            object.insert(QLatin1String(field.key), field.write(s));
        }
    }
    return object;
}

bool readFields(const QJsonObject &object, SignalSnapshot &s, QString &error)
{
    QStringList always;
    bool complete = true;
    for (const ReportField &field : fields) {
        if (field.read && field.need == Need::Always) {
            always.append(quoted(field.key));
            complete = complete && present(field, object.value(QLatin1String(field.key)));
        }
    }
    if (!complete) {
        error = QStringLiteral("a signal without %1").arg(always.join(QLatin1String(" and ")));
        return false;
    }
    for (const ReportField &field : fields) {
        if (field.read && field.need != Need::WithSamples) {
            field.read(object.value(QLatin1String(field.key)), s);
        }
    }
    if (s.decodedSamples == 0) {
        return true;
    }
    for (const ReportField &field : fields) {
        const QJsonValue value = object.value(QLatin1String(field.key));
        if (field.read && field.need == Need::WithSamples && !present(field, value)) {
            error = QStringLiteral("signal \"%1\" has samples but no number %2").arg(s.name, quoted(field.key));
            return false;
        }
        if (field.read && field.need == Need::WithSamples) {
            field.read(value, s);
        }
    }
    return true;
}
