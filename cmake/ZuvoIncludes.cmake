# Include rules between the folders of src/, read at each configure, so a build
# from scratch or ./test fails on an include that runs the wrong way.

# A folder never includes one above it: each of its files may include its own
# folder, the folders listed and files outside every layer folder (generated
# headers). An include named in ZUVO_KNOWN_UPWARD_INCLUDES ("<file>:<header>",
# paths under src/) is one that already runs the wrong way: listed by name so
# that no new one joins it unseen, and taken off once it goes.
function(zuvo_check_includes dir)
    file(GLOB files ${ZUVO_SRC}/${dir}/*.cpp ${ZUVO_SRC}/${dir}/*.h)
    foreach(file ${files})
        file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
        file(RELATIVE_PATH rel ${ZUVO_SRC} ${file})
        foreach(line ${lines})
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" included "${line}")
            get_filename_component(folder "${included}" DIRECTORY)
            if(folder STREQUAL dir OR NOT folder IN_LIST ZUVO_LAYER_DIRS OR folder IN_LIST ARGN)
                continue()
            endif()
            if("${rel}:${included}" IN_LIST ZUVO_KNOWN_UPWARD_INCLUDES)
                set_property(GLOBAL APPEND PROPERTY ZUVO_KNOWN_UPWARD_INCLUDES_SEEN "${rel}:${included}")
                continue()
            endif()
            string(REPLACE ";" " " allowed "${ARGN}")
            message(FATAL_ERROR "src/${rel} includes ${included}: ${dir} may include only ${allowed}")
        endforeach()
    endforeach()
endfunction()

# The same rule for folders that stand on floors, given bottom up, each floor a
# list of folders separated by spaces: a folder includes its own headers and
# those of every floor below it, never one beside it or above.
function(zuvo_check_floors)
    set(below)
    foreach(floor ${ARGN})
        string(REPLACE " " ";" folders "${floor}")
        foreach(folder ${folders})
            zuvo_check_includes(${folder} ${below})
        endforeach()
        list(APPEND below ${folders})
    endforeach()
endfunction()

# A listed include that no longer runs the wrong way must leave the list.
function(zuvo_check_known_includes_gone)
    get_property(seen GLOBAL PROPERTY ZUVO_KNOWN_UPWARD_INCLUDES_SEEN)
    foreach(entry ${ZUVO_KNOWN_UPWARD_INCLUDES})
        if(NOT entry IN_LIST seen)
            message(FATAL_ERROR "src/${entry} is listed in ZUVO_KNOWN_UPWARD_INCLUDES but no longer runs "
                                "the wrong way: take it off the list")
        endif()
    endforeach()
endfunction()
