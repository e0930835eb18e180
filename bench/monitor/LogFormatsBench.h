// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

/// The log readers on the benchmark's frames, each format beside its target: the
/// ASC and TRC readers against the candump reader's time per frame, and the BLF
/// reader, zlib-compressed from a file, against zlib's own decompression of the
/// same containers. Prints its lines, and returns false where a target is missed.
bool benchLogFormats(long long frames);
