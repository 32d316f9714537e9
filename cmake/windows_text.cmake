# Writes INPUT as a text file a Windows user reads as it is: a man page
# rendered by GROFF as plain ASCII, or any other file copied; lines end in
# CR LF.
#   cmake [-DGROFF=groff] -DINPUT=page.1 -DOUTPUT=page.txt -P windows_text.cmake
if(GROFF)
  execute_process(COMMAND ${GROFF} -man -Tascii -P-c -P-b -P-o -P-u ${INPUT}
    OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "groff could not render ${INPUT}")
  endif()
else()
  file(READ ${INPUT} text)
endif()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
get_filename_component(folder ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
file(WRITE ${OUTPUT} "${text}")
