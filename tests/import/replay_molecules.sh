#!/bin/bash
# Replays molecule files through zephor-import and zephor: each file is either imported, and
# zephor then runs to a complete FOR006 and FOR007, or refused with exit status 2, one line of
# message and nothing written. None may crash zephor-import, run past its --timeout, or put the
# library's own output or control bytes on the terminal.
#
#   replay_molecules.sh IMPORT ZEPHOR TIMEOUT DIR...   (files of the Open Babel formats in DIR)
set -u
import=$1 zephor=$2 timeout=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
imported=0 refused=0 failed=0
fail() { echo "FAIL $1: $2"; failed=$((failed + 1)); }
for dir in "$@"; do
  for file in "$dir"/*; do
    case "${file,,}" in *.sdf | *.sd | *.mol | *.mol2 | *.pdb | *.ent | *.cml | *.smi | *.smiles) ;; *) continue ;; esac
    name=$(basename "$file")
    run="$work/run"
    rm -rf "$run" && mkdir "$run" && cp "$file" "$run/"
    start=$(date +%s%N)
    (cd "$run" && exec timeout -s KILL $((timeout * 2 + 30)) "$import" --timeout "$timeout" "$name" >out 2>err)
    status=$?
    ms=$((($(date +%s%N) - start) / 1000000))
    # Reading and building are bounded by --timeout; a few seconds more for the process itself.
    ((ms > timeout * 1000 + 5000)) && fail "$name" "took $ms ms with --timeout $timeout"
    [[ -s "$run/out" ]] && fail "$name" "wrote on standard output"
    if LC_ALL=C grep -q $'[\x01-\x09\x0b-\x1f\x7f]' "$run/err" || ! iconv -f UTF-8 -t UTF-8 "$run/err" >/dev/null 2>&1; then
      fail "$name" "control bytes or bytes that are no UTF-8 text on standard error"
    fi
    case $status in
      0)
        imported=$((imported + 1))
        [[ -s "$run/err" ]] && fail "$name" "imported with a message: $(head -c 200 "$run/err")"
        (cd "$run" && rm -f out err && exec timeout -s KILL 300 "$zephor" >out 2>err)
        zstatus=$?
        if ((zstatus != 0)) || [[ ! -s "$run/FOR006" || ! -s "$run/FOR007" ]]; then
          fail "$name" "zephor exit status $zstatus on what was imported: $(head -c 200 "$run/err")"
        fi
        echo "imported $name ($ms ms)"
        ;;
      2)
        refused=$((refused + 1))
        [[ -e "$run/FOR005" ]] && fail "$name" "refused, but FOR005 was written"
        if [[ $(wc -l <"$run/err") != 1 ]] || [[ $(head -c 15 "$run/err") != "zephor-import: " ]]; then
          fail "$name" "refused without one line of message: $(head -c 300 "$run/err")"
        fi
        echo "refused  $name ($ms ms): $(cat "$run/err")"
        ;;
      *) fail "$name" "exit status $status: $(head -c 300 "$run/err")" ;;
    esac
  done
done
echo "$imported imported and run, $refused refused, $failed failed"
((imported + refused > 0 && failed == 0))
