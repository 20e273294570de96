# Installing and packaging: the programs in bin/ and their documents
# (cmake/Documents.cmake); a .tar.gz and a .deb on Linux, a .zip on Windows,
# where the programs and their documents sit side by side in one folder.
include(GNUInstallDirs)

if(WIN32)
  set(SKINTOOLS_INSTALL_BINDIR .)
else()
  set(SKINTOOLS_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
endif()
set(SKINTOOLS_MAINTAINER "Palm skin tools <palm-skin-tools@users.noreply.invalid>")

set(programs Tessel Recast)
if(TARGET Lumen)
  list(APPEND programs Lumen)
endif()
install(TARGETS ${programs} RUNTIME DESTINATION ${SKINTOOLS_INSTALL_BINDIR})
# strip keeps the compiler's .comment section (its version string), which a
# program has no use for; it goes after the strip that packaging asks for.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_OBJCOPY)
  foreach(program IN LISTS programs)
    install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${SKINTOOLS_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${program}>\"
      COMMAND_ERROR_IS_FATAL ANY)")
  endforeach()
endif()

include(cmake/Documents.cmake)

# Lumen.html, the workbench as one web page, comes from the web preset's
# build (cmake --workflow --preset web): beside the programs in the zip,
# among the package's data on Linux. A package without it is refused when it
# is made, not built quietly without it.
set(SKINTOOLS_WEB_PAGE ${PROJECT_SOURCE_DIR}/build-web/Lumen.html CACHE FILEPATH
    "Lumen.html as the web preset builds it, for the packages")
if(WIN32)
  set(web_page_dir .)
else()
  set(web_page_dir ${CMAKE_INSTALL_DATADIR}/palm-skin-tools)
endif()
install(CODE "if(NOT EXISTS \"${SKINTOOLS_WEB_PAGE}\")
  message(FATAL_ERROR \"${SKINTOOLS_WEB_PAGE} is missing: the packages carry Lumen.html; \"
                      \"build it first with: cmake --workflow --preset web\")
endif()")
install(FILES ${SKINTOOLS_WEB_PAGE} DESTINATION ${web_page_dir})
# lintian takes any .html outside /usr/share/doc for documentation.
if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME palm-skin-tools)
endif()

set(CPACK_PACKAGE_NAME palm-skin-tools)
set(CPACK_PACKAGE_VENDOR "Palm skin tools")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Tools that compress, convert and inspect Palm OS handheld skins")
set(CPACK_PACKAGE_DESCRIPTION
    "Three command-line programs for skins of Palm OS handhelds (Palm resource
databases, .prc files). Tessel compresses the bitmaps of a skin into the
containers that the handheld loads. Recast converts a T3 status-bar skin or
a Wi-Fi skin to the Orvane format in place. Lumen lists what a skin holds,
checks every bitmap and container in it, exports its bitmaps as PNG files
with a contact sheet, builds a skin from PNG files and a manifest, replaces
one bitmap with an edited image, and unpacks compressed bitmaps again.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# Archives unpack into one folder named after the package and its version.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ DEB)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SKINTOOLS_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Derives the package's dependencies (libc, libstdc++) from the programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Settings that differ by generator: the .deb leaves out the licence file.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/PackageByGenerator.cmake)
include(CPack)
