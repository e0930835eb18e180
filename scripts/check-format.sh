#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Fails, naming the files, when a tracked C++ file differs from what
# clang-format makes of it under the committed .clang-format.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
mapfile -t files < <(git ls-files '*.h' '*.cpp')
clang-format --dry-run --Werror "${files[@]}"
echo "${#files[@]} files formatted as .clang-format says."
