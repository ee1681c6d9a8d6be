#!/usr/bin/env bash
# Installs the build into a temporary prefix and starts the installed program
# offscreen: it must reach the first-start question, creating nothing.
# Usage: tst_install.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap '[ -n "${pid:-}" ] && kill "$pid" 2>/dev/null; rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
for f in bin/shop bin/shop-create-db bin/shop-migrate share/applications/shop.desktop \
         share/icons/hicolor/scalable/apps/shop.svg; do
  [ -e "$prefix/$f" ] || fail "$f was not installed"
done
[ -x "$prefix/bin/shop" ] || fail "bin/shop is not executable"
for f in bin/shop bin/shop-create-db bin/shop-migrate; do
  readelf -S "$prefix/$f" | grep -q '\.symtab' && fail "$f was installed with its symbols"
done
# The name the about box gives the program.
grep -qx 'Name\[zh_CN\]=小店经营管理系统' "$prefix/share/applications/shop.desktop" \
  || fail "the desktop entry has not the program's Chinese name"
grep -qx 'Exec=shop' "$prefix/share/applications/shop.desktop" || fail "the desktop entry runs something else"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/shop.desktop" || fail "desktop entry is not valid"
fi

# A fresh user: own home, own settings.
export HOME="$prefix/home" XDG_CONFIG_HOME="$prefix/home/.config" XDG_DATA_HOME="$prefix/home/.local/share"
mkdir -p "$HOME"
log="$prefix/shop.log"
QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="shop.messages.info=true" "$prefix/bin/shop" 2>"$log" &
pid=$!
for _ in $(seq 1 100); do
  grep -q '是否现在创建新的数据库文件' "$log" && break
  kill -0 "$pid" 2>/dev/null || { cat "$log" >&2; fail "the installed program ended before the first-start question"; }
  sleep 0.2
done
grep -q '是否现在创建新的数据库文件' "$log" || { cat "$log" >&2; fail "no first-start question within 20 s"; }
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=
# The installed program keeps its files in the user's data folder, even
# though the install folder is writable here; the question was not
# answered, so no database exists anywhere.
grep -qF "没有找到数据库文件夹 $XDG_DATA_HOME/ZEDWARE/ZEDWARE/database" "$log" \
  || { cat "$log" >&2; fail "the question did not offer the user's data folder"; }
[ -z "$(ls -A "$prefix/bin" | grep -vx 'shop\|shop-create-db\|shop-migrate')" ] \
  || fail "the program wrote into its install folder: $(ls "$prefix/bin")"
[ ! -e "$XDG_DATA_HOME/ZEDWARE/ZEDWARE/database" ] || fail "database folder created before the question was answered"
echo "PASS: installed into a temporary prefix and reached the first-start question"
