# Installs the documentation beside the programs, in the form each platform
# reads: gzipped man pages, the README with the guides of doc/ and their
# pictures, and a Debian copyright file and changelog on Linux; plain-text
# pages (CR LF) next to the .exe files on Windows, the guides among them.
set(man_pages ${PROJECT_SOURCE_DIR}/trivolta/trivolta.1 ${PROJECT_SOURCE_DIR}/glyphrot/glyphrot.1)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/firmware-tools)
file(GLOB guides CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/doc/*.md)

if(WIN32)
  find_program(GROFF groff)
  if(NOT GROFF)
    message(FATAL_ERROR "groff is needed to render the man pages as text for Windows (Debian: groff-base)")
  endif()
  # Each source and the text it becomes: man pages rendered, the rest copied.
  set(texts "")
  # README.txt is a page of its own for Windows users; README.md speaks of
  # Linux. The guides become fonts.txt, firmware.txt and so on.
  foreach(source IN LISTS man_pages guides ITEMS ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt ${PROJECT_SOURCE_DIR}/LICENSE)
    get_filename_component(name ${source} NAME_WE)
    get_filename_component(extension ${source} LAST_EXT)
    set(renderer "")
    if(extension STREQUAL ".1")
      set(renderer -DGROFF=${GROFF})
    endif()
    set(text ${CMAKE_BINARY_DIR}/doc/${name}.txt)
    add_custom_command(OUTPUT ${text}
      COMMAND ${CMAKE_COMMAND} ${renderer} -DINPUT=${source} -DOUTPUT=${text}
              -P ${PROJECT_SOURCE_DIR}/cmake/windows_text.cmake
      DEPENDS ${source} ${PROJECT_SOURCE_DIR}/cmake/windows_text.cmake
      VERBATIM)
    list(APPEND texts ${text})
  endforeach()
  add_custom_target(documentation ALL DEPENDS ${texts})
  install(FILES ${texts} DESTINATION ${CMAKE_INSTALL_BINDIR})
else()
  # gzip -n: no name or time stamp in the header, so the bytes depend on the
  # page alone.
  set(zipped "")
  foreach(page IN LISTS man_pages)
    get_filename_component(name ${page} NAME)
    set(zip ${CMAKE_BINARY_DIR}/doc/${name}.gz)
    add_custom_command(OUTPUT ${zip}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
      COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${page} ${zip}
      DEPENDS ${page}
      VERBATIM)
    list(APPEND zipped ${zip})
  endforeach()
  set(changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz)
  add_custom_command(OUTPUT ${changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${PROJECT_SOURCE_DIR}/packaging/changelog ${changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    VERBATIM)
  add_custom_target(documentation ALL DEPENDS ${zipped} ${changelog})
  install(FILES ${zipped} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${changelog} ${PROJECT_SOURCE_DIR}/README.md
    DESTINATION ${doc_dir})
  # In doc/ beside the README, as in the sources, so that the links between
  # the pages hold where they are installed. With the pictures, GTKWave's
  # save file for a table's VCD file, which firmware.md opens by this path.
  install(FILES ${guides} DESTINATION ${doc_dir}/doc)
  file(GLOB pictures CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/doc/images/*.png)
  install(FILES ${pictures} ${PROJECT_SOURCE_DIR}/doc/images/waveform.gtkw DESTINATION ${doc_dir}/doc/images)
endif()
