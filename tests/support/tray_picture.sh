# Shell helpers shared by the desktop cases on Linux and under Wine: the tray picture as it must
# look, made from the program's own XPM, and whether the docked icon shows it.

# globe_reference <globe header> <out.png> [marked]: the picture; "marked" adds the red mark of
# the failing state, a 5 by 5 square in the bottom right corner.
globe_reference() {
  cmake -DHEADER="$1" -DICON="$2" -DCONVERT=convert -P "$(dirname "${BASH_SOURCE[0]}")/../../cmake/xpm_to_ico.cmake" ||
    return 1
  if [ "${3:-}" = marked ]; then
    convert "$2" -fill red -draw 'rectangle 11,11 15,15' "$2"
  fi
}

# icon_shows <geometry WxH+X+Y of the icon's window> <reference.png>: whether the window shows the
# reference pixel for pixel, wherever the host placed it inside.
icon_shows() {
  local shot=${2%.png}-shot.png
  import -window root -crop "$1" +repage "$shot" 2>/dev/null || return 1
  local result
  result=$(compare -metric AE -subimage-search "$shot" "$2" null: 2>&1) || true
  [[ $result == "0 "* || $result == "0" ]]
}
