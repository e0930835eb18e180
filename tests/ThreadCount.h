// SPDX-License-Identifier: LGPL-2.1-or-later
// The number of threads of this process. The worker is the only thread a signal
// starts, so the count shows whether one runs.
#pragma once

#include <QtGlobal>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>
#else
#include <QDir>
#endif

namespace TestSupport
{
// -1 where the system does not list them.
#ifdef Q_OS_WIN
// The snapshot holds the threads of every process; ours are counted by owner.
inline int threadCount()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    const DWORD self = GetCurrentProcessId();
    THREADENTRY32 entry;
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == self ? 1 : 0;
    }
    CloseHandle(snapshot);
    return count;
}
#else
inline int threadCount()
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    return tasks.exists() ? tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() : -1;
}
#endif
}
