#!/usr/bin/env bash
# What a program of the Windows kit keeps from others on the machine: a DLL
# planted beside it is never loaded, a child inherits no handle but the
# standard ones, and the scratch directory cannot be renamed under the
# launcher. Windows build only (Wine); each test passes over Linux.
source "$(dirname "$0")/lib.sh"

TS=2026-09-10_11-12-13AM

windows_only() { [ "$QEL_KIND" = wine ] || { echo "    (skipped: Windows only)"; return 1; }; }

test_a_dll_planted_beside_the_launcher_is_not_loaded() {
  windows_only || return 0
  # A message box makes the system load uxtheme.dll. Wine prefers its own
  # DLLs; told to take a native one first, it searches as Windows does.
  make_dist "$WORK/dist"
  cp "$QEL_BIN_DIR/planted.dll" "$WORK/dist/uxtheme.dll"
  write_param "$WORK/dist/qelparam.ini" "INSTALL_CLASS=demo.Main" "JRE_LOCATION=$(native_path "$WORK/no-jre")"
  WINEDLLOVERRIDES=uxtheme=n,b run_setup "$WORK/dist" -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc -1
  expect_absent "$WORK/dist/uxtheme.dll.loaded"
}

test_every_program_of_the_kit_restricts_its_dll_search() {
  windows_only || return 0
  # Neither the unzip tool nor the checker loads a DLL by name under Wine,
  # so its relay trace shows the call itself.
  make_dist "$WORK/dist"
  cp "$QEL_BIN_DIR/qelcheck.exe" "$WORK/dist/"
  wine_reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /d 'kernel32.SetDefaultDllDirectories;kernelbase.SetDefaultDllDirectories' /f
  local program
  for program in setup.exe unzip.exe qelcheck.exe; do
    (cd "$WORK/dist" && WINEDEBUG=+relay wine "$program" -HELP </dev/null >/dev/null 2>"$WORK/trace")
    grep -qi 'Call [a-z0-9]*.SetDefaultDllDirectories(00000800)' "$WORK/trace" ||
      fail "$program: $(grep -m1 SetDefaultDllDirectories "$WORK/trace")"
  done
  wine_reg delete 'HKCU\Software\Wine\Debug' /v RelayInclude /f
}

test_the_programs_import_only_dlls_the_system_loads_from_system32() {
  windows_only || return 0
  # The loader looks for an imported DLL beside the program first, unless it
  # is one of the system's known DLLs. The linker here (binutils 2.40) cannot
  # set the flag that would restrict that search, so every import must be
  # one of those.
  python3 - "$QEL_BIN_DIR"/setup.exe "$QEL_BIN_DIR"/unzip.exe "$QEL_BIN_DIR"/qelcheck.exe >"$WORK/imports" <<'PY'
import struct, sys
KNOWN = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll", "ntdll.dll"}
for path in sys.argv[1:]:
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    directories = optional + (96 if struct.unpack_from("<H", data, optional)[0] == 0x10B else 112)
    table = [struct.unpack_from("<IIIII", data, pe + 24 + optional_size + 40 * i + 8)[0:5] for i in range(sections)]
    def offset(rva):
        for size, address, raw_size, raw, _ in table:
            if address <= rva < address + max(size, raw_size):
                return rva - address + raw
        raise ValueError(rva)
    entry = offset(struct.unpack_from("<I", data, directories + 8)[0])
    while True:
        name_rva = struct.unpack_from("<I", data, entry + 12)[0]
        if name_rva == 0:
            break
        name = data[offset(name_rva):].split(b"\0")[0].decode().lower()
        if name not in KNOWN:
            print(path, name)
        entry += 20
PY
  expect_eq "$(cat "$WORK/imports")" "" "imports beside the known DLLs"
}

test_children_inherit_only_the_standard_handles() {
  windows_only || return 0
  # The unzip child starts while the actions log is open; here it is the
  # fake Java program, which records every file it inherited.
  make_dist "$WORK/medium/install"
  cp "$QEL_BIN_DIR/fakejava.exe" "$WORK/medium/install/unzip.exe"
  mkjar "$WORK/medium/stage/Components/quelta.swd.qti/1.0/1/DataFiles/qti.jar" "qti/a.txt=a"
  write_param "$WORK/medium/install/qelparam.ini" "DISTRIBUTION=TRUE" "BOOTSTRAP=TRUE" \
    "INSTALL_CLASS=demo.Main" "BOOTSTRAP_COMPS=quelta.swd.qti" "JRE_LOCATION=$(native_path "$WORK/no-jre")"
  run_in "$WORK/medium/install" "$WORK/medium/install/setup" -rtimestamp $TS -BOOTSTRAPONLY \
    "BOOTSTRAP_LOC=$(native_path "$WORK/target")"
  expect_file_has "$WORK/medium/install/fakejava.log" "end"
  expect_eq "$(plain "$WORK/medium/install/fakejava.log" | grep '^inherited=')" "" "handles the unzip child inherited"

  # The installer, with its output redirected (a standard handle it takes).
  make_product "$WORK/prod"
  run_setup "$WORK/prod/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc 0
  expect_file_has "$WORK/prod/jre/bin/fakejava.log" "end"
  expect_eq "$(plain "$WORK/prod/jre/bin/fakejava.log" | grep '^inherited=')" "" "handles the installer inherited"
}

test_the_scratch_directory_cannot_be_renamed_while_the_launcher_runs() {
  windows_only || return 0
  # Whatever others may do in the temp root, the directory the installer
  # runs from keeps its name: the installer itself (a program with the
  # launcher's rights) tries to move it while the launcher waits for it.
  make_product "$WORK"
  touch "$WORK/jre/bin/fakejava.rename"
  run_setup "$WORK/dist" -SILENT -rtimestamp $TS -SCRATCHPATH "$(native_path "$WORK/scratch")"
  expect_rc 0
  expect_file_has "$WORK/jre/bin/fakejava.log" "rename=32"  # ERROR_SHARING_VIOLATION
  expect_absent "$WORK/scratch/QelInstall$TS.moved"
  # Let go of before its removal.
  expect_absent "$WORK/scratch/QelInstall$TS"
}

e2e_main "$@"
