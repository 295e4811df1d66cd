# The request log as a small library: lumora-schedsim and the scheduler's
# test both link it. The test's build includes this file too, so the library
# is there with -DLUMORA_BUILD_TOOLS=OFF; the guard defines it once.
include_guard(GLOBAL)
add_library(lumora_requestlog STATIC
  ${CMAKE_CURRENT_LIST_DIR}/requestlog.cpp ${CMAKE_CURRENT_LIST_DIR}/requestlog.h)
target_include_directories(lumora_requestlog PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(lumora_requestlog PUBLIC lumora_core)
