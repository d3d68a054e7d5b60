# GNOME Shell extensions in the style of the shell they are built for: 40 to 44 load a
# script, 45 and later a module. Both are made from one body and a head of their style.
# TOLLGATE_GNOME_SHELL_STYLE picks one; by default the installed gnome-shell decides, and
# without one the script style of Debian 12's shell.
set(TOLLGATE_GNOME_SHELL_STYLE "" CACHE STRING "GNOME Shell extension style: legacy (40-44) or modules (45+)")
if(NOT TOLLGATE_GNOME_SHELL_STYLE)
    set(TOLLGATE_GNOME_SHELL_STYLE legacy)
    find_program(GNOME_SHELL gnome-shell)
    if(GNOME_SHELL)
        execute_process(COMMAND ${GNOME_SHELL} --version OUTPUT_VARIABLE shellVersion ERROR_QUIET TIMEOUT 10)
        if(shellVersion MATCHES "([0-9]+)\\." AND CMAKE_MATCH_1 GREATER_EQUAL 45)
            set(TOLLGATE_GNOME_SHELL_STYLE modules)
        endif()
    endif()
endif()
# The program enables its extension by this name.
set(TOLLGATE_GNOME_EXTENSION_UUID tollgate@tollgate.org)
set(gnomeTemplates ${CMAKE_SOURCE_DIR}/data/gnome)

# Writes OUTPUT/UUID/{extension.js,metadata.json} from BODY, whose class CLASS is the extension.
function(tollgate_gnome_extension)
    cmake_parse_arguments(ARG "" "UUID;NAME;DESCRIPTION;BODY;CLASS;OUTPUT" "" ${ARGN})
    file(READ ${ARG_BODY} TOLLGATE_EXTENSION_BODY)
    set(TOLLGATE_EXTENSION_CLASS ${ARG_CLASS})
    set(TOLLGATE_EXTENSION_UUID ${ARG_UUID})
    set(TOLLGATE_EXTENSION_NAME ${ARG_NAME})
    set(TOLLGATE_EXTENSION_DESCRIPTION ${ARG_DESCRIPTION})
    if(TOLLGATE_GNOME_SHELL_STYLE STREQUAL modules)
        set(TOLLGATE_EXTENSION_SHELL_VERSIONS "\"45\", \"46\", \"47\", \"48\", \"49\"")
    else()
        set(TOLLGATE_EXTENSION_SHELL_VERSIONS "\"40\", \"41\", \"42\", \"43\", \"44\"")
    endif()
    set(folder ${ARG_OUTPUT}/${ARG_UUID})
    configure_file(${gnomeTemplates}/extension-${TOLLGATE_GNOME_SHELL_STYLE}.js.in ${folder}/extension.js @ONLY)
    configure_file(${gnomeTemplates}/metadata.json.in ${folder}/metadata.json @ONLY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARG_BODY})
endfunction()
