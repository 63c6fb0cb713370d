#!/bin/bash
# Static checks of the 32-bit (i686) Windows modules. Our machines cannot run 32-bit code, so
# what can go wrong in the build is checked in the files themselves: their behaviour is that of
# the same source in the 64-bit build, which the Windows tests run.
#   - PE32 images for i386;
#   - exports by name: the installer helper's six actions undecorated (the installer looks them
#     up by plain name), the filter's four Dll* entries undecorated and nothing else (COM and
#     regsvr32 look them up; the decoder library inside is not exported);
#   - imports from Windows system DLLs only: no libstdc++, libgcc or winpthread DLL to ship;
#   - SSE and AVX registers only in the SSE2 and AVX2 kernels, each level chosen at run time
#     (its chooser reads the processor model that cpuid fills), every kernel with its scalar
#     twin: the modules load on any i686 processor, so the filter can warn and the helper's
#     processor check answer 0 where SSE2 is missing, instead of crashing.
# Usage: check_modules.sh BIN-FOLDER
set -u
bin=$1
objdump=i686-w64-mingw32-objdump
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|comctl32|version|msvcrt|ws2_32|winmm)\.dll$'

exports() {  # the exported names, one a line
  $objdump -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p'
}

# The functions whose code uses an SSE or AVX register, one a line.
functions_using_simd() {
  $objdump -d --no-show-raw-insn -C "$1" |
    awk '/^[0-9a-f]+ <.*>:$/ { name = $0; sub(/^[0-9a-f]+ </, "", name); sub(/>:$/, "", name); next }
         /^[[:space:]]*[0-9a-f]+:/ && /%[xyz]mm/ { count[name]++ }
         END { for (name in count) print name }' | grep -v '^\.' | sort
}

for module in halvarisDecoder.ax TorvekInstallHelper.dll Tapwright.exe halvaris-decode.exe; do
  file=$bin/$module
  [ -f "$file" ] || { fail "$module was not built"; continue; }
  $objdump -f "$file" | grep -q 'file format pei-i386' || fail "$module is not an i386 PE image"
  $objdump -p "$file" | grep -Eq '^Magic[[:space:]]+010b[[:space:]]+\(PE32\)' ||
    fail "$module is not PE32"
  while read -r dll; do
    echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$system_dlls" || fail "$module imports $dll"
  done < <($objdump -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
done

helper_exports=$(exports "$bin/TorvekInstallHelper.dll" | sort | tr '\n' ' ')
[ "$helper_exports" = "CompleteCodecInstall CompleteCodecUnInstall CompleteHalvarisInstall CompleteHalvarisUninstall RegisterHalvarisVegas90 VerifyCPU " ] ||
  fail "TorvekInstallHelper.dll exports: $helper_exports"
filter_exports=$(exports "$bin/halvarisDecoder.ax")
# Exactly the COM entries: the decoder library inside is not exported.
[ "$(echo "$filter_exports" | sort | tr '\n' ' ')" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ] ||
  fail "halvarisDecoder.ax exports: $(echo "$filter_exports" | tr '\n' ' ')"
decorated=$(echo "$filter_exports" | grep -E '^_|@' | tr '\n' ' ')
[ -z "$decorated" ] || fail "halvarisDecoder.ax exports decorated names: $decorated"

for module in halvarisDecoder.ax halvaris-decode.exe; do
  file=$bin/$module
  symbols=$(i686-w64-mingw32-nm -C "$file")
  using=$(functions_using_simd "$file")
  others=$(echo "$using" | grep -v -E '^halvaris::[A-Za-z0-9]+(Sse2|Avx2)\(' | tr '\n' ';')
  [ -z "$others" ] || fail "$module: SSE or AVX registers used outside the kernels: $others"
  echo "$using" | grep -q 'Sse2(' || fail "$module has no SSE2 kernel"
  echo "$using" | grep -q 'Avx2(' || fail "$module has no AVX2 kernel"
  # Each kernel has its scalar twin, which a processor without the instructions runs.
  for kernel in $(echo "$symbols" | sed -n 's/^[0-9a-f]* T halvaris::\([A-Za-z0-9]*\)\(Sse2\|Avx2\)(.*/\1/p' | sort -u); do
    echo "$symbols" | grep -q " T halvaris::${kernel}Scalar(" || fail "$module lacks ${kernel}Scalar"
  done
  # Each level's chooser reads __cpu_model, which __builtin_cpu_supports fills from cpuid.
  model=$(echo "$symbols" | awk '$3 == "__cpu_model" { print $1 }')
  for chooser in Sse2Dsp Avx2Dsp; do
    reads_model=0
    if [ -n "$model" ]; then
      for operand in $($objdump -d --no-show-raw-insn -C "$file" |
        awk -v header="<halvaris::$chooser()>:" '$2 == header { inside = 1; next } /^[0-9a-f]+ </ { inside = 0 }
             inside' | grep -o '0x[0-9a-f]*'); do
        offset=$((operand - 16#$model))
        [ "$offset" -ge 0 ] && [ "$offset" -lt 16 ] && reads_model=1
      done
    fi
    [ "$reads_model" -eq 1 ] || fail "$module: $chooser does not check the processor at run time"
  done
done
for module in TorvekInstallHelper.dll Tapwright.exe; do
  using=$(functions_using_simd "$bin/$module" | tr '\n' ';')
  [ -z "$using" ] || fail "$module uses SSE or AVX registers in: $using"
done

[ "$failures" -eq 0 ] && echo "i686 modules: PE32, undecorated exports, system imports only, SIMD kernels chosen at run time"
exit "$failures"
