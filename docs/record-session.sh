#!/usr/bin/env bash
# Records the typical run: installs the program from a build directory into a temporary prefix,
# runs the installed binary on examples/typical-two-months.answers in a fresh working directory
# and writes the console transcript to docs/typical-run.txt and docs/session.md.
# Usage: docs/record-session.sh [build-dir]   (default: build/default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/default}
answers=examples/typical-two-months.answers

cmake --build "$build" --target quorlant >/dev/null
prefix=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$prefix" "$work"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
mkdir "$work/event"

status=0
(cd "$work" && "$prefix/bin/quorlant" <"$root/$answers" >"$root/docs/typical-run.txt" 2>"$work.err") ||
  status=$?
if [ "$status" -ne 0 ] || [ -s "$work.err" ]; then
  echo "record-session: the typical run failed (status $status):" >&2
  cat "$work.err" >&2
  rm -f "$work.err"
  exit 1
fi
rm -f "$work.err"

{
  cat <<HEAD
# A typical run

Two monthly events from 2015 01 01 00, snow melt with the conversion factor 1.0, every other
option n, reporting time step 1, basin gr10k: the answers in
[\`$answers\`](../$answers),
one line per question and an empty line for each of the two pauses. They are piped in, so they
do not appear in the transcript. In a working directory that has an \`event\` directory:

\`\`\`sh
quorlant < $answers
\`\`\`

The program exits with status $status. Its complete console output (also in
[\`typical-run.txt\`](typical-run.txt), byte for byte):

\`\`\`text
HEAD
  cat "$root/docs/typical-run.txt"
  cat <<TAIL
\`\`\`

Files in the working directory afterwards:

\`\`\`text
TAIL
  (cd "$work" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
  cat <<'TAIL'
```

`event/20150101.evt` (744 hours) and `event/20150201.evt` (672 hours) are the event files,
`event/events_to_follow.txt` lists both, `evt_info.txt` is the empty run log and the `temp*.fls`
files are scratch files.

Regenerate this page after a change to the program's output with `docs/record-session.sh`
(optionally naming a build directory); the test `Session.RecordingIsCurrent` fails until then.
TAIL
} >"$root/docs/session.md"
echo "record-session: wrote docs/typical-run.txt and docs/session.md"
