# Writes a text file the way Windows programs read one: CR LF line ends, and
# a UTF-8 byte order mark before any text but groff's plain ASCII (without
# one, older Notepads take UTF-8 for the system's code page).
# With GROFF set, INPUT is a manual page and OUTPUT its plain-text rendering.
#   cmake -DINPUT=in -DOUTPUT=out [-DGROFF=/usr/bin/groff] -P text_file.cmake
if(GROFF)
  # Plain ASCII without overstriking: the zip is read in Notepad, not a pager.
  execute_process(
    COMMAND ${GROFF} -man -Tascii -P-c -P-b -P-o -P-u ${INPUT}
    OUTPUT_VARIABLE text
    ERROR_VARIABLE complaints
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT complaints STREQUAL "")
    message(FATAL_ERROR "groff cannot render ${INPUT}:\n${complaints}")
  endif()
  # A pager drops the blank lines around headers and footers; so does this.
  string(REGEX REPLACE "\n\n\n+" "\n\n" text "${text}")
  string(REGEX REPLACE "^\n+" "" text "${text}")
else()
  file(READ ${INPUT} text)
endif()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
if(NOT GROFF)
  string(ASCII 239 187 191 byte_order_mark)
  string(REGEX REPLACE "^${byte_order_mark}" "" text "${text}")
  set(text "${byte_order_mark}${text}")
endif()
file(WRITE ${OUTPUT} "${text}")
