# Writes the bytes of INPUT as a C source that defines the array NAME, for
# firmware_tools_font(... C_ARRAY NAME); run at build time:
#   cmake -DINPUT=font.bin -DOUTPUT=font.c -DNAME=Font -P firmware-tools-c-array.cmake
# The page and the header-out recipe of doc/fonts.md write the same bytes:
# one glyph a line, its index and, where that is printable ASCII, its
# character in a comment; FIRMWARE_TOOLS_CODE chosen by the compiler's own
# macros, unless defined already.
cmake_minimum_required(VERSION 3.20)
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
if(size EQUAL 0)
  message(FATAL_ERROR "${INPUT}: an empty font")
endif()
# The glyphs as a list, 8 bytes an item (a last one may have fewer). CMake's
# regular expressions have no {8}: a pattern with it matches nothing.
string(REGEX REPLACE "(..)" "0x\\1, " bytes "${hex}")
string(REPEAT "0x.., " 8 glyph)
string(REGEX REPLACE "(${glyph})" "\\1;" glyphs "${bytes}")
set(lines "")
set(index 0)
foreach(glyph IN LISTS glyphs)
  if(glyph STREQUAL "")  # after the last whole glyph
    continue()
  endif()
  set(comment "${index}")
  if(index GREATER_EQUAL 32 AND index LESS_EQUAL 126)
    string(ASCII ${index} character)
    string(APPEND comment " '${character}'")
  endif()
  string(APPEND lines "  ${glyph}/* ${comment} */\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new" "\
/* ${NAME}: ${size} bytes, 8 a glyph, one glyph a line. */

/* Where the array goes: SDCC's 8051 ports keep it in code memory
   (__code), avr-gcc in flash (PROGMEM: read it with pgm_read_byte), any
   other compiler as a plain constant. A definition of your own wins
   (Keil C51: -DFIRMWARE_TOOLS_CODE=code). */
#ifndef FIRMWARE_TOOLS_CODE
#if defined(__SDCC_mcs51) || defined(__SDCC_ds390)
#define FIRMWARE_TOOLS_CODE __code
#elif defined(__AVR__)
#include <avr/pgmspace.h>
#define FIRMWARE_TOOLS_CODE PROGMEM
#else
#define FIRMWARE_TOOLS_CODE
#endif
#endif

FIRMWARE_TOOLS_CODE const unsigned char ${NAME}[${size}] = {
${lines}};
")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
