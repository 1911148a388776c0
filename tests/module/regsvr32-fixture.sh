#!/bin/sh
# Registers Korvel.dll with Wine's regsvr32, as an installer would, after
# removing what an earlier run left, and checks that the keys are back.
# Usage: regsvr32-fixture.sh <path of Korvel.dll>
set -eu
dll="Z:$(printf '%s' "$1" | tr / '\\')"
class='HKCR\CLSID\{30F4085C-B3FD-4F01-B6B6-DEC72F65CED5}'
progid='HKCR\Korvel.ModbusRtuDEC'

wine reg delete "$class" /f >/dev/null 2>&1 || true
wine reg delete "$progid" /f >/dev/null 2>&1 || true
wine regsvr32 /s "$dll"
wine reg query "$class\\InprocServer32" | grep -qiF "$dll"
wine reg query "$progid\\CLSID" | grep -qF '{30F4085C-B3FD-4F01-B6B6-DEC72F65CED5}'
