# The batch command's argument and parameter-file parsing. Included from the
# fuzz folder's CMakeLists.txt in a build whose flags carry
# -fsanitize=fuzzer-no-link,address,undefined; the target adds the fuzzer's
# main at link time.
add_executable(batch_arguments_fuzz ${CMAKE_CURRENT_LIST_DIR}/batch_arguments_fuzz.cpp)
target_link_libraries(batch_arguments_fuzz PRIVATE quarnel_batch)
target_link_options(batch_arguments_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
quarnel_target_defaults(batch_arguments_fuzz)
quarnel_qt_free(batch_arguments_fuzz)
