// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QMutex>
#include <QString>
#include <QVector>

#include <cstddef>

/// The interfaces seen in one run ("can0", "vcan1", ...), numbered in the order
/// they first appear, so that a frame can carry a small index instead of a name.
///
/// Names are added on one thread; name() and count() may be called from any.
class InterfaceNames
{
public:
    /// The index of the name, adding it when new.
    quint16 index(const QString &name);
    /// As index(), for a name given as bytes; cheap when the name repeats, as it
    /// does on nearly every line of a log.
    quint16 index(const char *name, std::size_t length)
    {
        if (length == lastLength) {
            std::size_t same = 0;
            while (same < length && name[same] == lastName[same]) {
                ++same;
            }
            if (same == length) {
                return static_cast<quint16>(last);
            }
        }
        return lookUp(name, length);
    }
    QString name(quint16 index) const;
    int count() const;

private:
    quint16 lookUp(const char *name, std::size_t length);
    void remember(int index, const char *name, std::size_t length);

    /// Held to add a name and to read names; index() looks names up in bytes,
    /// which only the adding thread touches, without it.
    mutable QMutex namesMutex;
    QVector<QString> names;
    QVector<QByteArray> bytes;
    /// The index asked for last, and its name when that is short enough to keep
    /// here, checked first.
    int last = -1;
    char lastName[16] = {};
    std::size_t lastLength = ~std::size_t(0);
};
