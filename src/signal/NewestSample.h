// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// The newest sample `lastValue` and its age `ageTimer`, handed from the writers (the
// scaled intake, the rebuild) to getValue() and getAgeInSeconds(). A reader must
// see one whole sample and one whole start time, yet never wait behind the history
// or the statistics; so both sides take a lock of their own, held for one swap or
// one copy and never while another lock is taken under it. The object's own locks
// keep their documented uses: its members hold none of these. A fixed table serves
// every signal, one entry picked by the object's address, so that its size does not
// grow with the number of signals and two signals share an entry only by chance,
// for the length of a swap.

#include "LockAnnotations.h"

#include <QTypeInfo>
#include <QtGlobal>

#include <cstring>

namespace TalvenoNewest
{
// One entry per cache line, so that signals on different entries never contend.
struct alignas(64) Entry
{
    TalvenoLocks::BriefLock lock;
};

constexpr quintptr entryCount = 64;
inline Entry entries[entryCount];

// Objects lie at least a few dozen bytes apart; the multiplication spreads the
// bits above that over the index.
inline TalvenoLocks::BriefLock &lockOf(const void *owner)
{
    const quintptr address = reinterpret_cast<quintptr>(owner) >> 4;
    const quintptr spread = static_cast<quintptr>(static_cast<quint64>(address) * 0x9E3779B97F4A7C15ull >> 32);
    return entries[spread % entryCount].lock;
}

class Locker
{
public:
    explicit Locker(const void *owner)
        : locker(lockOf(owner))
    {
    }

private:
    TalvenoLocks::BriefLocker locker;
};

// Swaps two records by their bytes, as QVector relocates them: no variant is
// copied or destroyed while the lock is held.
template<typename T>
void swapRelocatable(T &a, T &b)
{
    static_assert(QTypeInfo<T>::isRelocatable, "records are declared Q_MOVABLE_TYPE");
    alignas(T) unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, static_cast<void *>(&a), sizeof(T));
    std::memcpy(static_cast<void *>(&a), static_cast<void *>(&b), sizeof(T));
    std::memcpy(static_cast<void *>(&b), bytes, sizeof(T));
}
}
