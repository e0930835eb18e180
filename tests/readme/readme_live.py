#!/usr/bin/env python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""The README's commands as a new user types them, in a clean build tree: the
main job, the Live section's monitor and replay over a virtual bus, then an
install that a host's find_package(Talveno) can use.

Usage: readme_live.py SOURCE_DIR WORK_DIR (emptied first)."""

import glob
import os
import shutil
import signal
import socket
import subprocess
import sys
import time

source, work = sys.argv[1], sys.argv[2]
build = os.path.join(work, "build", "release")
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
problems = []


def check(ok, what):
    if not ok:
        problems.append(what)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for_port(port, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        with socket.socket() as client:
            if client.connect_ex(("127.0.0.1", port)) == 0:
                return True
        time.sleep(0.1)
    return False


def live_commands(port):
    """The Live section's indented commands, in the clean tree and on a port of their own."""
    with open(os.path.join(source, "README.md"), encoding="utf-8") as readme:
        live = readme.read().split("### Live", 1)[1].split("\n#", 1)[0]
    return [line.strip().replace("build/release", build).replace("35470", str(port)).split()
            for line in live.splitlines() if line.startswith("    build/release/")]


environment = dict(os.environ, TALVENO_RELEASE_DIR=build, TALVENO_JOBS=os.environ.get("TALVENO_JOBS", "2"))
main_job = subprocess.run([os.path.join(source, "scripts", "run-monitor.sh")], cwd=source, env=environment,
                          capture_output=True, text=True, check=False)
check(main_job.returncode == 0 and "end of input" in main_job.stdout,
      f"main job: status {main_job.returncode}: {main_job.stderr[-3000:]}")

port = free_port()
commands = live_commands(port)
missing = [command[0] for command in commands if not os.access(command[0], os.X_OK)]
check(len(commands) == 2 and not missing, f"the Live section's commands {commands}; not built: {missing}")
if not problems:
    monitor = subprocess.Popen(commands[0], cwd=source, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    check(wait_for_port(port), "the monitor does not host the virtual bus")
    replay = subprocess.run(commands[1], cwd=source, capture_output=True, text=True, timeout=300, check=False)
    check(replay.returncode == 0, f"replay: status {replay.returncode}: {replay.stderr}")
    time.sleep(1)
    monitor.send_signal(signal.SIGINT)
    out, err = monitor.communicate(timeout=60)
    check(monitor.returncode == 0 and "at 1.000 s:" in out and "stopped by SIGINT" in out,
          f"monitor: status {monitor.returncode}: {err}{out[-2000:]}")

prefix = os.path.join(work, "prefix")
install = subprocess.run(["cmake", "--install", build, "--prefix", prefix], capture_output=True, text=True,
                         check=False)
check(install.returncode == 0, f"install: status {install.returncode}: {install.stderr}")
check(glob.glob(os.path.join(prefix, "lib*", "cmake", "Talveno", "TalvenoConfig.cmake")),
      "the install has no CMake package for find_package(Talveno)")

for problem in problems:
    print(f"FAIL: {problem}")
sys.exit(1 if problems else 0)
