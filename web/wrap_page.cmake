# Writes Lumen.html: the page's template (page/lumen.html) with its styles and
# scripts put inline, the Worker's source (emscripten's lumen.js, the wasm
# inside it, and lumen_worker.js) as a text element that lumen_api.js starts
# from a Blob. One file: nothing beside it to fetch or to lose.
# Run as: cmake -DLUMEN_JS=... -DWEB_DIR=... -DOUTPUT=... -DMEMORY_MB=... -P wrap_page.cmake

# Inline text ends its element at the first "</script" or "</style" and
# changes how the rest is read after "<!--": none may hold either.
function(inline_text out file closing)
  file(READ "${file}" text)
  string(TOLOWER "${text}" lower)
  foreach(bad "</${closing}" "<!--")
    string(FIND "${lower}" "${bad}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${file} holds \"${bad}\", which cannot go inline in Lumen.html")
    endif()
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(READ "${WEB_DIR}/page/lumen.html" page)
foreach(placeholder "<!--LUMEN_STYLE-->" "<!--LUMEN_SCRIPTS-->")
  string(FIND "${page}" "${placeholder}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "web/page/lumen.html lacks the placeholder ${placeholder}")
  endif()
endforeach()

file(GLOB styles "${WEB_DIR}/page/*.css")
list(SORT styles)
set(style "<style>\n")
foreach(file IN LISTS styles)
  inline_text(text "${file}" style)
  string(APPEND style "${text}\n")
endforeach()
string(APPEND style "</style>")

set(memory "self.LUMEN_MEMORY_MB = ${MEMORY_MB};\n")
inline_text(module "${LUMEN_JS}" script)
inline_text(worker "${WEB_DIR}/lumen_worker.js" script)
inline_text(api "${WEB_DIR}/lumen_api.js" script)
set(scripts "<script type=\"text/plain\" id=\"lumen-worker-source\">\n${memory}${module}\n${worker}</script>\n<script>\n${memory}${api}\n")
file(GLOB page_scripts "${WEB_DIR}/page/*.js")
list(SORT page_scripts)
foreach(file IN LISTS page_scripts)
  inline_text(text "${file}" script)
  string(APPEND scripts "${text}\n")
endforeach()
string(APPEND scripts "</script>")

string(REPLACE "<!--LUMEN_STYLE-->" "${style}" page "${page}")
string(REPLACE "<!--LUMEN_SCRIPTS-->" "${scripts}" page "${page}")
file(WRITE "${OUTPUT}.tmp" "${page}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
