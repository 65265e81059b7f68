#!/usr/bin/env bash
# Runs the workflow on two datasets with three k values and checks that each
# merge equals a kValues run of the same parameter file, every file byte for
# byte with the times masked.
#   workflow_test.sh local SOURCE_DIR TOOL_DIR   snakemake --cores 2; a failed job, then a rerun that resumes
#   workflow_test.sh slurm SOURCE_DIR TOOL_DIR   every job through sbatch on a one-node SLURM cluster that
#                                                 the test starts (munged, slurmctld, slurmd) and stops
# Exits 77 (skipped) when a program it needs is missing, unless CI is set.
set -euo pipefail

mode=$1
source_dir=$(cd "$2" && pwd)
tool_dir=$(cd "$3" && pwd)
export PATH="$tool_dir:$PATH"

missing() {
    if [ -n "${CI:-}" ]; then
        echo "workflow test: $1 is missing, and CI must run this test" >&2
        exit 1
    fi
    echo "workflow test skipped: $1 is missing"
    exit 77
}
command -v snakemake >/dev/null || missing snakemake
if [ "$mode" = slurm ]; then
    for program in munged slurmctld slurmd sbatch squeue scontrol; do
        command -v "$program" >/dev/null || [ -x "/usr/sbin/$program" ] || missing "$program"
    done
    export PATH="$PATH:/usr/sbin"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/orthomix-workflow-XXXXXX")
daemons=()
cleanup() {
    local pid
    for pid in "${daemons[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${daemons[@]}"; do
        # Not our child when it forked away; wait then only for it to go.
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "workflow test ($mode): $*" >&2
    exit 1
}

# The workflow, its profile and two datasets, as a user's checkout holds them.
cp -r "$source_dir/workflow" "$source_dir/profiles" "$work/"
mkdir -p "$work/config" "$work/data/example" "$work/data/public1"
cp "$source_dir"/examples/*.txt "$work/data/example/"
find "$source_dir/tests/data/golden/public1" -maxdepth 1 -type f -exec cp {} "$work/data/public1/" \;
cat > "$work/config/config.yaml" <<CONFIG
orthomix: orthomix
datasets:
  example:
    parameters: data/example/ParameterSetting.txt
  public1:
    parameters: data/public1/ParameterSetting.txt
kValues: [4, 5, 6]
seeds: [2024]
resources:
  fit: {threads: 1, mem_mb: 500, runtime: 10}
  merge: {threads: 1, mem_mb: 500, runtime: 10}
CONFIG
cd "$work"

# Each merge against a kValues run of its own parameter file, run here.
compare_with_sweeps() {
    local dataset
    for dataset in example public1; do
        mkdir -p "direct/$dataset"
        cp "results/$dataset/seed2024/merged/parameters.txt" "direct/$dataset/"
        (cd "direct/$dataset" && orthomix parameters.txt > console.txt 2>&1) || fail "the kValues run of $dataset failed"
        python3 "$source_dir/tests/workflow/compare_results.py" "direct/$dataset" \
            "results/$dataset/seed2024/merged" || fail "the merge of $dataset differs from its kValues run"
    done
    [ "$(wc -l < results/summary.tsv)" -eq 3 ] || fail "the summary should hold a header and two datasets"
}

run_locally() {
    # One job fails while a marker is there: the others finish, and the rerun does only what is missing.
    cat > flaky-orthomix <<'FLAKY'
#!/bin/sh
case "$(pwd)" in
    */public1/seed2024/k5) [ -e "$MARKER" ] && { echo "failing on purpose" >&2; exit 1; } ;;
esac
exec orthomix "$@"
FLAKY
    chmod +x flaky-orthomix
    export MARKER="$work/fail-once"
    touch "$MARKER"
    if snakemake --cores 2 --keep-going --config orthomix="$work/flaky-orthomix" > first.log 2>&1; then
        fail "the first run should fail at public1 k = 5"
    fi
    [ -e results/public1/seed2024/k4/record.json ] && [ -e results/public1/seed2024/k6/record.json ] ||
        fail "a failed job took other results with it"
    [ ! -e results/public1/seed2024/k5/record.json ] || fail "the failed job left a result"
    [ -e results/example/seed2024/merged/record.json ] || fail "the other dataset was not finished"
    local before
    before=$(stat -c %Y.%s results/public1/seed2024/k4/record.json)
    rm "$MARKER"
    snakemake --cores 2 --config orthomix="$work/flaky-orthomix" > second.log 2>&1 || { cat second.log; fail "the rerun failed"; }
    [ "$(grep -c '^rule fit:' second.log)" -eq 1 ] || { cat second.log; fail "the rerun should fit only k = 5 of public1"; }
    [ "$(stat -c %Y.%s results/public1/seed2024/k4/record.json)" = "$before" ] || fail "the rerun redid a finished job"
    compare_with_sweeps
    echo "local workflow: resumed after a failed job; both merges equal their kValues runs"
}

start_cluster() {
    local host port
    host=$(hostname -s)
    port=$((20000 + RANDOM % 20000))
    mkdir -p munge slurm/state slurm/spool
    chmod 700 munge
    head -c 1024 /dev/urandom > munge/munge.key
    chmod 400 munge/munge.key
    munged --foreground --force --key-file="$work/munge/munge.key" --socket="$work/munge/munge.socket" \
        --pid-file="$work/munge/munged.pid" --log-file="$work/munge/munged.log" \
        --seed-file="$work/munge/munged.seed" > munge/console.log 2>&1 &
    daemons+=($!)
    cat > slurm/slurm.conf <<SLURM
ClusterName=orthomixtest
SlurmctldHost=$host
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/munge
AuthInfo=socket=$work/munge/munge.socket
CredType=cred/munge
SlurmUser=$(id -un)
SlurmdUser=$(id -un)
StateSaveLocation=$work/slurm/state
SlurmdSpoolDir=$work/slurm/spool
SlurmctldPidFile=$work/slurm/slurmctld.pid
SlurmdPidFile=$work/slurm/slurmd.pid
SlurmctldLogFile=$work/slurm/slurmctld.log
SlurmdLogFile=$work/slurm/slurmd.log
SlurmctldDebug=info
SlurmdDebug=info
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
SchedulerType=sched/backfill
MpiDefault=none
ReturnToService=2
MinJobAge=600
NodeName=$host NodeAddr=127.0.0.1 CPUs=2 RealMemory=2000 State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP
SLURM
    export SLURM_CONF="$work/slurm/slurm.conf"
    for _ in $(seq 50); do [ -S munge/munge.socket ] && break; sleep 0.1; done
    slurmctld -D -f "$SLURM_CONF" > slurm/slurmctld.console 2>&1 &
    daemons+=($!)
    slurmd -D -f "$SLURM_CONF" -N "$host" > slurm/slurmd.console 2>&1 &
    daemons+=($!)
    for _ in $(seq 100); do
        if sinfo --noheader --format=%t 2>/dev/null | grep -qx idle; then return 0; fi
        sleep 0.2
    done
    cat slurm/*.log slurm/*.console munge/*.log >&2 || true
    fail "the one-node cluster did not come up"
}

run_on_slurm() {
    start_cluster
    snakemake --profile "$work/profiles/slurm" > cluster.log 2>&1 || { cat cluster.log .snakemake/slurm-*.log; fail "the workflow failed on SLURM"; }
    # Every job but the local ones (parameter files, summary) went through sbatch and reached slurmctld.
    local ids count id
    ids=$(sed -n "s/.*with external jobid '\([0-9]*\)'.*/\1/p" cluster.log)
    count=$(echo "$ids" | grep -c . || true)
    [ "$count" -eq 8 ] || { cat cluster.log; fail "expected 8 submitted jobs (6 fits, 2 merges), saw $count"; }
    for id in $ids; do
        grep -q "JobId=$id " slurm/slurmctld.log || fail "job $id is not in the log of slurmctld"
    done
    [ "$(grep -c '^rule fit:\|^rule merge:' cluster.log)" -eq 8 ] || fail "the jobs are not the fits and merges"
    compare_with_sweeps
    echo "SLURM workflow: $count jobs through sbatch; both merges equal their kValues runs"
}

case "$mode" in
    local) run_locally ;;
    slurm) run_on_slurm ;;
    *) fail "mode must be local or slurm" ;;
esac
