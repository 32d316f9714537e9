#include "c_array.h"

std::string cArraySource(const std::vector<std::uint8_t>& bytes, const std::string& name, std::size_t)
{
    const std::string size = std::to_string(bytes.size());
    std::string text = "/* " + name + ": " + size + " bytes, the font converted by firmware_tools_font. */\n" +
                       "\n"
                       "/* Where the array goes: SDCC's 8051 ports keep it in program memory;\n"
                       "   define FIRMWARE_TOOLS_CODE to choose (Keil C51: code). */\n"
                       "#ifndef FIRMWARE_TOOLS_CODE\n"
                       "#if defined(__SDCC_mcs51) || defined(__SDCC_ds390)\n"
                       "#define FIRMWARE_TOOLS_CODE __code\n"
                       "#else\n"
                       "#define FIRMWARE_TOOLS_CODE\n"
                       "#endif\n"
                       "#endif\n"
                       "\n"
                       "FIRMWARE_TOOLS_CODE const unsigned char " +
                       name + "[" + size + "] = {\n  ";
    const char digits[] = "0123456789abcdef";
    // Twelve bytes a line, each followed by a comma, the last one too.
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && i % 12 == 0)
            text += "\n  ";
        text += "0x";
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xF];
        text += ',';
    }
    return text + "\n};\n";
}
