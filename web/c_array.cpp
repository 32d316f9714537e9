#include "c_array.h"

std::string cArraySource(const std::vector<std::uint8_t>& bytes, const std::string& name, std::size_t firstGlyph)
{
    const std::string size = std::to_string(bytes.size());
    std::string text = "/* " + name + ": " + size + " bytes, 8 a glyph, one glyph a line. */\n" +
                       "\n"
                       "/* Where the array goes: SDCC's 8051 ports keep it in code memory\n"
                       "   (__code), avr-gcc in flash (PROGMEM: read it with pgm_read_byte), any\n"
                       "   other compiler as a plain constant. A definition of your own wins\n"
                       "   (Keil C51: -DFIRMWARE_TOOLS_CODE=code). */\n"
                       "#ifndef FIRMWARE_TOOLS_CODE\n"
                       "#if defined(__SDCC_mcs51) || defined(__SDCC_ds390)\n"
                       "#define FIRMWARE_TOOLS_CODE __code\n"
                       "#elif defined(__AVR__)\n"
                       "#include <avr/pgmspace.h>\n"
                       "#define FIRMWARE_TOOLS_CODE PROGMEM\n"
                       "#else\n"
                       "#define FIRMWARE_TOOLS_CODE\n"
                       "#endif\n"
                       "#endif\n"
                       "\n"
                       "FIRMWARE_TOOLS_CODE const unsigned char " +
                       name + "[" + size + "] = {\n";
    const char digits[] = "0123456789abcdef";
    for (std::size_t start = 0; start < bytes.size(); start += 8) {
        text += ' ';
        for (std::size_t i = start; i < bytes.size() && i < start + 8; ++i)
            text += std::string(" 0x") + digits[bytes[i] >> 4] + digits[bytes[i] & 0xF] + ',';
        const std::size_t glyph = firstGlyph + start / 8;
        text += " /* " + std::to_string(glyph);
        if (glyph >= 32 && glyph <= 126)  // printable ASCII
            text += std::string(" '") + static_cast<char>(glyph) + "'";
        text += " */\n";
    }
    return text + "};\n";
}
