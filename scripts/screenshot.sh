#!/usr/bin/env bash
# Opens Trimora under Xvfb with a fresh home folder and a small sample site, agrees to the terms,
# presses Compress and saves a picture of the main window once the list is filled:
#   scripts/screenshot.sh [OUT.png]        (default: docs/screenshot.png)
# The real home folder is never touched: HOME and the XDG folders point into a temporary folder.
# TRIMORA_BUILD names the build folder to take the application from (default build/release).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/screenshot.png}")
build=${TRIMORA_BUILD:-build/release}

# Inside the X server (the script runs itself there): click through and take the picture.
shoot() {
  export HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_CONFIG_HOME="$home/.config"
  export XDG_DESKTOP_DIR="$home/Desktop" XDG_DOCUMENTS_DIR="$home/Documents"
  "$build/trimora" &
  app=$!
  trap 'kill "$app" 2>/dev/null || true' EXIT
  # The visible window of the application that is `1` pixels wide (terms 600, main window 800).
  window_of_width() {
    local id
    for id in $(xdotool search --onlyvisible --class trimora 2>/dev/null); do
      if xdotool getwindowgeometry "$id" 2>/dev/null | grep -q "Geometry: $1x"; then echo "$id"; return 0; fi
    done
    return 1
  }
  # wait_for WHAT COMMAND...: retries COMMAND for up to a minute.
  wait_for() {
    local what=$1; shift
    for _ in $(seq 600); do
      if "$@"; then return 0; fi
      kill -0 "$app" 2>/dev/null || { echo "screenshot: Trimora ended while waiting for $what" >&2; exit 1; }
      sleep 0.1
    done
    echo "screenshot: no $what after a minute" >&2
    exit 1
  }
  terms_shown() { terms=$(window_of_width 600); }
  main_shown() { main=$(window_of_width 800); }
  compressed() { [ -d "$home/Desktop/Harbour Bakery Compressed" ]; }
  wait_for "terms window" terms_shown
  xdotool windowfocus --sync "$terms"
  xdotool key Return  # "Agree" is the default button
  wait_for "main window" main_shown
  sleep 1
  xdotool windowfocus --sync "$main"
  xdotool key Return  # Compress is the default button once the site is shown
  wait_for "compressed copy" compressed
  sleep 3  # the rewrite of a handful of pages, with room to spare on a busy machine
  mkdir -p "$(dirname "$out")"
  import -window "$main" -strip -colors 128 "png8:$out"
}
if [ "${TRIMORA_SHOT_INSIDE:-}" = 1 ]; then
  home=$TRIMORA_SHOT_HOME
  shoot
  exit 0
fi

missing=()
for tool in xvfb-run:xvfb xdotool:xdotool import:imagemagick; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool##*:}")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ ! -x "$build/trimora" ]; then
  scripts/deps.sh
  scripts/build.sh "$build" -DCMAKE_BUILD_TYPE=Release >&2
fi

home=$(mktemp -d /tmp/trimora-shot-XXXXXX)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/Desktop" "$home/Documents" "$home/.local/share/Trimora" "$home/.config"

# The sample site, reopened at start as the last site compressed with Trimora.
site="$home/Documents/Harbour Bakery"
mkdir -p "$site/css" "$site/js" "$site/menu" "$site/img" "$site/_notes"
page() {  # page FILE TITLE
  cat >"$1" <<EOF
<!DOCTYPE html>
<html>
<head>
	<meta charset="utf-8">
	<title>$2</title>
	<link rel="stylesheet" href="/css/site.css">
	<style type="text/css">
		body   {  margin : 0 ;  }
	</style>
</head>
<!-- page body -->
<body>
	<div class="page">
		<h1>$2</h1>

		<p style="color : #333 ;  margin : 1em ;">Fresh   bread   every   morning.</p>


		<p>Open   daily   from   7   to   18.</p>
	</div>
	<script type="text/javascript">
		// greet the visitor
		var hello = "Welcome";   /* shown once */
	</script>
</body>
</html>
EOF
}
page "$site/index.html" "Harbour Bakery"
page "$site/about.html" "About us"
page "$site/contact.html" "Contact"
page "$site/menu/breads.html" "Breads"
page "$site/menu/cakes.html" "Cakes"
page "$site/_notes/draft.html" "Draft"
printf '/* colours */\nbody {\n\tcolor : #222 ;\n\tfont-family : Georgia, serif ;\n}\n\n\nh1 {\n\tfont-size : 2em ;\n}\n' >"$site/css/site.css"
printf '// menu toggle\nfunction toggle(el) {\n\t/* open or close */\n\tel.classList.toggle("open");\n}\n' >"$site/js/menu.js"
printf 'GIF89a' >"$site/img/logo.gif"
printf '1' >"$home/.local/share/Trimora/Allwaysopen.txt"
printf '%s' "$site" >"$home/.local/share/Trimora/Lastused.txt"

TRIMORA_SHOT_INSIDE=1 TRIMORA_SHOT_HOME="$home" TRIMORA_BUILD="$build" \
  xvfb-run -a -s "-screen 0 1024x640x24" "$0" "$out"
echo "saved $out" >&2
