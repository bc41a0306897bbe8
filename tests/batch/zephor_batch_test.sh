#!/usr/bin/env bash
# zephor-batch on 30 molecule folders: 24 that run (the golden molecules and hydrogen molecules at
# ten distances), and six that do not (a charge written 1.0, chlorine, an empty file, two atoms on
# one point, a FOR005 cut after the charge, a folder whose FOR006 exists already). Checks the
# table row by row, the values against the reports, and that a second run skips what is done.
#   zephor_batch_test.sh ZEPHOR_BATCH GOLDEN_DIR
set -euo pipefail
batch=$1
golden=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

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

out=$("$batch" -j 2 "$work") || fail "zephor-batch exited $?"
[ "$out" = "zephor-batch: 29 run, 30 in $work/results.csv" ] || fail "summary: $out"
table="$work/results.csv"
[ "$(wc -l <"$table")" -eq 31 ] || fail "expected a header and 30 rows"
[ "$(head -1 "$table")" = "folder,title,atoms,basis_functions,total_energy_ev,homo_ev,lumo_ev,gap_ev,status" ] ||
  fail "header: $(head -1 "$table")"
[ "$(grep -c ',ok$' "$table")" -eq 24 ] || fail "expected 24 ok rows: $(cat "$table")"
row() { grep "^$1," "$table" || fail "no row for $1"; }
row bad/real_charge | grep -q 'failed (exit 2): At line 2 of input (unit = 13, file = .FOR005.) Bad integer for item 1 in list input' ||
  fail "real charge: $(row bad/real_charge)"
row bad/chlorine | grep -q "failed (exit 2): .*Unknown element symbol 'Cl' for atom 2" || fail "chlorine: $(row bad/chlorine)"
row bad/empty | grep -q 'failed (exit 2): .*End of file' || fail "empty: $(row bad/empty)"
row bad/coincident | grep -q 'stopped without output (exit 0)' || fail "coincident: $(row bad/coincident)"
row bad/cut | grep -q 'failed (exit 2): At line 5 of input (unit = 10, file = .FOR005.) End of file' || fail "cut: $(row bad/cut)"
row bad/done | grep -q 'done, but no results.json' || fail "done: $(row bad/done)"
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
out=$("$batch" "$work") || fail "second run exited $?"
[ "$out" = "zephor-batch: 5 run, 30 in $work/results.csv" ] || fail "second summary: $out"
[ "$(stat -c %Y.%N "$work/golden/water/FOR006")" = "$stamp" ] || fail "a done folder was run again"
[ "$(grep -c ',ok$' "$table")" -eq 24 ] || fail "second table"
echo "1 passed, 0 failed"
