# atalaia_library(<name> FOLDER <folder> [DEPENDS <libraries>...] [QT <Qt targets>...] [EXCLUDE <files>...])
#
# One static library per source folder, built from the folder's *.cpp and *.h
# (less the files EXCLUDE names, such as an executable's main.cpp).
# The folders form layers: a library depends only on libraries defined before
# it (so no two can include each other, directly or through others), and every
# header it includes from another folder ("clients/ClientRegistry.h") must
# belong to a library it names in DEPENDS. Either rule broken stops the
# configuration, so a new cycle or a hidden dependency fails the build.
define_property(TARGET PROPERTY ATALAIA_FOLDER BRIEF_DOCS "source folder" FULL_DOCS "source folder of a library")

function(atalaia_library name)
    cmake_parse_arguments(ARG "" "FOLDER" "DEPENDS;QT;EXCLUDE" ${ARGN})
    set(allowed ${ARG_FOLDER})
    foreach(dependency ${ARG_DEPENDS})
        if(NOT TARGET ${dependency})
            message(FATAL_ERROR "${name} depends on ${dependency}, which is not a library below it")
        endif()
        get_target_property(folder ${dependency} ATALAIA_FOLDER)
        list(APPEND allowed ${folder})
    endforeach()

    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    foreach(excluded ${ARG_EXCLUDE})
        list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
    endforeach()
    foreach(source ${sources})
        file(STRINGS ${source} includes REGEX "^#include \"[a-z]+(/ui)?/")
        foreach(line ${includes})
            string(REGEX MATCH "\"([a-z]+(/ui)?)/" matched "${line}")
            if(NOT CMAKE_MATCH_1 IN_LIST allowed)
                message(FATAL_ERROR "${source} includes a header of ${CMAKE_MATCH_1}/, "
                                    "which ${name} does not depend on: ${line}")
            endif()
        endforeach()
    endforeach()

    add_library(${name} STATIC ${sources})
    set_target_properties(${name} PROPERTIES ATALAIA_FOLDER ${ARG_FOLDER})
    # Headers are included by their path from the repository root.
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} ${ARG_QT})
endfunction()
