#!/usr/bin/env bash
# Brings the program's catalogues (resources/translations/lumora_*.ts) up to
# date with the texts of the sources. New texts arrive unfinished: translate
# them (Qt Linguist or by hand) before committing; the catalogue test fails
# while any text of the program is missing or unfinished.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
LUPDATE="${LUPDATE:-lupdate}"
dirs=()
for d in app core gui net crash; do
  [ -d "$d" ] && dirs+=("$d")
done
"$LUPDATE" -locations none -extensions cpp,h,ui "${dirs[@]}" \
  -ts resources/translations/lumora_cs_CZ.ts resources/translations/lumora_de_DE.ts \
      resources/translations/lumora_sk_SK.ts
