#!/usr/bin/env bash
# The Slurm job array of zephor-batch's documentation, on a single-node Slurm that this test
# starts itself (munged, slurmctld and slurmd on private ports, all state in a scratch folder):
# five molecule folders, one of them failing and one holding an earlier FOR007 but no FOR006 (not
# to be run), run as `sbatch --array`, then the table collected with `zephor-batch --no-run`; then
# a multi-molecule SDF (two of its five molecules failing) as `zephor-batch --slurm --chunk 2`,
# three array tasks, whose tables must be those of a run on this machine, byte for byte. Exits 77
# (skipped) where Slurm cannot be started on the machine.
#   zephor_slurm_test.sh ZEPHOR_BATCH ARRAY_SCRIPT ZEPHOR ZEPHOR_EXPORT GOLDEN_DIR
set -uo pipefail
batch=$1 array=$2 zephor=$3 export_bin=$4 golden=$5
skip() { echo "skipped: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || skip "starting Slurm daemons needs root"
for c in munged slurmctld slurmd sbatch; do command -v $c >/dev/null || skip "$c is not installed"; done

x=$(mktemp -d)
cleanup() {
  for p in slurmd slurmctld munged; do [ -f "$x/$p.pid" ] && kill "$(cat "$x/$p.pid")" 2>/dev/null; done
  sleep 1
  rm -rf "$x"
}
trap cleanup EXIT
mkdir -p "$x/state" "$x/spool" "$x/log" "$x/work"
host=$(hostname -s)
dd if=/dev/urandom of="$x/munge.key" bs=1024 count=1 2>/dev/null
chmod 400 "$x/munge.key"
munged --force -S "$x/munge.sock" --key-file="$x/munge.key" --pid-file="$x/munged.pid" \
  --log-file="$x/log/munged.log" --seed-file="$x/munge.seed" || skip "munged does not start"
cat >"$x/slurm.conf" <<CONF
ClusterName=zephortest
SlurmctldHost=$host
SlurmctldPort=16917
SlurmdPort=16918
NodeName=$host CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$x/state
SlurmdSpoolDir=$x/spool
SlurmctldPidFile=$x/slurmctld.pid
SlurmdPidFile=$x/slurmd.pid
SlurmctldLogFile=$x/log/slurmctld.log
SlurmdLogFile=$x/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
AuthType=auth/munge
AuthInfo=socket=$x/munge.sock
CredType=cred/munge
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
JobCompType=jobcomp/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
ReturnToService=2
SwitchType=switch/none
CONF
export SLURM_CONF=$x/slurm.conf
slurmctld -i || skip "slurmctld does not start"
slurmd || skip "slurmd does not start"
for i in $(seq 1 30); do
  sinfo -h -o %t 2>/dev/null | grep -q idle && break
  sleep 1
done
sinfo -h -o %t 2>/dev/null | grep -q idle || skip "the Slurm node did not come up: $(tail -3 "$x/log/slurmd.log")"

w=$x/work
for m in water benzene h2; do mkdir -p "$w/$m" && cp "$golden/$m/FOR005" "$w/$m/"; done
mkdir -p "$w/broken" && printf 'x\n1.0\nH 0 0 0\n' >"$w/broken/FOR005"
mkdir -p "$w/stale" && cp "$golden/methane_hfirst/FOR005" "$golden/water/FOR007" "$w/stale/"
find "$w" -name FOR005 -printf '%h\n' | sort >"$w/folders.txt"
# A node that takes jobs but never runs them is a machine where Slurm does not work, not a fault
# of the array script: two minutes, then the test is skipped.
(cd "$w" && ZEPHOR_BATCH=$batch ZEPHOR=$zephor ZEPHOR_EXPORT=$export_bin \
  timeout 120 sbatch --export=ALL --wait --array=1-5 "$array" folders.txt >/dev/null)
status=$?
[ "$status" -eq 124 ] && skip "the array did not finish within two minutes: $(squeue 2>&1 | tail -3)"
[ "$status" -eq 0 ] || fail "sbatch --array failed ($status)"
out=$(ZEPHOR=$zephor ZEPHOR_EXPORT=$export_bin "$batch" --no-run "$w")
status=$?
[ "$status" -eq 2 ] || fail "zephor-batch --no-run exited $status, not 2 for the failing folders"
[ "$out" = "zephor-batch: 0 run, 5 in $w/results.csv" ] || fail "summary: $out"
[ "$(grep -c ',ok,' "$w/results.csv")" -eq 3 ] || fail "table: $(cat "$w/results.csv")"
grep -q '^broken,.*failed (exit 2): At line 2 of input (unit = 13, file = .FOR005.) Bad integer' "$w/results.csv" ||
  fail "broken: $(cat "$w/results.csv")"
grep -q '^water,water,3,6,-167.1133,' "$w/results.csv" || fail "water: $(cat "$w/results.csv")"
grep -qx 'stale,,,,,,,,incomplete: FOR007 without FOR006 (remove it to rerun),,,,,,' "$w/results.csv" ||
  fail "stale: $(cat "$w/results.csv")"
[ ! -e "$w/stale/FOR006" ] && cmp -s "$w/stale/FOR007" "$golden/water/FOR007" || fail "the stale folder was run"

# A molecule file in chunks: five molecules, two a task, so three tasks; the same tables as a
# local run.
sdf=$(dirname "$0")/../data/molecules/five.sdf
cp "$sdf" "$w/five.sdf"
out=$(cd "$w" && ZEPHOR=$zephor ZEPHOR_EXPORT=$export_bin timeout 120 "$batch" five.sdf --slurm --chunk 2 -o by_slurm)
status=$?
[ "$status" -eq 124 ] && skip "the chunked array did not finish within two minutes"
[ "$status" -eq 2 ] || fail "zephor-batch --slurm exited $status, not 2 for the failing molecules"
[ "$out" = "zephor-batch: 5 run, 5 in $w/by_slurm/results.csv" ] || fail "--slurm summary: $out"
[ "$(ls "$w"/by_slurm/zephor-*_*.log | wc -l)" -eq 3 ] || fail "expected three array tasks: $(ls "$w/by_slurm")"
(cd "$w" && ZEPHOR=$zephor ZEPHOR_EXPORT=$export_bin "$batch" five.sdf -o local >/dev/null)
[ $? -eq 2 ] || fail "the local run of five.sdf"
for t in results.csv results.jsonl; do
  cmp -s "$w/by_slurm/$t" "$w/local/$t" || fail "$t differs: $(diff "$w/by_slurm/$t" "$w/local/$t" | head -5)"
done
[ "$(grep -c ',ok,' "$w/local/results.csv")" -eq 3 ] || fail "five.sdf: $(cat "$w/local/results.csv")"
echo "1 passed, 0 failed"
