// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "Report.h"

/**
 * Aligned columns for a person, one table per snapshot. The table fits 80
 * columns: two lines per signal, the name with its unit, sample count, rating
 * and outside count, then the values; --wide gives one line per signal with
 * every column. It shows a signal's values in the decimals of its resolution.
 */
class TableReport : public Report
{
public:
    TableReport(const Settings &settings, QTextStream &out);

protected:
    void writeSnapshot(double seconds, const QVector<SignalSnapshot> &signalStates) override;
    void writeSkipped(double from, double to, quint64 snapshots) override;
    void writeEnd(const RunSummary &summary, const QVector<SignalSnapshot> &signalStates) override;

private:
    void writeTable(QTextStream &to, const QVector<SignalSnapshot> &signalStates);
    void writeFooter(const RunSummary &summary);
    void writeTooShort(const QVector<SignalSnapshot> &signalStates);
    QString timeText(double seconds) const;

    QVector<int> keptFirstWidths;
    QVector<int> keptSecondWidths;
};
