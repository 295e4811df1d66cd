# lumora_copy_data_file(path): copies a committed data file beside the executables.
function(lumora_copy_data_file path)
  get_filename_component(fname ${path} NAME)
  set(out ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${fname})
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/${path} ${out}
    DEPENDS ${CMAKE_SOURCE_DIR}/${path})
  string(MAKE_C_IDENTIFIER ${fname} tgt)
  add_custom_target(copy_${tgt} ALL DEPENDS ${out})
endfunction()

# lumora_add_test(NAME name SOURCES src... [LIBS lib...] [LABELS label...]
#                 [DISPLAY] [TIMEOUT seconds] [ARGS arg...])
# A QtTest program in build/bin, run by CTest inside tests/isolate.sh with
# its own temporary HOME and XDG folders. Without DISPLAY it runs on the
# offscreen platform; with DISPLAY it uses the X display CTest runs under,
# never beside another such test: they share its pointer and its screen,
# and one's pointer moves or windows would take another's hover away.
# LABELS desktop marks a test that starts desktop programs (trayer, openbox,
# an X server of its own) which give no sign of being ready:
# scripts/run-tests.sh runs such a test once more when it fails, and no
# other test. ARGS go to the program (the test functions or rows to run).
function(lumora_add_test)
  cmake_parse_arguments(T "DISPLAY" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ARGS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE Qt5::Test ${T_LIBS})
  target_compile_definitions(${T_NAME} PRIVATE
    LUMORA_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    LUMORA_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  add_test(NAME ${T_NAME}
    COMMAND ${CMAKE_SOURCE_DIR}/tests/isolate.sh $<TARGET_FILE:${T_NAME}> ${T_ARGS})
  if(T_DISPLAY)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "LUMORA_TEST_QPA=xcb" RESOURCE_LOCK shared_x_display)
  endif()
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
  if(T_TIMEOUT)
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  endif()
endfunction()
