#!/usr/bin/env bash
# check-links.sh [SOURCE_DIR]: every relative link and image of README.md and
# docs/*.md names a file that exists (and, with #anchor, a heading of it), and
# every `./dev WORD` they name is a command dev accepts. Links in fenced code
# blocks and code spans are not links; `./dev` commands are checked there too.
set -euo pipefail
cd "${1:-$(dirname "$0")/../..}"

# dev's commands: the patterns of its last case statement, the dispatcher.
commands="$(awk '/^case / { words = "" }
  /^  [a-z|]+\)/ { sub(/^ +/, ""); sub(/\).*/, ""); gsub(/\|/, " "); words = words " " $0 }
  END { print words }' dev) "

shopt -s nullglob
pages=(README.md docs/*.md)

# One line per fact: FILE<TAB>anchor|link|dev<TAB>VALUE. Anchors as GitHub
# makes them: lower case, punctuation dropped, blanks to '-', repeats -1, -2.
scan() {
  awk -v OFS='\t' '
    FNR == 1 { fence = 0; split("", seen) }
    {
      rest = $0
      while (match(rest, /\.\/dev [a-z]+/)) {
        print FILENAME, "dev", substr(rest, RSTART + 6, RLENGTH - 6)
        rest = substr(rest, RSTART + RLENGTH)
      }
    }
    /^ *(```|~~~)/ { fence = !fence; next }
    fence { next }
    /^#+ / {
      slug = tolower($0)
      sub(/^#+ +/, "", slug)
      gsub(/[]!-,.\/:-@[\\^`{-~]/, "", slug)
      gsub(/ /, "-", slug)
      print FILENAME, "anchor", slug (seen[slug]++ ? "-" seen[slug] - 1 : "")
    }
    {
      rest = $0
      gsub(/`[^`]*`/, "", rest)
      while (match(rest, /\]\([^)]+\)/)) {
        target = substr(rest, RSTART + 2, RLENGTH - 3)
        sub(/ .*/, "", target)
        if (target !~ /^[a-z]+:/) print FILENAME, "link", target
        rest = substr(rest, RSTART + RLENGTH)
      }
    }' "${pages[@]}"
}
facts=$(scan)

broken=0
report() {
  echo "$1: $2" >&2
  broken=$((broken + 1))
}
while IFS=$'\t' read -r file kind value; do
  case $kind in
    dev)
      [[ $commands == *" $value "* ]] || report "$file" "./dev $value: dev has no such command (it has:${commands% })"
      ;;
    link)
      path=${value%%#*} anchor=
      [[ $value == *"#"* ]] && anchor=${value#*#}
      target=$file
      if [ -n "$path" ]; then
        target=$(dirname "$file")/$path
        target=$(realpath -m --relative-to=. "$target")
        [ -e "$target" ] || { report "$file" "link $value: no file $target"; continue; }
      fi
      [ -z "$anchor" ] || grep -qxF "$target"$'\tanchor\t'"$anchor" <<<"$facts" ||
        report "$file" "link $value: no heading #$anchor in $target"
      ;;
  esac
done <<<"$facts"
[ "$broken" -eq 0 ] || { echo "check-links: $broken broken" >&2; exit 1; }
echo "check-links: the links and ./dev commands of README.md and docs/*.md resolve"
