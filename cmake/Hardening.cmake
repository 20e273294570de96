# Linux programs get the hardening that Debian's own packages carry: position
# independent executables (so the loader can place them anywhere), a
# read-only relocation table bound at start-up (RELRO with BIND_NOW), and the
# C library's checked variants of copies and reads where the buffer sizes are
# known (FORTIFY_SOURCE). FORTIFY and BIND_NOW go only into Release builds:
# the sanitizer and fuzz builds check more than they do, and FORTIFY's
# wrappers get in AddressSanitizer's way. The MinGW build, and macOS, whose
# linker knows none of these options, are left as they are.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

include(CheckPIESupported)
check_pie_supported(OUTPUT_VARIABLE pie_output LANGUAGES C CXX)
if(NOT CMAKE_CXX_LINK_PIE_SUPPORTED)
  message(STATUS "Left out: position independent executables (the linker does not make them)")
endif()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

# -U first: some compilers define their own level, and a second definition
# would be a warning in every file.
add_compile_options("$<$<CONFIG:Release>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
add_link_options("$<$<CONFIG:Release>:LINKER:-z,relro;LINKER:-z,now>")
