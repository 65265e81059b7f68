#!/usr/bin/env python3
"""Tells Snakemake how a SLURM job stands: running, success or failed.

Asks squeue first (it knows finished jobs for MinJobAge seconds after their
end, with or without accounting storage), then sacct, then scontrol. A job
that none of them knows any longer is reported failed: a rerun of the
workflow then resumes from the results that are in place."""

import subprocess
import sys

RUNNING = {"PENDING", "CONFIGURING", "RUNNING", "COMPLETING", "SUSPENDED", "REQUEUED", "RESIZING",
           "SIGNALING", "STAGE_OUT", "STOPPED", "REQUEUE_HOLD", "REQUEUE_FED", "RESV_DEL_HOLD"}


def ask(command):
    try:
        done = subprocess.run(command, capture_output=True, text=True, timeout=60)
    except (OSError, subprocess.TimeoutExpired):
        return ""
    return done.stdout.strip() if done.returncode == 0 else ""


def state_of(job):
    state = ask(["squeue", "--noheader", "--states=all", "--jobs", job, "--format=%T"])
    if not state:
        state = ask(["sacct", "--noheader", "--allocations", "--parsable2", "--jobs", job, "--format=State"])
    if not state:
        shown = ask(["scontrol", "show", "job", job])
        for field in shown.split():
            if field.startswith("JobState="):
                state = field.split("=", 1)[1]
    # "CANCELLED by 0" and the like: the first word is the state.
    return state.splitlines()[0].split()[0] if state else ""


def status(job):
    state = state_of(job)
    if state in RUNNING:
        return "running"
    if state == "COMPLETED":
        return "success"
    if not state:
        print(f"status.py: SLURM no longer knows job {job}", file=sys.stderr)
    return "failed"


if __name__ == "__main__":
    print(status(sys.argv[1]))
