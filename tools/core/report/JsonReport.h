// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "Report.h"

/// One readable document; after snapshots, JSON Lines: an object per snapshot
/// ("type": "snapshot"), per gap of snapshots left out ("skipped") and one for
/// the end ("report", or "merged").
class JsonReport : public Report
{
public:
    JsonReport(const Settings &settings, QTextStream &out);

protected:
    void writeSnapshot(double seconds, const QVector<SignalSnapshot> &signalStates) override;
    void writeSkipped(double from, double to, quint64 snapshots) override;
    void writeEnd(const RunSummary &summary, const QVector<SignalSnapshot> &signalStates) override;

private:
    void writeLine(const QJsonObject &object);
};
