# Shell helpers shared by the desktop cases on Linux and under Wine: the tray picture as it must
# look, made from the program's own XPM, and whether the docked icon shows it.

# globe_reference <globe header> <out.png> [marked]: the picture; "marked" adds the red mark of
# the failing state, a 5 by 5 square in the bottom right corner.
globe_reference() {
  local xpm=${2%.png}.xpm
  { echo '/* XPM */'; sed -n '/static const char\* const/,/};/p' "$1" | sed -e 's/static const char\* const/static char*/' -e 's/\\t/\t/'; } >"$xpm"
  if [ "${3:-}" = marked ]; then
    convert "$xpm" -fill red -draw 'rectangle 11,11 15,15' "$2"
  else
    convert "$xpm" "$2"
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
