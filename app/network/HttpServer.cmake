# The HTTP file server that hands firmware files to the Box. Plain C++ and
# POSIX on the kit; included from the application's network folder.
add_library(vellumo_httpserver STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CSocketClient.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CSocketServer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HttpServer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HttpServerObserver.cpp
)
target_include_directories(vellumo_httpserver PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(vellumo_httpserver PUBLIC vellumo_kit)
