#!/usr/bin/env bash
# What setup.exe and uninstal.exe of a Windows build import, and what they
# carry: they must start on a bare Windows 95, so they import only Windows'
# own system DLLs (KERNEL32, USER32, GDI32, VERSION; no C runtime DLL such
# as msvcrt.dll) and of those only functions that Windows 95 has. The
# 32-bit build, the one the media ship, is also held to its sizes
# (setup.exe at most 64 KiB, uninstal.exe at most 48 KiB) and must carry no
# debug information and no unwind tables.
#
#   tests/windows_programs.sh WINDOWS_BIN
#
# Prints one line per check; exits non-zero when one failed.
set -uo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 WINDOWS_BIN" >&2
  exit 2
fi
bin=$1

# Every function the programs may import, by DLL: all of them exported by
# Windows 95's own DLLs (MoveFileExA there only fails, and the platform
# layer then deletes and renames instead). A new import belongs here only
# once it is known to exist on Windows 95.
declare -A allowed
allowed[KERNEL32.DLL]="CloseHandle CopyFileA CreateDirectoryA CreateMutexA
  CreateProcessA DeleteFileA DuplicateHandle ExitProcess FindClose
  FindFirstFileA FindNextFileA GetCommandLineA GetCurrentProcess
  GetDiskFreeSpaceA GetFileAttributesA GetLastError GetModuleFileNameA
  GetModuleHandleA GetPrivateProfileIntA GetStartupInfoA GetSystemDirectoryA
  GetTempFileNameA GetTempPathA GetWindowsDirectoryA GlobalAlloc GlobalFree
  GlobalLock GlobalUnlock MoveFileA MoveFileExA RemoveDirectoryA
  SetCurrentDirectoryA Sleep WaitForSingleObject WritePrivateProfileStringA
  _hread _hwrite _lclose _lcreat _llseek _lopen lstrcmpiA"
allowed[USER32.DLL]="BeginPaint BringWindowToTop CheckRadioButton
  CreateDialogParamA CreateWindowExA DdeClientTransaction DdeConnect
  DdeCreateStringHandleA DdeDisconnect DdeFreeDataHandle DdeFreeStringHandle
  DdeGetData DdeInitializeA DdeUninitialize DefWindowProcA DestroyWindow
  DialogBoxParamA DispatchMessageA DrawTextA EnableWindow EndDialog EndPaint
  FillRect FindWindowA GetClientRect GetDC GetDlgItem GetDlgItemTextA
  GetLastActivePopup GetMessageA GetSysColor GetSystemMetrics GetWindowRect
  InflateRect IsDialogMessageA IsDlgButtonChecked IsIconic LoadCursorA
  LoadIconA LoadStringA MessageBoxA PeekMessageA PostMessageA
  PostQuitMessage RegisterClassA ReleaseDC ScreenToClient SendMessageA
  SetActiveWindow SetDlgItemTextA SetWindowPos ShowWindow TranslateMessage
  UpdateWindow"
allowed[GDI32.DLL]="CreateSolidBrush DeleteObject ExtTextOutA GetStockObject
  PatBlt SelectObject SetBkColor SetBkMode SetTextColor"
allowed[VERSION.DLL]="GetFileVersionInfoA GetFileVersionInfoSizeA
  VerFindFileA VerQueryValueA"

passed=0
failed=0
check() {  # DESCRIPTION PROBLEMS: passes when PROBLEMS is empty
  if [[ -z "$2" ]]; then
    echo "ok   $1"
    passed=$((passed + 1))
  else
    echo "FAIL $1: $2"
    failed=$((failed + 1))
  fi
}

# The machine type in the PE header: 014c for i386, 8664 for x86-64.
pe_machine() {
  local offset
  offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}

for program in setup.exe uninstal.exe; do
  file=$bin/$program
  if [[ ! -f "$file" ]]; then
    check "$program" "not built in $bin"
    continue
  fi
  case $(pe_machine "$file") in
    014c) objdump=i686-w64-mingw32-objdump limit32=1 ;;
    8664) objdump=x86_64-w64-mingw32-objdump limit32= ;;
    *) check "$program" "not a Windows executable" && continue ;;
  esac
  # "DLL function" lines from the import table.
  imports=$("$objdump" -p "$file" | awk '
    /^\tDLL Name: / { dll = toupper($3) }
    dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll, $3 }
    /^$/ && dll != "" && seen { dll = "" }
    /^\tvma:/ { seen = 1 }')
  [[ -n "$imports" ]] || { check "$program imports" "none found"; continue; }
  dlls=$(echo "$imports" | awk '{print $1}' | sort -u)
  bad=
  for dll in $dlls; do
    [[ -n "${allowed[$dll]:-}" ]] || bad="$bad $dll"
  done
  check "$program imports only KERNEL32, USER32, GDI32, VERSION" "${bad# }"
  bad=
  while read -r dll function; do
    [[ -n "${allowed[$dll]:-}" ]] || continue
    [[ " $(echo ${allowed[$dll]}) " == *" $function "* ]] ||
      bad="$bad $dll!$function"
  done <<<"$imports"
  check "$program imports only functions of Windows 95" "${bad# }"
  if [[ -n "$limit32" ]]; then
    case $program in
      setup.exe) limit=65536 ;;
      *) limit=49152 ;;
    esac
    size=$(stat -c %s "$file")
    problem=
    ((size <= limit)) || problem="$size bytes"
    check "$program is at most $((limit / 1024)) KiB ($size bytes)" "$problem"
    sections=$("$objdump" -h "$file" |
      awk '$1 ~ /^[0-9]+$/ && $2 ~ /^\.(debug|eh_fram|zdebug)/ {print $2}' |
      tr '\n' ' ')
    check "$program carries no debug information or unwind tables" \
      "${sections% }"
  fi
done

echo "$passed passed, $failed failed"
((failed == 0))
