#!/usr/bin/env bash
# zephor-batch on 30 molecule folders: 24 that run (the golden molecules and hydrogen molecules at
# ten distances), and six that do not (a charge written 1.0, chlorine, an empty file, two atoms on
# one point, a FOR005 cut after the charge, a folder whose FOR006 exists already). Checks the
# table row by row, the values against the reports, and that a second run skips what is done.
# Then, on small trees of their own: results that are not this run's never read as ok (a folder
# left with only FOR007, an export that fails this time, outputs and results.json not written by
# the batch, a results.json changed afterwards or malformed), the exit statuses and the table
# replaced whole, a FOR005 that is a link or a directory, the command line, a zephor killed by a
# signal, and a second batch on a tree that one is running on.
#   zephor_batch_test.sh ZEPHOR_BATCH GOLDEN_DIR
set -euo pipefail
batch=$1
golden=$(cd "$2" && pwd)
work=$(mktemp -d)
more=$(mktemp -d)
trap 'rm -rf "$work" "$more"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# run_batch ARG...: the batch's standard output, standard error and exit status in out, err, rc.
run_batch() {
  rc=0
  "$batch" "$@" >"$more/out" 2>"$more/err" || rc=$?
  out=$(cat "$more/out") err=$(cat "$more/err")
}
ulimit -c 0  # the zephor killed by SIGABRT below leaves no core file

for m in "$golden"/*/; do
  name=$(basename "$m")
  mkdir -p "$work/golden/$name" && cp "$m/FOR005" "$work/golden/$name/"
done
for i in 0 1 2 3 4 5 6 7 8 9; do
  mkdir -p "$work/h2/d$i" && printf "h2\n0\nH 0 0 0\nH 0 0 0.%s5\n" "$((5 + i / 3))$i" >"$work/h2/d$i/FOR005"
done
mkdir -p "$work/bad/"{real_charge,chlorine,empty,coincident,cut,done}
printf 'x\n1.0\nH 0 0 0\n' >"$work/bad/real_charge/FOR005"
printf 'x\n0\nH 0 0 0\nCl 0 0 1\n' >"$work/bad/chlorine/FOR005"
: >"$work/bad/empty/FOR005"
printf 'x\n0\nH 0 0 0\nH 0 0 0\n' >"$work/bad/coincident/FOR005"
printf 'x\n0\nH 0 0 0\nH 0 0\n' >"$work/bad/cut/FOR005"
printf 'x\n0\nH 0 0 0\nH 0 0 0.74\n' >"$work/bad/done/FOR005"
echo "an older report" >"$work/bad/done/FOR006"
[ "$(find "$work" -name FOR005 | wc -l)" -eq 30 ] || fail "expected 30 folders"

status=0
out=$("$batch" -j 2 "$work") || status=$?
[ "$status" -eq 2 ] || fail "zephor-batch exited $status with failing folders, not 2"
[ "$out" = "zephor-batch: 29 run, 30 in $work/results.csv" ] || fail "summary: $out"
table="$work/results.csv"
[ "$(wc -l <"$table")" -eq 31 ] || fail "expected a header and 30 rows"
[ "$(head -1 "$table")" = "folder,title,atoms,basis_functions,total_energy_ev,homo_ev,lumo_ev,gap_ev,status,index,name,formula,charge,mulliken_min,mulliken_max" ] ||
  fail "header: $(head -1 "$table")"
[ "$(grep -c ',ok,' "$table")" -eq 24 ] || fail "expected 24 ok rows: $(cat "$table")"
row() { grep "^$1," "$table" || fail "no row for $1"; }
row bad/real_charge | grep -q 'failed (exit 2): At line 2 of input (unit = 13, file = .FOR005.) Bad integer for item 1 in list input' ||
  fail "real charge: $(row bad/real_charge)"
row bad/chlorine | grep -q "failed (exit 2): .*Unknown element symbol 'Cl' for atom 2" || fail "chlorine: $(row bad/chlorine)"
row bad/empty | grep -q 'failed (exit 2): .*End of file' || fail "empty: $(row bad/empty)"
row bad/coincident | grep -q 'stopped without output (exit 0)' || fail "coincident: $(row bad/coincident)"
row bad/cut | grep -q 'failed (exit 2): At line 5 of input (unit = 10, file = .FOR005.) End of file' || fail "cut: $(row bad/cut)"
[ "$(row bad/done)" = "bad/done,,,,,,,,incomplete: FOR006 without FOR007 (remove it to rerun),,,,,," ] ||
  fail "done: $(row bad/done)"
[ "$(cat "$work/bad/done/FOR006")" = "an older report" ] || fail "an existing report was touched"

# The numbers are the reports' to the printed digits.
for m in water benzene bf3; do
  r=$(row "golden/$m")
  total=$(grep '^Total energy:' "$work/golden/$m/FOR006" | sed 's/Total energy: *//; s/eV//')
  [ "$(echo "$r" | cut -d, -f5)" = "$total" ] || fail "$m total energy: $r against $total"
  homo=$(grep '^Estate' "$work/golden/$m/FOR006" | tail -1 | sed 's/Estate[0-9]*://; s/eV//; s/ //g')
  [ "$(echo "$r" | cut -d, -f6)" = "$homo" ] || fail "$m HOMO: $r against $homo"
done
[ "$(row golden/water | cut -d, -f2-4)" = "water,3,6" ] || fail "water: $(row golden/water)"

# A second run skips every folder that is done; the failed ones are tried again.
stamp=$(stat -c %Y.%N "$work/golden/water/FOR006")
status=0
out=$("$batch" "$work") || status=$?
[ "$status" -eq 2 ] || fail "second run exited $status"
[ "$out" = "zephor-batch: 5 run, 30 in $work/results.csv" ] || fail "second summary: $out"
[ "$(stat -c %Y.%N "$work/golden/water/FOR006")" = "$stamp" ] || fail "a done folder was run again"
[ "$(grep -c ',ok,' "$table")" -eq 24 ] || fail "second table"

# A malformed results.json: that row says so, every other row stays, the batch exits 2, and the
# table is replaced by a rename (a new file), no temporary left beside it.
echo '{"broken' >"$work/golden/water/results.json"
inode=$(stat -c %i "$table")
run_batch --no-run "$work"
[ "$rc" -eq 2 ] && [ -z "$err" ] || fail "--no-run with a malformed results.json: exit $rc, $err"
[ "$(row golden/water)" = "golden/water,,,,,,,,results.json unreadable,,,,,," ] || fail "malformed: $(row golden/water)"
[ "$(wc -l <"$table")" -eq 31 ] && [ "$(grep -c ',ok,' "$table")" -eq 23 ] ||
  fail "the table after a malformed results.json: $(cat "$table")"
[ "$(stat -c %i "$table")" != "$inode" ] || fail "the table was rewritten in place"
[ -z "$(find "$work" -maxdepth 1 -name '*.tmp')" ] || fail "a temporary table was left"
# A results.json that is not the one the run wrote (benzene's, put in the water folder) is stale.
cp "$work/golden/benzene/results.json" "$work/golden/water/results.json"
run_batch --no-run "$work"
row golden/water | grep -q ',stale: results.json is not the one this run wrote' || fail "swapped: $(row golden/water)"
# A table that cannot be written: exit 1, the reason said.
: >"$more/file"
run_batch --no-run --table "$more/file/results.csv" "$work"
[ "$rc" -eq 1 ] && [[ $err == "zephor-batch: cannot write the table $more/file/results.csv: "* ]] ||
  fail "an unwritable table: exit $rc, $err"
cp "$work/golden/benzene/results.json" "$more/benzene.json"

# Water run, then its FOR005 replaced by methane and only FOR006 removed: the folder is not run,
# nothing of it is touched, its row says what is missing; once FOR007 is removed too it runs.
s=$more/stale table=$more/stale/results.csv
mkdir -p "$s/w" && cp "$golden/water/FOR005" "$s/w/"
run_batch "$s"
[ "$rc" -eq 0 ] || fail "a tree of good folders exited $rc: $err"
[ "$(row w | cut -d, -f2-5,9)" = "water,3,6,-167.1133,ok" ] || fail "water: $(row w)"
cp "$s/w/FOR007" "$more/water.FOR007"
cp "$golden/methane_hfirst/FOR005" "$s/w/FOR005" && rm "$s/w/FOR006"
run_batch "$s"
[ "$rc" -eq 2 ] && [ "$out" = "zephor-batch: 0 run, 1 in $table" ] || fail "stale FOR007: exit $rc, $out"
[ "$(row w)" = "w,,,,,,,,incomplete: FOR007 without FOR006 (remove it to rerun),,,,,," ] || fail "stale FOR007: $(row w)"
[ ! -e "$s/w/FOR006" ] && cmp -s "$s/w/FOR007" "$more/water.FOR007" &&
  cmp -s "$s/w/FOR005" "$golden/methane_hfirst/FOR005" || fail "a folder with FOR007 was touched"
rm "$s/w/FOR007"
run_batch "$s"
[ "$rc" -eq 0 ] && row w | grep -q '^w,methane,5,.*,ok,' || fail "methane: $(row w)"

# An export that fails this time leaves no earlier results.json to be read as ok; outputs and a
# results.json that the batch did not write are not ok either (and are not run again).
e=$more/export table=$more/export/results.csv
mkdir -p "$e/rerun" "$e/by_hand"
cp "$golden/water/FOR005" "$e/rerun/" && cp "$more/benzene.json" "$e/rerun/results.json"
cp "$golden/water/FOR00"[567] "$e/by_hand/" && cp "$more/benzene.json" "$e/by_hand/results.json"
ZEPHOR_EXPORT=false run_batch "$e"
[ "$rc" -eq 2 ] && [ "$out" = "zephor-batch: 1 run, 2 in $table" ] || fail "failing export: exit $rc, $out"
[ "$(row rerun)" = "rerun,,,,,,,,export failed (exit 1),,,,,," ] || fail "failing export: $(row rerun)"
[ ! -e "$e/rerun/results.json" ] || fail "the earlier results.json was left"
[ "$(row by_hand)" = "by_hand,,,,,,,,unrecorded: FOR006 and FOR007 are not from a run of zephor-batch (remove them to rerun),,,,,," ] ||
  fail "by hand: $(row by_hand)"
cmp -s "$e/by_hand/FOR006" "$golden/water/FOR006" && cmp -s "$e/by_hand/results.json" "$more/benzene.json" ||
  fail "a folder run by hand was touched"

# A FOR005 that is a link or a directory has its row.
o=$more/odd table=$more/odd/results.csv
mkdir -p "$o/real" "$o/link" "$o/dir/FOR005"
cp "$golden/water/FOR005" "$o/real/" && ln -s ../real/FOR005 "$o/link/FOR005"
run_batch "$o"
[ "$rc" -eq 2 ] && [ "$(wc -l <"$table")" -eq 4 ] || fail "odd FOR005: exit $rc, $(cat "$table")"
for f in link dir; do
  [ "$(row $f)" = "$f,,,,,,,,FOR005 is not a regular file,,,,,," ] || fail "$f: $(row $f)"
done
[ "$(row real | cut -d, -f9)" = ok ] || fail "real: $(row real)"

# The command line: --help prints the usage text and nothing else; a bad option or value prints
# the reason and the usage on standard error and exits 1, running nothing.
run_batch --help
[ "$rc" -eq 0 ] && [ -z "$err" ] || fail "--help: exit $rc, $err"
help=$out
[ "$(head -1 <<<"$help")" = "usage: zephor-batch [-o DIR] [-j JOBS] [--chunk N] [--slurm] [--sshloginfile FILE] [--table FILE] [--no-run] [--quiet] INPUT" ] &&
  ! grep -q '\$\|set -' <<<"$help" || fail "--help: $help"
run_batch
[ "$rc" -eq 1 ] && [ "$err" = "$help" ] && [ -z "$out" ] || fail "no argument: exit $rc, $err"
rm "$o/results.csv"
for args in "-j abc $o" "-j 0 $o" "-j -2 $o" "-j" "--table" "--sshloginfile" "--frobnicate $o" "$o $o"; do
  run_batch $args
  [ "$rc" -eq 1 ] && [ -z "$out" ] && [[ $err == *"$help" ]] || fail "$args: exit $rc, $out, $err"
done
[ ! -e "$o/results.csv" ] || fail "a bad command line ran the batch"
run_batch -j abc "$o"
[ "$(head -1 <<<"$err")" = "zephor-batch: -j needs a positive integer, not 'abc'" ] || fail "-j abc: $err"
run_batch -j
[ "$(head -1 <<<"$err")" = "zephor-batch: -j needs a value" ] || fail "-j: $err"

# A zephor killed by a signal: the shell's "Aborted" goes to the folder's messages, not the terminal.
k=$more/killed table=$more/killed/results.csv
mkdir -p "$k/a" && cp "$golden/water/FOR005" "$k/a/"
printf '#!/bin/sh\nkill -ABRT $$\n' >"$more/abort" && chmod +x "$more/abort"
ZEPHOR=$more/abort run_batch "$k"
[ "$rc" -eq 2 ] && [ -z "$err" ] || fail "killed: exit $rc, standard error: $err"
[ "$(row a)" = "a,,,,,,,,killed by SIGABRT,,,,,," ] || fail "killed: $(row a)"
[ -f "$k/a/zephor.err" ] && [ ! -s "$k/a/zephor.err" ] || fail "killed: the messages file: $(cat "$k/a/zephor.err")"

# Two batches on one tree: the second refuses while the first runs, and the first is unharmed.
q=$more/locked table=$more/locked/results.csv
mkdir -p "$q/w" && cp "$golden/water/FOR005" "$q/w/"
cat >"$more/slow" <<SH
#!/bin/sh
touch "$more/started"
for i in \$(seq 200); do [ -e "$more/release" ] && break; sleep 0.05; done
cp "$golden/water/FOR006" "$golden/water/FOR007" .
SH
chmod +x "$more/slow"
ZEPHOR=$more/slow "$batch" "$q" >"$more/first.out" 2>"$more/first.err" &
first=$!
for i in $(seq 100); do [ -e "$more/started" ] && break; sleep 0.05; done
[ -e "$more/started" ] || fail "the first batch did not start"
run_batch "$q"
touch "$more/release"
[ "$rc" -eq 1 ] && [ "$err" = "zephor-batch: another batch is running on $q" ] || fail "second batch: exit $rc, $err"
rc=0
wait "$first" || rc=$?
[ "$rc" -eq 0 ] && [ "$(row w | cut -d, -f2-5,9)" = "water,3,6,-167.1133,ok" ] ||
  fail "the first batch: exit $rc, $(cat "$more/first.err") $(row w)"
echo "1 passed, 0 failed"
