# Loading stored instances and scene files from damaged and hostile data.
#
# Each target has a replay program (every build with tests) that runs its seed corpus,
# every prefix of each seed and fixed mutations of them, and a libFuzzer program
# (ORMEL_FUZZ=ON, clang only) that scripts/fuzz.sh builds and runs:
# - instance_load: bytes loaded into a fresh shader instance in both storage modes;
# - scene_load: bytes read as a scene file by the renderer's loader, with the plug-in's
#   settings and stored states (needs the renderer); relative object file names resolve in
#   scene_objects/, hostile object files for the importer.
set(ORMEL_FUZZ_DIR ${CMAKE_SOURCE_DIR}/tests/fuzz)

if(ORMEL_BUILD_TESTS)
  # The replay program of a target, and its ctest over the target's corpus.
  function(ormel_fuzz_replay name library test corpus)
    add_executable(${name}_replay ${ORMEL_FUZZ_DIR}/${name}_target.cpp ${ORMEL_FUZZ_DIR}/replay_main.cpp)
    target_link_libraries(${name}_replay PRIVATE ${library})
    target_compile_definitions(${name}_replay PRIVATE ${ORMEL_PLUGIN_DEFINE})
    add_dependencies(${name}_replay Ormel_Dirt)
    add_test(NAME ${test} COMMAND ${name}_replay ${ARGN} ${ORMEL_FUZZ_DIR}/${corpus})
    set_tests_properties(${test} PROPERTIES LABELS "fuzz" TIMEOUT 300)
  endfunction()
  ormel_fuzz_replay(instance_load refhost fuzz_corpus_replay corpus --prefixes --mutations 400)
  if(ORMEL_RENDERER)
    ormel_fuzz_replay(scene_load render fuzz_scene_corpus_replay scene_corpus --mutations 2000)
    target_compile_definitions(scene_load_replay PRIVATE ORMEL_FUZZ_SCENE_OBJECTS="${ORMEL_FUZZ_DIR}/scene_objects")
    # Scenes whose objects hang the importer or exhaust its memory, without mutations: each
    # import that hangs waits out the target's time limit.
    add_test(NAME fuzz_scene_import_replay COMMAND scene_load_replay ${ORMEL_FUZZ_DIR}/scene_corpus/imports)
    set_tests_properties(fuzz_scene_import_replay PROPERTIES LABELS "fuzz" TIMEOUT 120)
  endif()

  # A short libFuzzer run of the instance target (with a fixed seed, so that it is
  # repeatable) in a clang build of its own, from the plain build only.
  find_program(ORMEL_CLANGXX clang++)
  if(ORMEL_CLANGXX AND NOT ORMEL_SANITIZE AND NOT ORMEL_FUZZ AND NOT WIN32)
    add_test(NAME fuzz_short_run
      COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/fuzz.sh --runs 3000 --build-dir ${CMAKE_BINARY_DIR}/fuzz-clang -- -seed=1)
    set_tests_properties(fuzz_short_run PROPERTIES LABELS "fuzz" TIMEOUT 900)
  endif()
endif()

if(ORMEL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ORMEL_FUZZ needs clang (CXX=clang++)")
  endif()
  # clang links sanitizer runtimes into executables only: the plug-in takes them from the
  # fuzzer that loads it.
  target_link_options(Ormel_Dirt PRIVATE -Wl,-z,undefs)
  function(ormel_fuzzer name library)
    add_executable(${name}_fuzzer ${ORMEL_FUZZ_DIR}/${name}_target.cpp)
    target_link_libraries(${name}_fuzzer PRIVATE ${library})
    target_compile_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
    target_compile_definitions(${name}_fuzzer PRIVATE ORMEL_PLUGIN_PATH="$<TARGET_FILE:Ormel_Dirt>")
    add_dependencies(${name}_fuzzer Ormel_Dirt)
  endfunction()
  ormel_fuzzer(instance_load refhost)
  if(ORMEL_RENDERER)
    ormel_fuzzer(scene_load render)
    target_compile_definitions(scene_load_fuzzer PRIVATE ORMEL_FUZZ_SCENE_OBJECTS="${ORMEL_FUZZ_DIR}/scene_objects")
  endif()
endif()
