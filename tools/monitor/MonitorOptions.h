// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "Report.h"

#include <QString>
#include <QStringList>

/// What the command line asks for.
struct MonitorOptions
{
    QString input;
    ReportFormat format = ReportFormat::Table;
    double band = 2.0;
    unsigned int history = 1000;
    /// Seconds of log time between snapshots; 0: only the final report.
    double every = 0.0;
    QString plotFile;
    QString definitionFile;
    bool builtins = true;
    quint8 sourceAddress = 0x00;
    bool strict = false;
};

/// Reads the arguments (the program name first). Returns false with a message in
/// error for a usage fault; sets exitNow when --help or --version was answered.
bool parseMonitorOptions(const QStringList &arguments,
                         const QString &sampleLog,
                         MonitorOptions &options,
                         QString &error,
                         bool &exitNow);
