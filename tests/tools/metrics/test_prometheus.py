#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""The monitor's metrics scraped by a real Prometheus, with the shipped configuration and rules.

usage: test_prometheus.py MONITOR REPLAY SAMPLE_LOG DATA_DIR RULES_TEST

The README must show the shipped prometheus.yml and talveno-rules.yml as they
are; promtool must accept them, pass the rules' unit test, and find no problem
in a scrape. The monitor follows a replay
of the sample log on a virtual bus while a Prometheus of its own (loopback,
own port, configuration and storage) scrapes it every 200 ms: afterwards
Prometheus' query API must give the engine speed's sample count and average of
the monitor's final JSON report, and the stale alert must fire once the replay
has ended. Exit status 77 (skipped) where prometheus or promtool cannot run.
"""

import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

monitor, replay, sample, data, rules_test = sys.argv[1:6]
prometheus, promtool = "/usr/bin/prometheus", "/usr/bin/promtool"
engine_speed = "engine speed (SPN 190)"
problems = []

for program in (prometheus, promtool):
    try:
        subprocess.run([program, "--version"], capture_output=True, check=True, timeout=30)
    except (OSError, subprocess.SubprocessError) as error:
        print(f"SKIP: {program} cannot run ({error}); install Debian's prometheus")
        sys.exit(77)


def check(condition, what):
    if not condition:
        problems.append(what)


def promtool_run(*arguments, stdin=None, cwd=None):
    run = subprocess.run([promtool, *arguments], input=stdin, capture_output=True, cwd=cwd, timeout=60)
    check(run.returncode == 0 and b"FAILED" not in run.stdout,
          f"promtool {' '.join(arguments)}: {run.returncode} {run.stdout!r} {run.stderr!r}")
    return run


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def get(url):
    with urllib.request.urlopen(url, timeout=5) as answer:
        return answer.read()


def until(what, probe, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            result = probe()
            if result:
                return result
        except OSError:
            pass
        time.sleep(0.1)
    problems.append(f"not within {seconds} s: {what}")
    return None


def query(api, expression):
    answer = json.loads(get(f"{api}/api/v1/query?" + urllib.parse.urlencode({"query": expression})))
    results = answer["data"]["result"]
    return float(results[0]["value"][1]) if len(results) == 1 else None


def stale_alert_firing(api):
    alerts = json.loads(get(f"{api}/api/v1/alerts"))["data"]["alerts"]
    return any(a["labels"].get("alertname") == "TalvenoSignalStale" and a["labels"].get("signal") == engine_speed
               and a["state"] == "firing" for a in alerts)


def stop(process):
    if process.returncode is not None:
        return b"", b""
    if process.poll() is None:
        os.kill(process.pid, signal.SIGINT)
    try:
        return process.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        os.kill(process.pid, signal.SIGKILL)
        problems.append(f"{process.args[0]} did not end on SIGINT")
        return process.communicate()


with open(os.path.join(data, "..", "..", "README.md"), encoding="utf-8") as text:
    readme = text.read()
for name in ("prometheus.yml", "talveno-rules.yml"):
    with open(os.path.join(data, name), encoding="utf-8") as text:
        check(f"```yaml\n{text.read()}```" in readme, f"the README's copy of {name} differs from the file")
promtool_run("check", "config", os.path.join(data, "prometheus.yml"))
promtool_run("test", "rules", os.path.basename(rules_test), cwd=os.path.dirname(rules_test))

with tempfile.TemporaryDirectory() as directory:
    bus = f"virtualcan:tcp://127.0.0.1:{free_port()}/can0"
    metrics_port, api_port = free_port(), free_port()
    api = f"http://127.0.0.1:{api_port}"
    with open(os.path.join(directory, "prometheus.yml"), "w", encoding="utf-8") as config:
        json.dump({"global": {"scrape_interval": "200ms", "evaluation_interval": "200ms"},
                   "rule_files": [os.path.join(data, "talveno-rules.yml")],
                   "scrape_configs": [{"job_name": "talveno-monitor",
                                       "static_configs": [{"targets": [f"127.0.0.1:{metrics_port}"]}]}]},
                  config)
    # The monitor hosts the virtual bus, so it starts first.
    followed = subprocess.Popen([monitor, "--bus", bus, "--format", "json", "--stale", "1",
                                 "--metrics", f"127.0.0.1:{metrics_port}"],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    server = subprocess.Popen([prometheus, f"--config.file={directory}/prometheus.yml",
                               f"--storage.tsdb.path={directory}/data", f"--web.listen-address=127.0.0.1:{api_port}"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        scrape_url = f"http://127.0.0.1:{metrics_port}/metrics"
        if until("the monitor serves its metrics", lambda: get(scrape_url), 15) and \
                until("Prometheus scrapes the monitor", lambda: query(api, "up") == 1.0, 60):
            played = subprocess.run([replay, sample, "--speed", "4", "--bus", bus], capture_output=True, timeout=120)
            check(played.returncode == 0, f"replay: {played.returncode} {played.stderr!r}")
            lint = promtool_run("check", "metrics", stdin=get(scrape_url))
            check(lint.stdout.strip() == b"" and lint.stderr.strip() == b"", f"promtool check metrics: {lint.stderr!r}")
            until("the stale alert fires after the replay", lambda: stale_alert_firing(api), 30)
            selector = f'{{signal="{engine_speed}"}}'
            scraped = {"samples": query(api, "talveno_signal_samples_total" + selector),
                       "cachedAverage": query(api, "talveno_signal_average" + selector)}
            out, err = stop(followed)
            report = json.loads(out)
            final = next(s for s in report["signals"] if s["name"] == engine_speed)
            print(f"{engine_speed}: Prometheus {scraped}, final JSON report samples {final['samples']}, "
                  f"cachedAverage {final['cachedAverage']!r}")
            check(final["samples"] > 0 and scraped["samples"] == final["samples"],
                  f"samples: Prometheus {scraped['samples']}, report {final['samples']}")
            # Exposed with 16 significant digits: equal to the last place or two.
            average = scraped["cachedAverage"]
            check(average is not None and abs(average - final["cachedAverage"]) <= 1e-14 * abs(final["cachedAverage"]),
                  f"average: Prometheus {average!r}, report {final['cachedAverage']!r}")
    finally:
        stop(followed)
        _, server_err = stop(server)
        if problems:
            sys.stderr.write(server_err.decode(errors="replace")[-3000:])

for problem in problems:
    print("FAIL:", problem)
sys.exit(1 if problems else 0)
