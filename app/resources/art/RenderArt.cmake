# Renders one picture at 1x and 2x, run as `cmake -P`: puts the design into
# its frame, gathers the look stylesheets into one and runs rsvg-convert.
#   RSVG     the rsvg-convert program
#   FRAME    the frame template, or empty when the design is a whole picture
#   DESIGN   the design (a fragment inside a frame, else a whole SVG document)
#   DEFS     paint definitions every frame and design may take in as @DEFS@
#   LOOKS    stylesheets, comma-separated, applied in this order
#   WIDTH, HEIGHT  the size in logical pixels; PARAM  free value for @PARAM@
#   OUTPUT   the 1x PNG; the 2x one is written beside it with "@2x"
cmake_minimum_required(VERSION 3.25)

foreach(var RSVG DESIGN DEFS LOOKS WIDTH HEIGHT OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "RenderArt: ${var} is not set")
  endif()
endforeach()

# Half of a pixel length, exact: centres of odd sizes fall on half pixels.
function(half value out)
  math(EXPR whole "${value} / 2")
  math(EXPR odd "${value} % 2")
  if(odd)
    set(${out} "${whole}.5" PARENT_SCOPE)
  else()
    set(${out} "${whole}" PARENT_SCOPE)
  endif()
endfunction()

file(READ "${DESIGN}" design)
file(READ "${DEFS}" defs)
if(FRAME)
  file(READ "${FRAME}" picture)
  string(REPLACE "@DESIGN@" "${design}" picture "${picture}")
else()
  set(picture "${design}")
endif()
string(REPLACE "@DEFS@" "${defs}" picture "${picture}")

set(W ${WIDTH})
set(H ${HEIGHT})
half(${W} CX)
half(${H} CY)
# Insets of the size, for outlines drawn inside the picture's edge.
foreach(inset 1 2 3 4 6 8)
  math(EXPR W${inset} "${W} - ${inset}")
  math(EXPR H${inset} "${H} - ${inset}")
endforeach()
string(CONFIGURE "${picture}" picture @ONLY)

get_filename_component(dir "${OUTPUT}" DIRECTORY)
get_filename_component(stem "${OUTPUT}" NAME_WE)
set(work "${dir}/.work/${stem}")
file(WRITE "${work}.svg" "${picture}")

set(style "")
string(REPLACE "," ";" looks "${LOOKS}")
foreach(look IN LISTS looks)
  file(READ "${look}" text)
  string(APPEND style "${text}")
endforeach()
file(WRITE "${work}.css" "${style}")

foreach(scale 1 2)
  math(EXPR w "${W} * ${scale}")
  math(EXPR h "${H} * ${scale}")
  if(scale EQUAL 1)
    set(out "${OUTPUT}")
  else()
    set(out "${dir}/${stem}@2x.png")
  endif()
  execute_process(
    COMMAND "${RSVG}" --stylesheet "${work}.css" --width ${w} --height ${h} --output "${out}" "${work}.svg"
    RESULT_VARIABLE result ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    file(REMOVE "${OUTPUT}" "${dir}/${stem}@2x.png")
    message(FATAL_ERROR "rsvg-convert failed on ${DESIGN}: ${error}")
  endif()
endforeach()
