# The application's core (every target under app/ but the windows in app/ui/,
# the program and the setup page's module) links downwards only: no widgets,
# and nothing of the device library but its public header, which the
# program reaches through dlopen. Fails naming each crossing.
#
#   cmake -DGRAPH=<link-graph.cmake> [-DEXTRA_LINK=<target>=<link>] -P CheckLayers.cmake
#
# EXTRA_LINK adds one link to the graph first, so that a test can show that
# the check catches it.
cmake_policy(SET CMP0057 NEW)
include(${GRAPH})
if(EXTRA_LINK MATCHES "^([^=]+)=(.+)$")
  list(APPEND GRAPH_LINKS_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
endif()

set(forbidden_imported Qt6::Widgets Qt6::WebEngineWidgets Qt6::WebEngineCore)
set(exempt vellumo vellumo-remote-page)

function(is_core target out)
  set(folder "${GRAPH_FOLDER_${target}}")
  if(folder MATCHES "^app(/|$)" AND NOT folder MATCHES "^app/ui(/|$)" AND NOT target IN_LIST exempt)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

function(is_forbidden link out)
  if(link IN_LIST forbidden_imported OR "${GRAPH_FOLDER_${link}}" MATCHES "^library(/|$)")
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

set(crossings)
foreach(target IN LISTS GRAPH_TARGETS)
  is_core(${target} core)
  if(NOT core)
    continue()
  endif()
  # Breadth first over the project's own targets; each path is kept for the
  # message.
  set(queue ${target})
  set(seen ${target})
  set(path_${target} ${target})
  while(queue)
    list(POP_FRONT queue current)
    foreach(link IN LISTS GRAPH_LINKS_${current})
      if(link IN_LIST seen)
        continue()
      endif()
      list(APPEND seen ${link})
      set(path_${link} "${path_${current}} -> ${link}")
      is_forbidden(${link} bad)
      if(bad)
        list(APPEND crossings "${path_${link}}")
      elseif(DEFINED GRAPH_FOLDER_${link})
        list(APPEND queue ${link})
      endif()
    endforeach()
  endwhile()
endforeach()

if(crossings)
  list(JOIN crossings "\n  " text)
  message(FATAL_ERROR "The application core links upwards or into the library:\n  ${text}")
endif()
message(STATUS "The application core links downwards only.")
