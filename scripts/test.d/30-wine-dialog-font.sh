# Sourced by scripts/test: the dialog's font (Arial) falls back to a CJK
# font in the prefix, so that the Traditional Chinese status texts render.
"$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
  /v Arial /t REG_MULTI_SZ /d 'wqy-zenhei.ttc,WenQuanYi Zen Hei' /f </dev/null >/dev/null
