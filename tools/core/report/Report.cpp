// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Report.h"
#include "CsvReport.h"
#include "JsonReport.h"
#include "TableReport.h"

std::unique_ptr<Report> Report::make(const Settings &settings, QTextStream &out)
{
    switch (settings.format) {
    case ReportFormat::Csv:
        return std::make_unique<CsvReport>(settings, out);
    case ReportFormat::Json:
        return std::make_unique<JsonReport>(settings, out);
    case ReportFormat::Table:
        break;
    }
    return std::make_unique<TableReport>(settings, out);
}

Report::Report(const Settings &settings, QTextStream &out)
    : settings(settings)
    , out(out)
{
}

Report::~Report() = default;

bool Report::addSnapshot(double seconds, const QVector<SignalSnapshot> &signalStates)
{
    writeSnapshot(seconds, signalStates);
    out.flush();
    return out.status() == QTextStream::Ok;
}

bool Report::addSkipped(double from, double to, quint64 snapshots)
{
    writeSkipped(from, to, snapshots);
    out.flush();
    return out.status() == QTextStream::Ok;
}

void Report::finish(const RunSummary &summary, const QVector<SignalSnapshot> &signalStates)
{
    writeEnd(summary, signalStates);
    out.flush();
}
