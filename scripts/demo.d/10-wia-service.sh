# STOPWIA and STARTWIA on Wine's real "stisvc".
echo "== STOPWIA / STARTWIA: the WIA service \"stisvc\""
wine sc start stisvc >/dev/null 2>&1 || true
wait_for_state stisvc RUNNING
echo "stisvc before STOPWIA: $(service_state stisvc)"
torvane STOPWIA
echo "stisvc after STOPWIA:  $(service_state stisvc)"
torvane STARTWIA
wait_for_state stisvc RUNNING
echo "stisvc after STARTWIA: $(service_state stisvc)"
