#!/bin/sh
# Dev tool: print each sprite's size (via ImageMagick `identify`) and exit
# non-zero if any file is missing or differs from the expected size table.
cd "$(dirname "$0")" || exit 2
status=0
check() {  # file expected(WxH)
  if [ ! -f "$1" ]; then
    echo "MISSING  $1 (expected $2)"; status=1; return
  fi
  got=$(identify -format '%wx%h' "$1" 2>/dev/null)
  if [ "$got" = "$2" ]; then
    echo "ok       $1 $got"
  else
    echo "MISMATCH $1 $got (expected $2)"; status=1
  fi
}
check walk_1.xpm 18x21
check walk_2.xpm 19x21
check walk_3.xpm 15x21
check walk_4.xpm 18x22
check walk_5.xpm 18x21
check walk_6.xpm 19x21
check walk_7.xpm 15x21
check walk_8.xpm 18x22
for i in 1 2 3 4 5 6; do check fall_$i.xpm 32x32; done
for i in 1 2 3 4 5 6 7 8 9 10; do check idle_$i.xpm 31x25; done
check icon_48.xpm 48x48
[ $status -eq 0 ] && echo "all sizes OK" || echo "SIZE CHECK FAILED"
exit $status
