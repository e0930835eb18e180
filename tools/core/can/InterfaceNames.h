// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QMutex>
#include <QString>
#include <QVector>
#include <QtEndian>

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
        if (length == lastLength && isLastName(name, length)) {
            return static_cast<quint16>(last);
        }
        return lookUp(name, length);
    }
    QString name(quint16 index) const;
    int count() const;

private:
    // Whether the name, as long as the last one, is the last one. Most names
    // ("can0", "vcan12") have 4 to 8 bytes: two 4-byte words, overlapping
    // where the name is shorter than 8, cover them.
    bool isLastName(const char *name, std::size_t length) const
    {
        if (length >= 4 && length <= 8) {
            return qFromUnaligned<quint32>(name) == qFromUnaligned<quint32>(lastName)
                && qFromUnaligned<quint32>(name + length - 4) == qFromUnaligned<quint32>(lastName + length - 4);
        }
        std::size_t same = 0;
        while (same < length && name[same] == lastName[same]) {
            ++same;
        }
        return same == length;
    }
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
