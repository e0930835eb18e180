// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "Report.h"

/// One header line, then a row per signal and snapshot, every field in full
/// precision; a merged report's rows have no time.
class CsvReport : public Report
{
public:
    CsvReport(const Settings &settings, QTextStream &out);

protected:
    void writeSnapshot(double seconds, const QVector<SignalSnapshot> &signalStates) override;
    void writeSkipped(double from, double to, quint64 snapshots) override;
    void writeEnd(const RunSummary &summary, const QVector<SignalSnapshot> &signalStates) override;

private:
    bool headerWritten = false;
};
