add_executable(skarne-kpk kpk.cpp)
target_link_libraries(skarne-kpk PRIVATE skarne_engine)
