# Playlist figures, run by hand:
#   build/bench/playlist_walk [--runs N] [tree-folder]
#       "Add All" in the main window against find, longest event gap
#   build/bench/playlist_rows                 100,000 rows: add time and per-frame scroll time
add_executable(playlist_walk ${CMAKE_CURRENT_LIST_DIR}/playlist_walk.cpp)
target_include_directories(playlist_walk PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../tests/support)
target_link_libraries(playlist_walk PRIVATE lentaro_app lentaro_playlist)
target_compile_definitions(playlist_walk PRIVATE LENTARO_APP_DIR="${LENTARO_APP_DIR}")
lentaro_target_defaults(playlist_walk)
set_target_properties(playlist_walk PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
# The window loads its skin and pointers from the application folder.
add_dependencies(playlist_walk lentaro_app_folder)

add_executable(playlist_rows ${CMAKE_CURRENT_LIST_DIR}/playlist_rows.cpp)
target_link_libraries(playlist_rows PRIVATE lentaro_playlist)
lentaro_target_defaults(playlist_rows)
set_target_properties(playlist_rows PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
