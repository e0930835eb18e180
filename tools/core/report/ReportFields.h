// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "SignalSnapshot.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <vector>

/// Where a field of a signal appears.
enum ReportShow : unsigned {
    ShowJson = 1u << 0,
    ShowCsv = 1u << 1,
    /// The one-line table of --wide.
    ShowWide = 1u << 2,
    /// The first line of a signal in the narrow table.
    ShowFirstLine = 1u << 3,
    /// Its second line.
    ShowSecondLine = 1u << 4,
    /// Merged reports too, in every format chosen above.
    ShowMerged = 1u << 5,
    /// The --wide table of a log only, and of a bus only.
    ShowWideOnLog = 1u << 6,
    ShowWideOnBus = 1u << 7,
    ShowEverywhere = ShowJson | ShowCsv | ShowWide,
};

/**
 * A field of a signal in the reports, under one key in every format: how it is
 * written, where it appears, and how a merge reads it back.
 */
struct ReportField
{
    enum class Kind { Text, Count, Value, Seconds, Flag };
    /// What a merge needs of the field, if it reads it back.
    enum class Need {
        Optional, ///< read if there
        Always, ///< a signal without it is not one of a report
        WithSamples, ///< a signal with samples has it
    };

    const char *key;
    /// The column's title in the table.
    const char *title;
    Kind kind;
    unsigned show;
    /// The field's value, null where it has none (a statistic without samples).
    QJsonValue (*write)(const SignalSnapshot &);
    /// Reads the value back into a snapshot; null for a field that a merge does
    /// not read (it derives it, or leaves it out).
    void (*read)(const QJsonValue &, SignalSnapshot &);
    Need need;

    /// Whether the field appears where a report of this kind (merged or not) shows
    /// what `where` selects.
    bool shownIn(bool merged, unsigned where) const;
};

/// Every field, in the order of the CSV and wide table columns.
const std::vector<ReportField> &reportFields();

/// A signal as a JSON object, with the fields that a JSON report (merged or not) shows.
QJsonObject writeFields(const SignalSnapshot &s, bool merged);
/// What a merge reads back of a signal of a report. False, with the message in
/// error, for one that lacks what it needs.
bool readFields(const QJsonObject &object, SignalSnapshot &s, QString &error);
