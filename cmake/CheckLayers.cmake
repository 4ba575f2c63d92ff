# Script mode: cmake -DROOT=... -P CheckLayers.cmake
# The program's folders stand in layers, each on those before it in the list below: a file
# may include its own folder and the folders of lower layers, never a folder beside it or
# above it. So the windows sit on the flows and the flows never reach back for a window.
# The engine's core, at the bottom, includes no Windows header either: it builds anywhere.
set(layers
    "engine framework"
    "platform plixa resources"
    "language rollback"
    "commands"
    "install"
    "console"
    "app")
set(rank 0)
foreach(layer ${layers})
    string(REPLACE " " ";" folders "${layer}")
    foreach(folder ${folders})
        set(rank_${folder} ${rank})
    endforeach()
    list(APPEND all_folders ${folders})
    math(EXPR rank "${rank} + 1")
endforeach()

set(offences "")
set(count 0)
foreach(folder ${all_folders})
    file(GLOB_RECURSE sources ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
    foreach(source ${sources})
        math(EXPR count "${count} + 1")
        file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include")
        foreach(line ${lines})
            string(TOLOWER "${line}" lower)
            set(offence FALSE)
            if(folder STREQUAL "engine" AND lower MATCHES "[<\"/]windows\\.h[>\"]")
                set(offence TRUE)
            elseif(line MATCHES "\"([a-z]+)/")
                set(included ${CMAKE_MATCH_1})
                if(NOT included STREQUAL folder AND DEFINED rank_${included})
                    if(NOT rank_${included} LESS rank_${folder})
                        set(offence TRUE)
                    endif()
                endif()
            endif()
            if(offence)
                file(RELATIVE_PATH name ${ROOT} ${source})
                list(APPEND offences "${name}: ${line}")
            endif()
        endforeach()
    endforeach()
endforeach()
if(count LESS 50)
    message(FATAL_ERROR "layering: only ${count} sources found under ${ROOT}")
endif()
if(offences)
    string(REPLACE ";" "\n" offences "${offences}")
    message(FATAL_ERROR "Includes that run beside or up the layers, or Windows in the core:\n${offences}")
endif()
message(STATUS "layering: ${count} files, every include runs down")
