# Profile-guided and link-time optimisation of the Release build (g++ only). The whole engine
# is first built with counters into pgo/build (skarne-bench alone), the bench is run once, and
# every object of this build is then compiled with the counts it left in pgo/profile and
# linked with link-time optimisation. The search is deterministic at a fixed depth, so the
# counts and the binaries they shape are the same from run to run. -DSKARNE_PGO=OFF builds
# without both, in one stage.

set(pgo_default OFF)
if(CMAKE_BUILD_TYPE STREQUAL "Release" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND
   NOT SKARNE_SANITIZE AND NOT SKARNE_FUZZ)
  set(pgo_default ON)
endif()
option(SKARNE_PGO "Profile-guided and link-time optimisation (Release, g++)" ${pgo_default})
if(NOT SKARNE_PGO)
  return()
endif()

include(ExternalProject)
cmake_host_system_information(RESULT pgo_jobs QUERY NUMBER_OF_LOGICAL_CORES)
set(pgo_root ${CMAKE_BINARY_DIR}/pgo)
set(pgo_profile ${pgo_root}/profile)
# -fprofile-prefix-path makes the counts' file names relative to each build folder, so that
# the objects of the two builds find each other's.
ExternalProject_Add(skarne_pgo_training
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${pgo_root}/build
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DSKARNE_PGO=OFF -DSKARNE_TESTS=OFF
             -DSKARNE_ARCH=${SKARNE_ARCH} -DSKARNE_WERROR=${SKARNE_WERROR}
             -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
             "-DCMAKE_CXX_FLAGS=-fprofile-generate=${pgo_profile} -fprofile-prefix-path=${pgo_root}/build -fprofile-update=single"
  # Nothing else builds meanwhile, so the sub-build takes every core (a make jobserver is
  # not passed through this command).
  BUILD_COMMAND ${CMAKE_COMMAND} -E env --unset=MAKEFLAGS
                ${CMAKE_COMMAND} --build <BINARY_DIR> --target skarne-bench --parallel ${pgo_jobs}
  # The sub-build is asked on every build whether its sources changed; the bench runs again
  # only when its binary did (cmake/pgo-train.cmake).
  BUILD_ALWAYS ON
  INSTALL_COMMAND ${CMAKE_COMMAND} -DBENCH=${pgo_root}/build/skarne-bench -DPROFILE=${pgo_profile}
                  -DSTAMP=${pgo_root}/trained-binary.sha256 -P ${CMAKE_CURRENT_LIST_DIR}/pgo-train.cmake
)

add_compile_options(-fprofile-use=${pgo_profile} -fprofile-prefix-path=${CMAKE_BINARY_DIR}
                    -Wno-missing-profile)
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)

# Nothing is compiled before the counts exist: every target of the build waits for the
# training. Called once all folders are added.
function(skarne_wait_for_training directory)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    if(NOT target STREQUAL "skarne_pgo_training")
      add_dependencies(${target} skarne_pgo_training)
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    skarne_wait_for_training(${subdirectory})
  endforeach()
endfunction()
