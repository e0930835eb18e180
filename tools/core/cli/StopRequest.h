// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

/**
 * SIGINT, SIGTERM and SIGHUP as a request to end the run cleanly, instead of the
 * default death that loses what was read.
 *
 * The handler only sets a flag and writes a byte into a pipe, the two things a
 * signal handler may safely do; the program polls the flag between frames, or
 * watches the pipe's read end while it waits for input (LogReader, or a
 * QSocketNotifier in an event loop).
 */
namespace StopRequest
{
/// Installs the handlers; call once, before the run. False if the pipe or the
/// handlers could not be set up.
bool install();
/// Whether a stop was requested.
bool requested();
/// Readable once a stop was requested; -1 before install().
int wakeFd();
/// The signal that asked for the stop (SIGINT, SIGTERM or SIGHUP); 0 if none did.
int signalNumber();
}
