// SPDX-License-Identifier: LGPL-2.1-or-later
#include "StopRequest.h"

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace
{
volatile std::sig_atomic_t stopSignal = 0;
int wakePipe[2] = {-1, -1};

extern "C" void onStopSignal(int number)
{
    stopSignal = number;
    const char byte = 1;
    // The pipe is non-blocking: a full pipe already wakes the reader.
    [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
}
}

bool StopRequest::install()
{
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking read returns at once.
    action.sa_flags = 0;
    // SIGHUP: the terminal the run was started from has closed.
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0
        && ::sigaction(SIGHUP, &action, nullptr) == 0;
}

bool StopRequest::requested()
{
    return stopSignal != 0;
}

int StopRequest::wakeFd()
{
    return wakePipe[0];
}

int StopRequest::signalNumber()
{
    return stopSignal;
}
