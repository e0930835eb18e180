// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Messages.h"

#include <QCoreApplication>

#include <cstdio>

void complain(const QString &message)
{
    std::fprintf(stderr,
                 "%s: %s\n",
                 QCoreApplication::applicationName().toLocal8Bit().constData(),
                 message.toLocal8Bit().constData());
    std::fflush(stderr);
}
