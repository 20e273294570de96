# What the packages carry beside the programs. On Linux: the manual pages and
# the changelog gzipped as Debian wants them (-9n: no name or time stamp, so
# the same sources give the same bytes), the README, the licence (not in the
# .deb) and a DEP-5 copyright file, and the lowercase names. On Windows: the README and the licence as .txt files with
# CR LF line ends, and each manual page rendered as text by groff.
set(SKINTOOLS_DOCUMENTS_DIR ${CMAKE_BINARY_DIR}/documents)
set(documents "")

# The manual pages carry the project's version; everything else is copied
# as it stands.
# One page per program that Packaging.cmake installs.
set(manual_pages ${programs})
foreach(page IN LISTS manual_pages)
  configure_file(${PROJECT_SOURCE_DIR}/doc/man/${page}.1 ${SKINTOOLS_DOCUMENTS_DIR}/${page}.1 @ONLY)
endforeach()

if(WIN32)
  set(text_script ${PROJECT_SOURCE_DIR}/cmake/windows/text_file.cmake)
  function(add_windows_text source output)
    add_custom_command(
      OUTPUT ${SKINTOOLS_DOCUMENTS_DIR}/${output}
      COMMAND ${CMAKE_COMMAND} -DINPUT=${source} -DOUTPUT=${SKINTOOLS_DOCUMENTS_DIR}/${output}
              ${ARGN} -P ${text_script}
      DEPENDS ${source} ${text_script}
      VERBATIM)
    install(FILES ${SKINTOOLS_DOCUMENTS_DIR}/${output} DESTINATION .)
    set(documents ${documents} ${SKINTOOLS_DOCUMENTS_DIR}/${output} PARENT_SCOPE)
  endfunction()

  add_windows_text(${PROJECT_SOURCE_DIR}/README.md README.txt)
  add_windows_text(${PROJECT_SOURCE_DIR}/LICENSE LICENSE.txt)
  find_program(SKINTOOLS_GROFF groff)
  if(SKINTOOLS_GROFF)
    foreach(page IN LISTS manual_pages)
      add_windows_text(${SKINTOOLS_DOCUMENTS_DIR}/${page}.1 ${page}.txt -DGROFF=${SKINTOOLS_GROFF})
    endforeach()
  else()
    message(STATUS "Left out: the manual pages in the zip (groff not found; Debian package groff-base)")
  endif()
else()
  set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/palm-skin-tools)
  find_program(SKINTOOLS_GZIP gzip)
  function(add_gzipped file destination)
    if(NOT SKINTOOLS_GZIP)
      return()
    endif()
    add_custom_command(
      OUTPUT ${file}.gz
      COMMAND ${SKINTOOLS_GZIP} -9nkf ${file}
      DEPENDS ${file}
      VERBATIM)
    install(FILES ${file}.gz DESTINATION ${destination})
    set(documents ${documents} ${file}.gz PARENT_SCOPE)
  endfunction()
  if(NOT SKINTOOLS_GZIP)
    message(STATUS "Left out: the manual pages and the changelog (gzip not found; Debian package gzip)")
  endif()

  foreach(page IN LISTS manual_pages)
    add_gzipped(${SKINTOOLS_DOCUMENTS_DIR}/${page}.1 ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()

  # A new version needs its entry in the changelog before it can be packaged.
  file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog newest LIMIT_COUNT 1)
  if(NOT newest MATCHES "^palm-skin-tools \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "cmake/debian/changelog has no entry for version ${PROJECT_VERSION} on top")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog ${SKINTOOLS_DOCUMENTS_DIR}/changelog
                 COPYONLY)
  add_gzipped(${SKINTOOLS_DOCUMENTS_DIR}/changelog ${docdir})

  # The copyright file quotes the licence's terms (its holders are in the
  # Copyright field), indented as DEP-5 wants, empty lines as " .".
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
  string(FIND "${licence}" "Permission is hereby granted" terms)
  string(SUBSTRING "${licence}" ${terms} -1 licence)
  string(REGEX REPLACE "\n+$" "" licence "${licence}")
  string(REPLACE "\n\n" "\n.\n" licence "${licence}")
  string(REPLACE "\n" "\n " SKINTOOLS_LICENSE_TEXT " ${licence}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/copyright.in ${SKINTOOLS_DOCUMENTS_DIR}/copyright
                 @ONLY)

  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${SKINTOOLS_DOCUMENTS_DIR}/copyright
          DESTINATION ${docdir})
  # The .deb leaves this out (Packaging.cmake): Debian keeps a licence in the
  # copyright file alone.
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${docdir} COMPONENT licence)

  # The names people type: each program also answers to its name in lower
  # case, with its manual page (man tessel). Links made here and installed
  # as links; only where names differ by case, never where tessel would be
  # Tessel itself (macOS, Windows).
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(links ${CMAKE_BINARY_DIR}/lowercase-names)
    file(MAKE_DIRECTORY ${links}/bin ${links}/man1)
    foreach(program IN LISTS programs)
      string(TOLOWER ${program} name)
      file(CREATE_LINK ${program} ${links}/bin/${name} SYMBOLIC)
      install(FILES ${links}/bin/${name} DESTINATION ${SKINTOOLS_INSTALL_BINDIR})
      if(SKINTOOLS_GZIP)
        file(CREATE_LINK ${program}.1.gz ${links}/man1/${name}.1.gz SYMBOLIC)
        install(FILES ${links}/man1/${name}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
      endif()
    endforeach()
  endif()
endif()

add_custom_target(documents ALL DEPENDS ${documents})
