// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

/// The exit statuses of the programs, the same in each.
namespace ExitStatus
{
constexpr int done = 0;
/// A malformed line under --strict.
constexpr int malformedStrict = 1;
/// Input, a definition file, a report or a plot that cannot be read or written,
/// or a usage error.
constexpr int unreadable = 2;
/// A bus that could not be opened or connected, or failed during the run.
constexpr int busFailure = 3;
/// The report could not be written.
constexpr int reportUnwritable = 4;
/// Nothing could listen at the metrics address: a port in use, or an address
/// that is not one of this machine's.
constexpr int metricsUnavailable = 5;
}
