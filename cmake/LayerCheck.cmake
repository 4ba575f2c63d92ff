# layering: fails when a file includes a folder beside or above its own, or the engine's
# core a Windows header (CheckLayers.cmake lists the layers). Both builds run it.
add_test(NAME layering COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR}
                               -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake)
