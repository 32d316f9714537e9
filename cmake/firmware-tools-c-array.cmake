# Writes the bytes of INPUT as a C source that defines the array NAME, for
# firmware_tools_font(... C_ARRAY NAME); run at build time:
#   cmake -DINPUT=font.bin -DOUTPUT=font.c -DNAME=Font -P firmware-tools-c-array.cmake
cmake_minimum_required(VERSION 3.20)
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
if(size EQUAL 0)
  message(FATAL_ERROR "${INPUT}: an empty font")
endif()
# Twelve bytes a line. (CMake's regular expressions have no {12}: a pattern
# with it matches nothing here, which left every byte on one line.)
string(REGEX REPLACE "(..)" "0x\\1," bytes "${hex}")
string(REPEAT "0x..," 12 line)
string(REGEX REPLACE "(${line})" "\\1\n  " bytes "${bytes}")
string(REGEX REPLACE "\n  $" "" bytes "${bytes}")
file(WRITE "${OUTPUT}.new" "\
/* ${NAME}: ${size} bytes, the font converted by firmware_tools_font. */

/* Where the array goes: SDCC's 8051 ports keep it in program memory;
   define FIRMWARE_TOOLS_CODE to choose (Keil C51: code). */
#ifndef FIRMWARE_TOOLS_CODE
#if defined(__SDCC_mcs51) || defined(__SDCC_ds390)
#define FIRMWARE_TOOLS_CODE __code
#else
#define FIRMWARE_TOOLS_CODE
#endif
#endif

FIRMWARE_TOOLS_CODE const unsigned char ${NAME}[${size}] = {
  ${bytes}
};
")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
