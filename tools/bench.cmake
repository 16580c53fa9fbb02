add_executable(skarne-bench ${CMAKE_CURRENT_LIST_DIR}/bench.cpp)
target_link_libraries(skarne-bench PRIVATE skarne_engine)
