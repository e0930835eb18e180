// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <Talveno/talveno_export.h>

/// Marks the library: a host can make one to check that it links libTalveno.
class TALVENO_EXPORT LibTalveno
{
public:
    LibTalveno();
};
