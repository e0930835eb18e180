// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

/// What a run's figures depend on, set once from the command line: the engine
/// works them out by it, and the report says what they mean.
struct RunSettings
{
    /// The factor k of the band average -/+ k * deviation.
    double band = 2.0;
    /// Seconds without a sample after which a signal is stale; 0: never.
    double staleAfter = 0.0;
    /// Whether the frames come from a log, whose own time also measures age;
    /// false on buses, where times are seconds since the start.
    bool logTime = true;
    /// --limits database: signals with a range in their database are rated, and
    /// counted outside, against it instead of the band.
    bool databaseLimits = false;
    /// The history holds from this many samples up to a tenth more; 0: every sample.
    unsigned int historyCapacity = 1000;
};
