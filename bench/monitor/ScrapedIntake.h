// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

/// The engine's intake of 1,000 signals with and without a Prometheus scrape
/// every 100 ms, in alternating rounds, and how long each scrape takes: printed
/// as rows beside the stages of talveno-monitor-bench. Returns false when the
/// metrics endpoint could not be started.
bool benchScrapedIntake();
