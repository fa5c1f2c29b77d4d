# The demo's session with the program, run by scripts/demo while the update
# service and the simulated watch are up. Prints every status it sees.
source "$KESTRUNE_ROOT/tests/e2e/e2e-lib.sh"
trap e2e_kill EXIT

e2e_install "$DEMO/app"
rm -rf "$(wine_documents_dir)/orvel kestrune"
echo "demo: starting \"orvel kestrune.exe\""
e2e_start "$DEMO/app" || { echo "demo: the dialog did not open"; exit 1; }

last=""
# Prints the status when it changes; true while the dialog is there.
follow() {
  local text
  text="$(probe dump "$CAPTION" | sed -n "s/^text.$IDC_STATUS=//p")" || return 1
  probe wait "$CAPTION" 0 || return 1
  if [ -n "$text" ] && [ "$text" != "$last" ]; then
    echo "status: $text"
    last="$text"
  fi
}

if [ "$HEADLESS" = 0 ]; then
  echo "demo: press \"Update Firmware\" in the dialog; close it to end the demo"
  while follow; do sleep 0.2; done
  exit 0
fi

for _ in $(seq 240); do
  follow
  case "$last" in 已取得更新資料|無法取得更新資料) break ;; esac
  sleep 0.25
done
shot 1-update-check
[ "$last" = "已取得更新資料" ] || { echo "demo: the update check failed"; exit 1; }
echo "demo: offered version $(field "text.$IDC_VERSION"); pressing \"Update Firmware\""
click_control "$IDC_UPDATE_FIRMWARE"
for _ in $(seq 1200); do
  follow
  case "$last" in
    正在取得更新檔|正在寫入更新檔|已取得更新資料) ;;
    *) break ;;
  esac
  sleep 0.1
done
shot 2-update-done
echo "demo: progress $(field progress.pos) of $(field progress.range | cut -d, -f2) blocks"
probe close "$CAPTION"
echo "demo: exit code $(e2e_wait_exit 20)"
[ "$last" = "更新完成" ]
