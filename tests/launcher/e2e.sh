#!/usr/bin/env bash
# End-to-end checks of the built BrannockSetup.exe under Wine: e2e.sh CASE.
#
# Run by CTest (tests/launcher/CMakeLists.txt passes the paths as E2E_* variables), under an X
# display (xvfb-run -a). The case "prefix" makes a fresh Wine prefix whose temp folder is
# C:\users\Public\e2e temp\nested: a path with a blank, two levels of which do not exist yet. Every
# other case starts from a working folder of its own making and checks what a user would see:
# the files in the working folder, what the second stage wrote (stage2.log), the exit code and
# the error box.
set -euo pipefail

case_name=${1:?usage: e2e.sh CASE}

export BRANNOCK_WINEPREFIX="$E2E_WORK/prefix"
export WINEPREFIX="$BRANNOCK_WINEPREFIX" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

temp_win='C:\users\Public\e2e temp\nested'
work_win="$temp_win\\Inst-Brannock_Quernholt"
temp_root="$WINEPREFIX/drive_c/users/Public/e2e temp"
work="$temp_root/nested/Inst-Brannock_Quernholt"

payload_names=(Quernholt.ex_ Vormaplex.ex_ Quernholt.Zeph_ Tennamil.txt Orbisk.txt Brannock.ex_
  Brannock.lst)
box_title=Anwendungsfehler

fail() {
  echo "FAIL ($case_name): $*" >&2
  exit 1
}

note() { echo "-- $*"; }

# run_setup EXE ARGS...: runs a setup program to its end; prints its exit code.
run_setup() {
  local rc=0
  timeout 120 "$E2E_WINE_RUN" "$@" >/dev/null 2>&1 || rc=$?
  echo "$rc"
}

# Waits for the second stage's log; fails when it has not appeared after 30 s.
wait_for_log() {
  local i
  for ((i = 0; i < 300; i++)); do
    if [ -f "$work/stage2.log" ] && [ "$(tail -c 2 "$work/stage2.log" | od -An -c | tr -d ' ')" = '\r\n' ] &&
      [ "$(wc -l <"$work/stage2.log")" -eq 2 ]; then
      return 0
    fi
    sleep 0.1
  done
  fail "the second stage wrote no complete stage2.log"
}

# Nothing may start: no stage2.log within 5 s (the sample second stage writes it at once).
expect_nothing_started() {
  sleep 5
  [ ! -e "$work/stage2.log" ] || fail "a second stage was started: $(cat "$work/stage2.log")"
}

expect_no_box() {
  if xdotool search --name "^$box_title\$" >/dev/null 2>&1; then fail "an error box is shown"; fi
}

expect_same() {  # expect_same EXPECTED ACTUAL WHAT
  [ -f "$2" ] || fail "$3: $2 is missing"
  cmp -s "$1" "$2" || fail "$3: $2 differs from $1"
}

expect_payload_rows() {  # expect_payload_rows FIRST LAST: those rows are the payload's files
  local row
  for ((row = $1; row <= $2; row++)); do
    local name=${payload_names[row - 1]}
    expect_same "$E2E_PAYLOAD/$name" "$work/$name" "row $row"
  done
}

expect_stage2_log() {
  local expected
  expected=$(printf 'cwd=%s\r\nargs=\r\n' "$work_win")
  [ "$(cat "$work/stage2.log")" = "$expected" ] ||
    fail "stage2.log reads '$(cat -A "$work/stage2.log")', expected '$(printf '%s' "$expected" | cat -A)'"
}

# The whole job done: the seven files, the expanded installer, the second stage's report.
expect_complete_run() {
  expect_payload_rows 1 7
  local expanded="$E2E_WORK/expanded.exe"
  rm -f "$expanded"
  "$E2E_LZHEXPAND" "$work/Brannock.ex_" "$expanded" || fail "lzhexpand cannot expand Brannock.ex_"
  expect_same "$expanded" "$work/Brannock.exe" "the expanded installer"
  expect_same "$E2E_STAGE2" "$work/Brannock.exe" "the sample second stage"
  wait_for_log
  expect_stage2_log
  local listed
  listed=$(cd "$work" && ls -A | sort | tr '\n' ' ')
  [ "$listed" = "Brannock.ex_ Brannock.exe Brannock.lst Orbisk.txt Quernholt.Zeph_ Quernholt.ex_ Tennamil.txt Vormaplex.ex_ stage2.log " ] ||
    fail "the working folder holds: $listed"
}

fresh_temp() { rm -rf "$temp_root"; }

case "$case_name" in
  prefix)
    [ -n "${DISPLAY:-}" ] || fail "needs an X display: run ctest under xvfb-run -a"
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$E2E_WORK"
    mkdir -p "$E2E_WORK"
    "$E2E_WINE_RUN" cmd /c exit >/dev/null 2>&1 || fail "cannot make the Wine prefix $WINEPREFIX"
    for variable in TEMP TMP; do
      wine reg add 'HKCU\Environment' /v "$variable" /t REG_SZ /d "$temp_win" /f >/dev/null 2>&1
    done
    reported=$("$E2E_WINE_RUN" cmd /c echo %TEMP% 2>/dev/null | tr -d '\r\n')
    [ "$reported" = "$temp_win" ] || fail "the prefix's temp folder is '$reported'"
    note "fresh prefix $WINEPREFIX, temp folder $temp_win"
    ;;

  first_run)
    fresh_temp
    rc=$(run_setup "$E2E_SETUP" /S --target "C:\\elsewhere" extra)
    [ "$rc" = 0 ] || fail "exit code $rc"
    expect_complete_run
    expect_no_box
    note "folder created with its missing parents, seven files, installer expanded and started"
    ;;

  second_run)
    fresh_temp
    [ "$(run_setup "$E2E_SETUP")" = 0 ] || fail "the first run failed"
    wait_for_log
    # Leave every file different and longer than it should be, then run again.
    for name in "${payload_names[@]}" Brannock.exe stage2.log; do
      head -c 300000 /dev/zero | tr '\0' 'x' >"$work/$name"
    done
    rm "$work/stage2.log"
    rc=$(run_setup "$E2E_SETUP")
    [ "$rc" = 0 ] || fail "exit code $rc on the second run"
    expect_complete_run
    note "second run replaced all files and started the installer again"
    ;;

  damaged_installer)
    fresh_temp
    mkdir -p "$work"
    cp "$E2E_STAGE2" "$work/Brannock.exe"  # a stale copy: it would write stage2.log if started
    rc=$(run_setup "$E2E_DAMAGED")
    [ "$rc" = 0 ] || fail "exit code $rc"
    expect_no_box
    expect_nothing_started
    [ ! -e "$work/Brannock.exe" ] || fail "a Brannock.exe is left in the working folder"
    expect_payload_rows 1 5
    expect_same "$E2E_DAMAGED_ROW6" "$work/Brannock.ex_" "row 6 (damaged)"
    expect_payload_rows 7 7
    note "damaged row 6: no installer, nothing started, no box, exit 0"
    ;;

  stale_in_use)
    # An older Brannock.exe that cannot be replaced because it is in use: the expansion fails,
    # and that old copy must not be started in place of the new one.
    fresh_temp
    mkdir -p "$work"
    cp "$E2E_STAGE2" "$work/Brannock.exe"
    "$E2E_WINE_RUN" "$E2E_HELPER" hold "$work_win\\Brannock.exe" >/dev/null 2>&1 &
    holder=$!
    release() {
      touch "$work/Brannock.exe.release"
      wait "$holder" || true
    }
    trap release EXIT
    for ((i = 0; i < 300; i++)); do [ -e "$work/Brannock.exe.held" ] && break; sleep 0.1; done
    [ -e "$work/Brannock.exe.held" ] || fail "the helper did not take hold of Brannock.exe"
    # While held, the old copy can still be started: so not starting it is the launcher's doing.
    (cd "$work" && timeout 60 "$E2E_WINE_RUN" Brannock.exe >/dev/null 2>&1) || fail "the held copy cannot be started"
    wait_for_log
    rm "$work/stage2.log"
    rc=$(run_setup "$E2E_SETUP")
    [ "$rc" = 0 ] || fail "exit code $rc"
    expect_no_box
    expect_nothing_started
    expect_same "$E2E_STAGE2" "$work/Brannock.exe" "the old copy in use"
    expect_payload_rows 1 7
    note "installer in use: expansion failed, the old copy was not started, exit 0"
    ;;

  missing_resource)
    fresh_temp
    timeout 120 "$E2E_WINE_RUN" "$E2E_MISSING" >/dev/null 2>&1 &
    setup=$!
    box=$(timeout 30 xdotool search --sync --onlyvisible --name "^$box_title\$" | head -n 1) ||
      fail "no window titled $box_title appeared"
    text=$("$E2E_WINE_RUN" "$E2E_HELPER" boxtext "$box_title" 2>/dev/null) || fail "cannot read the box's text"
    import -window root "$E2E_SCREENSHOT" 2>/dev/null || note "no screenshot taken"
    [[ "$text" =~ ^Exception\ EResNotFound\ im\ Modul\ BrannockSetup\.exe\ bei\ [0-9A-F]{8}\.$'\n'Ressource\ Test4\ nicht\ gefunden\.$ ]] ||
      fail "the box reads: $text"
    kill -0 "$setup" 2>/dev/null || fail "the setup program ended before the box was closed"
    timeout 10 xdotool windowfocus --sync "$box" key Return || fail "cannot press Return in the box"
    rc=0
    wait "$setup" || rc=$?
    [ "$rc" = 1 ] || fail "exit code $rc after the box was closed"
    expect_no_box
    expect_payload_rows 1 3
    for name in "${payload_names[@]:3}" Brannock.exe; do
      [ ! -e "$work/$name" ] || fail "$name was written after the failing row"
    done
    expect_nothing_started
    note "box shown ($(head -n 1 <<<"$text")), closed with Return, exit 1; screenshot $E2E_SCREENSHOT"
    ;;

  cleanup)
    wineserver -k >/dev/null 2>&1 || true
    ;;

  *)
    fail "unknown case"
    ;;
esac
