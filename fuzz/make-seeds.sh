#!/usr/bin/env bash
# Seeds for the file targets, made at build time from the program folder the
# build assembled and from srec_cat (an independent writer of the formats).
#   make-seeds.sh <program folder> <seed folder>
# The reply targets' seeds come from fuzz_seeds (recorded on the simulator).
set -euo pipefail
run="$1"
out="$2"
mkdir -p "$out"/{image_file,family_file,ic_database,settings_store}

cp "$run"/zrvusb_?.usb "$out/family_file/"
cp "$run/All.usb" "$out/ic_database/"

# fuzz_image_file inputs: format byte, device byte, option byte, then the file.
# Formats: 0 Intel HEX, 1 S-records, 2 binary, 3 INHX8M, 4 INHX16, 5 JEDEC.
# Devices (image_file.cpp): plain 0 27C256, 1 27C1024, 3 28C64, 4 29F040,
# 6 24C16, 9 89S8252, 10 89E516RD; PIC 0 16F84A, 1 16F877A, 2 12F508,
# 6 16F1938, 8 18F452; PLD 0 GAL16V8.
seed() {  # seed <name> <header bytes as printf escapes> <output format> <srec_cat inputs>...
  local name="$1" header="$2" format="$3"
  shift 3
  # shellcheck disable=SC2086
  { printf "$header"; srec_cat "$@" -o - $format; } > "$out/image_file/$name"
}
data=(-generate 0 0x100 -repeat-string "Tesmar sample image ")
high=(-generate 0x7FF00 0x80000 -constant 0x5A)
words=(-repeat-data 0x00 0x11 0x22 0x33 0x44 0x55 0x66 0x77)
end=(-execution-start-address 0)  # an S9/S8/S7 end record
seed ihex-27C256         '\x00\x00\x01' -intel "${data[@]}"
seed ihex-27C256-oddeven '\x00\x00\x11' -intel "${data[@]}"
seed ihex-27C256-nofill  '\x00\x00\x00' -intel "${data[@]}"
seed ihex-27C256-offset  '\x00\x00\x05\x00\x01\x00\x00' -intel "${data[@]}"
seed ihex-27C256-minus   '\x00\x00\x0D\x10\x00\x00\x00' -intel -generate 0x10 0x40 -constant 0xA5
seed ihex-27C1024-seg    '\x00\x01\x01' "-intel -address-length=3" -generate 0x1F000 0x1F100 -constant 0x55
seed ihex-29F040-linear  '\x00\x04\x02' -intel "${data[@]}" "${high[@]}"
seed ihex-89S8252-ee     '\x00\x09\x03' -intel "${data[@]}" -generate 0x1000 0x1800 -constant 0x12
seed ihex-89E516RD       '\x00\x0A\x01' -intel -generate 0xFFF0 0x10010 -constant 0x77
seed srec-27C256-s19     '\x01\x00\x01' "-motorola -address-length=2" "${data[@]}" "${end[@]}"
seed srec-29F040-s28     '\x01\x04\x01' "-motorola -address-length=3" "${data[@]}" "${high[@]}" "${end[@]}"
seed srec-28C64-s37      '\x01\x03\x01' "-motorola -address-length=4" "${data[@]}" "${end[@]}"
seed srec-24C16-count    '\x01\x06\x01' "-motorola -enable=data-count" -generate 0 0x800 "${words[@]}" "${end[@]}"
seed bin-27C256          '\x02\x00\x01' -binary "${data[@]}"
seed bin-24C16-offset    '\x02\x06\x05\x00\x04\x00\x00' -binary -generate 0 0x400 "${words[@]}"
# PIC files: code words low byte first; IDs, configuration and data EEPROM at
# their usual INHX8M file addresses (mid-range 0x4000/0x400E/0x4200, enhanced
# 0x10000/0x1000E/0x1E000, PIC18 0x200000/0x300000/0xF00000); srec_cat's
# INHX16 halves them into word addresses.
mid=(-generate 0 0x80 -repeat-data 0x8C 0x30 -generate 0x4000 0x4008 -repeat-data 0x01 0x00
     -generate 0x400E 0x4010 -repeat-data 0xF1 0x3F -generate 0x4200 0x4280 -repeat-data 0x5A 0x00)
enhanced=(-generate 0 0x80 -repeat-data 0x8C 0x30 -generate 0x10000 0x10008 -repeat-data 0x02 0x00
          -generate 0x1000E 0x10012 -repeat-data 0xE4 0x3F -generate 0x1E000 0x1E040 -repeat-data 0x33 0x00)
pic18=(-generate 0 0x100 -repeat-data 0x12 0xEF -generate 0x200000 0x200008 -repeat-data 0x01 0x02 0x03 0x04
       -generate 0x300000 0x30000E -repeat-data 0x22 0x27 -generate 0xF00000 0xF00040 -constant 0x44)
seed inhx8m-16F84A       '\x03\x00\x01' -intel "${mid[@]}"
seed inhx8m-16F877A      '\x03\x01\x01' -intel "${mid[@]}" -generate 0x3FF0 0x4000 -repeat-data 0xFF 0x3F
seed inhx8m-12F508       '\x03\x02\x01' -intel -generate 0 0x40 -repeat-data 0x25 0x0C \
  -generate 0x1FFE 0x2000 -repeat-data 0xEA 0x0F
seed inhx8m-16F1938      '\x03\x06\x01' -intel "${enhanced[@]}"
seed inhx8m-18F452       '\x03\x08\x01' -intel "${pic18[@]}"
seed inhx16-16F84A       '\x04\x00\x01' -Intel_HeXadecimal_16 "${mid[@]}" -byte-swap 2
seed inhx16-18F452       '\x04\x08\x01' -Intel_HeXadecimal_16 -generate 0 0x100 -repeat-data 0x12 0xEF \
  -generate 0xFE00 0xFE0E -repeat-data 0x22 0x27 -generate 0x8400 0x8440 -constant 0x44 -byte-swap 2
# A JEDEC fuse file (STX, fields ending in '*', ETX, transmission checksum).
printf '\x05\x00\x01\x02*\nQP20*\nQF2194*\nF0*\nL0000 01010101010101010101010101010101*\nC0010*\n\x030000' \
  > "$out/image_file/jedec-GAL16V8"

# The settings store as the program writes it (a load folder starting with
# '@' and holding DEL and a non-ASCII name), as the earlier program wrote it
# (Qt's INI writer, a folder starting with '@'), and one with values of the
# wrong kind.
printf '# Tesmar settings\nRevNo=1052\nSoundON=1\nId_flag=1\nTest_flag=1\nMaxMin_flag=0\nProgBits=23\nManuf_index=2\nDevice_index=5\nTotal Programmed Last Time=17\nGrand Total Programmed=1234\nFile Type index=2\nFilename=zrvusb_m.usb\nPathLoadSave=@/home/user/Load\\x7F/jos\xc3\xa9\nDefaultDir=/opt/tesmar\nOffsetAdd=1\nOffset=256\n# end\n' \
  > "$out/settings_store/ours.conf"
cat > "$out/settings_store/written.conf" <<'EOF'
[General]
RevNo=1052
SoundON=1
Id_flag=1
Test_flag=1
MaxMin_flag=0
ProgBits=23
Manuf_index=2
Device_index=5
Total%20Programmed%20Last%20Time=17
Grand%20Total%20Programmed=1234
File%20Type%20index=2
Filename=zrvusb_m.usb
PathLoadSave=@@home/user/images
DefaultDir=/opt/tesmar
OffsetAdd=1
Offset=256
EOF
cat > "$out/settings_store/odd.conf" <<'EOF'
[General]
RevNo=999
SoundON=true
Id_flag=2
ProgBits=-1
Manuf_index=4294967295
Device_index=@Variant(\0\0\0\x7f\0\0\0\x1)
Filename="zrvusb_r.usb, zrvusb_e.usb"
PathLoadSave=\xe9t\xe9
Offset=0x10
EOF
