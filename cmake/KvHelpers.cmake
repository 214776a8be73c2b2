# kv_add_test(NAME LABEL [DESKTOP] SOURCES ... [LIBS ...])
# One test program per module. Core tests link kvcore and the test support library only;
# a test labelled "gui" also links kvgui and runs on the offscreen platform, or, with DESKTOP,
# on an X server of its own under a window manager.
function(kv_add_test name label)
    cmake_parse_arguments(ARG "DESKTOP" "" "SOURCES;LIBS" ${ARGN})
    set(main ${PROJECT_SOURCE_DIR}/tests/support/TestMain.cpp)
    if(ARG_DESKTOP)
        set(main ${PROJECT_SOURCE_DIR}/tests/support/DesktopTestMain.cpp)
    endif()
    add_executable(${name} ${ARG_SOURCES} ${main})
    target_link_libraries(${name} PRIVATE kvtestsupport ${ARG_LIBS})
    if(label STREQUAL "gui")
        target_link_libraries(${name} PRIVATE kvgui)
        target_compile_definitions(${name} PRIVATE KV_GUI_TEST)
    endif()
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        LABELS ${label}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KV_BIN_DIR=${CMAKE_BINARY_DIR}/bin"
        TIMEOUT 900)
endfunction()
