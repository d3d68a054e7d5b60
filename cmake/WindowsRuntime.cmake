# What Tollgate.exe needs beside it on Windows: Qt's DLLs and plugins and the MinGW
# runtime. Copied into the build tree, so that the program and the tests run from there,
# and installed beside the program for the zip and the installer.
get_filename_component(qtPrefix "${Qt6_DIR}/../../.." ABSOLUTE)
set(qtLibraries Core Gui Widgets)
set(qtPlugins platforms/qwindows.dll styles/qwindowsvistastyle.dll imageformats/qico.dll)
set(runtimeFiles)
foreach(name IN LISTS qtLibraries)
    list(APPEND runtimeFiles "${qtPrefix}/bin/Qt6${name}.dll")
endforeach()
foreach(name libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "The MinGW runtime has no ${name}")
    endif()
    list(APPEND runtimeFiles "${path}")
endforeach()

foreach(file IN LISTS runtimeFiles)
    file(COPY "${file}" DESTINATION "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
    install(FILES "${file}" DESTINATION .)
endforeach()
foreach(plugin IN LISTS qtPlugins)
    if(NOT EXISTS "${qtPrefix}/plugins/${plugin}")
        continue()
    endif()
    get_filename_component(folder ${plugin} DIRECTORY)
    file(COPY "${qtPrefix}/plugins/${plugin}" DESTINATION "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${folder}")
    install(FILES "${qtPrefix}/plugins/${plugin}" DESTINATION ${folder})
endforeach()

if(TOLLGATE_TESTS)
    # Only the tests use these: QtTest and the windowless platform of the widget tests.
    file(COPY "${qtPrefix}/bin/Qt6Test.dll" DESTINATION "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
    if(EXISTS "${qtPrefix}/plugins/platforms/qoffscreen.dll")
        file(COPY "${qtPrefix}/plugins/platforms/qoffscreen.dll"
            DESTINATION "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/platforms")
    endif()
endif()
