// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "J1939Diagnostics.h"

#include <prometheus/metric_family.h>

#include <vector>

/**
 * The J1939 active faults as metric families: talveno_j1939_fault_active (1
 * while the sender's newest DM1 lists the code, else 0) and
 * talveno_j1939_fault_occurrences per code, labelled interface, source_address,
 * spn and fmi; talveno_j1939_lamp per sender and lamp (0 off, 1 on, 2 slow
 * flash, 3 fast flash; left out where the sender marks it not available).
 * Appended to families; nothing where no DM1 was seen.
 */
void appendFaultFamilies(const J1939Diagnostics &diagnostics, std::vector<prometheus::MetricFamily> &families);
