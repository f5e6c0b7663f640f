# Settings every target of ours shares: warnings as errors and the output folder.
function(quadrell_target target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

function(quadrell_executable target)
    quadrell_target(${target})
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endfunction()

# One QtTest executable per area, registered with CTest.
function(quadrell_test target)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${target} ${ARG_SOURCES})
    quadrell_target(${target})
    target_link_libraries(${target} PRIVATE Qt6::Test ${ARG_LIBS})
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# A test that needs a display: it runs on a private Xvfb screen with Mesa's
# software renderer, so it works on machines without one.
function(quadrell_gui_test target)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${target} ${ARG_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/keepgldriver.cpp)
    quadrell_target(${target})
    target_link_libraries(${target} PRIVATE Qt6::Test ${ARG_LIBS} ${CMAKE_DL_LIBS})
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${target}
        COMMAND xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" $<TARGET_FILE:${target}>)
    # libdbus, which the xcb platform loads, keeps a buffer for the life of
    # the process: not ours to free.
    set_tests_properties(${target} PROPERTIES LABELS window
        ENVIRONMENT "QT_QPA_PLATFORM=xcb;LIBGL_ALWAYS_SOFTWARE=1;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/support/lsan.supp")
endfunction()
