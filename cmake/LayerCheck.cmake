# core_layering: fails when a file of the engine core includes anything of the folders
# above it or the Windows headers. Both builds run it.
add_test(NAME core_layering
         COMMAND ${CMAKE_COMMAND} -DCORE_DIR=${PROJECT_SOURCE_DIR}/engine
                 -P ${PROJECT_SOURCE_DIR}/cmake/CheckCoreIncludes.cmake)

# layering: fails when a file includes a folder beside or above its own (CheckLayers.cmake
# lists the layers).
add_test(NAME layering COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR}
                               -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake)
