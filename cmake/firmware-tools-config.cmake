# find_package(firmware-tools 1.0 CONFIG REQUIRED) gives the imported
# executables firmware-tools::trivolta and firmware-tools::glyphrot, for
# add_custom_command in a firmware build.
include("${CMAKE_CURRENT_LIST_DIR}/firmware-tools-targets.cmake")
# firmware_tools_phase_table() and firmware_tools_font(), which make the
# table and the font with them.
include("${CMAKE_CURRENT_LIST_DIR}/firmware-tools-functions.cmake")
