#!/usr/bin/env bash
# Builds the Debian package from this build tree, unpacks it into a scratch
# root and checks that the unpacked programs run from there, that the desktop
# entry and the package pass their checkers, and that the rule file type is
# known once its MIME file is installed.
#
# usage: PackageTest.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2

for tool in cpack dpkg-deb lintian desktop-file-validate update-mime-database xdg-mime mimetype; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh"; exit 1; }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vtrpro-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Stripped, as a released package is; the binaries of a sanitizer build still
# run, and lintian then judges the package, not the build's debug data.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/cpack" -D CPACK_STRIP_FILES=ON >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; exit 1; }
deb=$(ls "$scratch"/cpack/vtrpro_"$version"_*.deb)
echo "packaged in ${SECONDS}s"
root=$scratch/root
dpkg-deb -x "$deb" "$root"

# The unpacked programs, with nothing of this machine's set-up in reach.
run() {
  env -i PATH=/usr/bin:/bin HOME="$scratch/home" LANG=C.UTF-8 \
    XDG_CONFIG_HOME="$scratch/home/config" XDG_DATA_HOME="$scratch/home/data" \
    XDG_RUNTIME_DIR="$scratch/home/run" \
    VTRPRO_DATA_SETTINGS_DIR="$scratch/settings" APPDATA="$scratch/appdata" \
    VTRPRO_MACHINE_ENVIRONMENT_FILE="$scratch/environment" \
    ASAN_OPTIONS="${ASAN_OPTIONS:-}" LSAN_OPTIONS="${LSAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" \
    "$@"
}
mkdir -p "$scratch/home/run" && chmod 700 "$scratch/home/run"

for program in vtrpro-rules VtrProRuleBuilderu; do
  [ -L "$root/usr/bin/$program" ] || fail "usr/bin/$program is not a link into the program folder"
  out=$(run "$root/usr/bin/$program" --version) || fail "$program --version exited with $?"
  [ "$out" = "$program $version" ] || fail "$program --version printed '$out', not '$program $version'"
done

modules=$(run "$root/usr/bin/vtrpro-rules" modules) || fail "vtrpro-rules modules exited with $?"
rules_section=$(printf '%s\n' "$modules" | sed -n '/^RULE_CONFIGURATION_MODULES$/,/^RULE_DATABASE_MODULES$/p')
loaded=$(printf '%s\n' "$rules_section" | grep -c "^  loaded      $root/usr/lib/vtrpro/[^ ]*\.so  \".*\"  [0-9]* rules\$" || true)
[ "$loaded" -eq 16 ] || fail "$loaded rule modules loaded from the unpacked tree, not 16"
if printf '%s\n' "$modules" | grep -q "not loaded"; then fail "a configured module did not load"; fi
printf '%s\n' "$modules" | sed -n '/^RULE_DATABASE_MODULES$/,$p' | grep -q "^  loaded      $root/usr/lib/vtrpro/" ||
  fail "no database module loaded from the unpacked tree"
[ "$failures" -eq 0 ] || printf '%s\n' "$modules"

# The resources sit where the installed program looks for them.
[ -f "$root/usr/share/vtrpro/res/english/vtrpro/1000.html" ] || fail "help pages missing under share/vtrpro/res"
# So do the pages generated from the rule catalogues: the contents and one per rule.
[ -f "$root/usr/share/vtrpro/res/english/vtrpro/index.html" ] || fail "help contents missing under share/vtrpro/res"
[ -f "$root/usr/share/vtrpro/res/english/vtrpro/20301.html" ] || fail "rule help pages missing under share/vtrpro/res"
for page in VtrProRuleBuilderu vtrpro-rules; do
  [ -f "$root/usr/share/man/man1/$page.1.gz" ] || fail "no manual page for $page"
done

desktop=$root/usr/share/applications/vtrpro.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects vtrpro.desktop"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ -x "$root/usr/bin/${exec_line%% *}" ] || fail "the desktop entry runs '${exec_line%% *}', which is not in usr/bin"
[ "${exec_line#* }" = "%f" ] || fail "the desktop entry does not pass the file (Exec=$exec_line)"

# Bash completion of the installed tool: words typed -> words offered.
completion_cases=(
  "vtrpro-rules conf|configure"
  "vtrpro-rules modules --|--format"
  "vtrpro-rules modules re|remove reset"
  "vtrpro-rules modules add Extra.so --|--database"
  "vtrpro-rules show plate.vtr --format |text json"
  "vtrpro-rules diff plate.vtr --|--rule --category --format"
  "vtrpro-rules reset plate.vtr --a|--all"
  "vtrpro-rules configure plate.vtr --criticality H|High"
  "vtrpro-rules userrule |add list remove"
  "vtrpro-rules userrule add --flavour |custom product"
  "vtrpro-rules messages im|import"
  "vtrpro-rules dirs --m|--manual-checks"
  "vtrpro-rules d|deselect diff dirs db"
  "vtrpro-rules db |connect status log copy"
  "vtrpro-rules db connect --|--clear"
  "vtrpro-rules db log --|--since --format"
  "vtrpro-rules db copy --|--to --merge"
  "vtrpro-rules db status --format |text json"
)
if [ -f /usr/share/bash-completion/bash_completion ]; then
  for case in "${completion_cases[@]}"; do
    offered=$(bash -c '
      source /usr/share/bash-completion/bash_completion
      source "$1"
      read -ra COMP_WORDS <<<"$2"
      [[ $2 == *" " ]] && COMP_WORDS+=("")
      COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=$2 COMP_POINT=${#2}
      _vtrpro_rules
      echo "${COMPREPLY[*]}"' _ "$root/usr/share/bash-completion/completions/vtrpro-rules" "${case%%|*}")
    [ "$offered" = "${case#*|}" ] || fail "completing '${case%%|*}' offers '$offered', not '${case#*|}'"
  done
else
  fail "bash-completion is not installed: run scripts/install-deps.sh"
fi

lint_start=$SECONDS
# Suppressed: calls that CPack writes for any library under usr/lib, and the
# hardening flags that only scripts/package.sh sets.
lintian --fail-on error --suppress-tags \
  maintscript-calls-ldconfig,hardening-no-fortify-functions,hardening-no-relro,hardening-no-bindnow \
  "$deb" || fail "lintian reports errors"
echo "linted in $((SECONDS - lint_start))s"

# The rule file type, known by name and, under any name, by its root element.
data=$scratch/xdg
mkdir -p "$data/mime/packages"
cp "$root/usr/share/mime/packages/vtrpro.xml" "$data/mime/packages/"
XDG_DATA_HOME=$data update-mime-database "$data/mime"
printf '<?xml version="1.0"?>\n<VTRExpress Version="v3.4" Unit="0" AngularUnit="0"/>\n' >"$scratch/plate.vtr"
cp "$scratch/plate.vtr" "$scratch/renamed-rules"
for file in plate.vtr renamed-rules; do
  type=$(env -i PATH=/usr/bin:/bin HOME="$scratch/home" XDG_DATA_HOME="$data" xdg-mime query filetype "$scratch/$file")
  [ "$type" = "application/x-vtrrule" ] || fail "xdg-mime gives '$type' for $file"
done

[ "$failures" -eq 0 ] && echo "package $(basename "$deb"): all checks passed"
exit $((failures > 0))
