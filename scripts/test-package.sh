#!/usr/bin/env bash
# The Debian package: builds it with CPack from a built tree, checks it with
# lintian (no errors allowed), unpacks it into a scratch folder and runs the programs
# from there, and checks the manual pages, the desktop entries and the completion.
#
#   scripts/test-package.sh [BUILD_DIR]      (default: build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
[[ -d $build ]] || build=$root/$build
build=$(cd "$build" && pwd)
bash "$root/scripts/deps.sh" lintian dpkg-dev file man-db
started=$SECONDS

fail() {
    echo "FAIL: $*"
    exit 1
}

echo "== cpack -G DEB"
rm -f "$build"/zentor_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { tail -30 "$build/cpack.log"; fail cpack; }
debs=("$build"/zentor_*.deb)
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
[[ $(basename "$deb") == "zentor_${version}_amd64.deb" ]] || fail "package named $(basename "$deb")"
dpkg-deb -f "$deb" Package Version Section Depends Recommends

echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reported errors"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zentor-deb.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch"
bin=$scratch/usr/bin

echo "== the programs from the unpacked package"
for program in zentor zentor-cli zentor-sim; do
    out=$("$bin/$program" --version) || fail "$program --version"
    echo "   $out"
    [[ $out == "$program $version"* ]] || fail "$program --version printed \"$out\""
done
"$bin/zentor-cli" ports >"$scratch/ports.txt" || fail "zentor-cli ports"
echo "   zentor-cli ports: $(wc -l <"$scratch/ports.txt") port(s)"

echo "== manual pages"
for program in zentor zentor-cli zentor-sim; do
    page=$scratch/usr/share/man/man1/$program.1.gz
    [[ -f $page ]] || fail "no manual page for $program"
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
        man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "man -l $program.1.gz: $warnings"
done

echo "== desktop entries and icons"
for entry in zentor zentor-training; do
    file=$scratch/usr/share/applications/$entry.desktop
    [[ -f $file ]] || fail "no $entry.desktop"
    exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$file")
    [[ -x $bin/$exec ]] || fail "$entry.desktop starts $exec, which is not in the package"
done
grep -qx 'Exec=zentor --training' "$scratch/usr/share/applications/zentor-training.desktop" ||
    fail "the training entry does not start the training mode"
for size in 16 32 48 256; do
    [[ -f $scratch/usr/share/icons/hicolor/${size}x$size/apps/zentor.png ]] || fail "no $size px icon"
done

echo "== every command of zentor-cli is completed and documented"
completion=$scratch/usr/share/bash-completion/completions/zentor-cli
# The page's source without font changes and with plain hyphens.
manual=$(zcat "$scratch/usr/share/man/man1/zentor-cli.1.gz" | sed 's/\\f[BIRP]//g; s/\\-/-/g')
complete_words() {
    # shellcheck disable=SC1090
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _zentor_cli
             printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@"
}
commands=$("$bin/zentor-cli" --help | sed -n '/^Subcommands:/,$s/^  \([a-z-]*\) .*/\1/p')
[[ -n $commands ]] || fail "no commands in zentor-cli --help"
offered=$(complete_words zentor-cli "")
for command in $commands; do
    grep -qx -- "$command" <<<"$offered" || fail "the completion does not offer $command"
    grep -qE "^(\.B[IR]? )?$command( |$)" <<<"$manual" || fail "the manual page lacks $command"
done
options=$("$bin/zentor-cli" --help | grep -o -- '--[a-z-]*' | sort -u)
offered=$(complete_words zentor-cli update --)
for option in $options --mode; do
    grep -qx -- "$option" <<<"$offered" || fail "the completion does not offer $option"
    grep -qF -- "$option" <<<"$manual" || fail "the manual page lacks $option"
done
[[ $(complete_words zentor-cli update --mode f) == factory ]] || fail "--mode values"
[[ $(complete_words zentor-cli --config x.ini re | tr '\n' ' ') == "read-data restart restore " ]] ||
    fail "an option's value is taken for a command"

echo "PASS ($((SECONDS - started)) s)"
