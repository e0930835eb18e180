// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// The write hold of the history. A copy from getValues() shares the history's
// storage and is let go without valuesLock. Qt asks whether storage is shared by
// a relaxed load of its owner count, which orders nothing: a writer that finds
// the copy gone could write in place before the reader's last look at it. The
// count loaded with acquire orders that look first; storage that a copy still
// holds is copied, as Qt's own first write would.

#include "LockAnnotations.h"

#include <QVector>

#include <type_traits>

namespace TalvenoSignal
{
template<typename T>
class HistoryWriter
{
public:
    HistoryWriter(QReadWriteLock &valuesLock, QVector<T> &values)
        : locker(valuesLock)
    {
        while (owners(values) > 1) {
            values.detach();
        }
    }

private:
    // -1 for Qt's static empty storage, 0 for unsharable storage.
    static int owners(const QVector<T> &values)
    {
        using Storage = QTypedArrayData<T>;
        static_assert(std::is_standard_layout_v<QVector<T>> && sizeof(QVector<T>) == sizeof(Storage *),
                      "QVector holds nothing but the pointer to its storage");
        const Storage *storage = *reinterpret_cast<const Storage *const *>(&values);
        return storage->ref.atomic.loadAcquire();
    }

    TalvenoLocks::WriteLocker locker;
};
}
