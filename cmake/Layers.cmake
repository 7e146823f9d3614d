# The program is built in layers, one folder and one static library each. A layer may use only
# the layers below it:
#
#   app -> window -> recorder -> links -> media -> platform -> core
#
# tapewren_layer(<folder> SOURCES <file>... [USES <layer>...] [LIBRARIES <library>...])
#
# Makes the library tapewren_<folder>. Its headers are included as "<folder>/Name.h", and that
# path resolves only for the layer itself and for the targets that link it: each layer's include
# folder in the build tree holds nothing but a link to its own source folder. So an include
# against the order above fails to build instead of waiting for a reviewer.
function(tapewren_layer folder)
    cmake_parse_arguments(L "" "" "SOURCES;USES;LIBRARIES" ${ARGN})
    set(target tapewren_${folder})
    add_library(${target} STATIC ${L_SOURCES})

    set(includeRoot ${CMAKE_BINARY_DIR}/layers/${folder})
    file(MAKE_DIRECTORY ${includeRoot})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${includeRoot}/${folder} SYMBOLIC)
    target_include_directories(${target} PUBLIC ${includeRoot})

    list(TRANSFORM L_USES PREPEND tapewren_)
    target_link_libraries(${target} PUBLIC ${L_USES} ${L_LIBRARIES})
endfunction()
