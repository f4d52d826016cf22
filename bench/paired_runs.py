#!/usr/bin/env python3
"""Paired wall-clock timings of whole processes, for bench_package.sh.

    paired_runs.py ROUNDS LABEL -- COMMAND... [-- LABEL -- COMMAND...]...

Runs every command once per round, in turns (the order rotates from round to round, so load from
elsewhere on the machine hits all alike), and prints for each its median time over the rounds;
for every command after the first, also the median over the rounds of the first command's time
divided by its time in the same round. Process start is included in every time. Exits with 1 when
a command fails.
"""
import statistics
import subprocess
import sys
import time


def parse_commands(words):
    commands = []
    while words:
        if len(words) < 3 or words[1] != "--":
            raise SystemExit("paired_runs.py: expected LABEL -- COMMAND...")
        label, words = words[0], words[2:]
        end = words.index("--") if "--" in words else len(words)
        commands.append((label, words[:end]))
        words = words[end + 1:]
    return commands


def run_once(command):
    start = time.perf_counter_ns()
    subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
    return (time.perf_counter_ns() - start) / 1e6


def main():
    rounds = int(sys.argv[1])
    commands = parse_commands(sys.argv[2:])
    times = [[] for _ in commands]
    try:
        for round_number in range(rounds):
            shift = round_number % len(commands)
            for index in list(range(len(commands)))[shift:] + list(range(shift)):
                times[index].append(run_once(commands[index][1]))
    except subprocess.CalledProcessError as failure:
        print(f"paired_runs.py: {' '.join(failure.cmd)} failed", file=sys.stderr)
        return 1
    first_label = commands[0][0]
    for index, (label, _) in enumerate(commands):
        line = f"  {label:<30} {statistics.median(times[index]):8.2f} ms"
        if index > 0:
            ratios = [a / b for a, b in zip(times[0], times[index])]
            line += f"   {first_label} / this: {statistics.median(ratios):.2f}"
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
