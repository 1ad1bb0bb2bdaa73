# Build conventions shared by every folder.
#
# Windows preset: deliverables land in ${CMAKE_BINARY_DIR}/bin (an installation folder),
# test programs in ${CMAKE_BINARY_DIR}/tests, and CTest runs them under Wine through
# scripts/wine-run with a prefix in ${CMAKE_BINARY_DIR}/wineprefix.
# Native preset: only the portable core and its tests, with ASan and UBSan.

include_directories(${CMAKE_SOURCE_DIR})

set(QUILLON_BIN_DIR ${CMAKE_BINARY_DIR}/bin)
set(QUILLON_TEST_BIN_DIR ${CMAKE_BINARY_DIR}/tests)
set(QUILLON_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)

if(QUILLON_WINDOWS)
  set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${QUILLON_BIN_DIR})
  set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${QUILLON_BIN_DIR})
  set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run --prefix ${QUILLON_WINEPREFIX})
  # ANSI texts throughout; Windows 7 API level.
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX _CRT_SECURE_NO_WARNINGS)
  add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type)
  # Deliverables have no "lib" prefix: tasqui.dll, mailwire.dll, ...
  set(CMAKE_SHARED_LIBRARY_PREFIX "")
  set(CMAKE_SHARED_MODULE_PREFIX "")
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}")
else()
  set(QUILLON_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_compile_options(-Wall -Wextra -Wno-unused-parameter ${QUILLON_SANITIZE})
  add_link_options(${QUILLON_SANITIZE})
  if(QUILLON_LIBFUZZER)
    # Coverage instrumentation for every library, not just the drivers: without it the
    # fuzzer sees only the driver's few edges and mutates blind.
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
endif()

# quillon_gtest(NAME n SOURCES ... [LIBS ...] [LABELS ...] [RESOURCE_LOCK ...]
#               [TIMEOUT s] [ENVIRONMENT VAR=value ...])
# One GoogleTest program, run by CTest as one test. Under Wine every program costs a
# process start, so group the cases of one behaviour into one program.
# Windows test programs get these environment variables:
#   QUILLON_BIN_DIR      the installation folder (a Linux path; see tests/support)
#   QUILLON_TEST_DATA    ${CMAKE_SOURCE_DIR}/tests
#   QUILLON_BUILD_DIR    ${CMAKE_BINARY_DIR}
# Tests that touch HKCU\Software\Kestrova\Tasqeduler must name RESOURCE_LOCK registry.
function(quillon_gtest)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;RESOURCE_LOCK;ENVIRONMENT" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main)
  if(QUILLON_WINDOWS)
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUILLON_TEST_BIN_DIR})
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QUILLON_BIN_DIR=${QUILLON_BIN_DIR};QUILLON_TEST_DATA=${CMAKE_SOURCE_DIR}/tests;QUILLON_BUILD_DIR=${CMAKE_BINARY_DIR};${T_ENVIRONMENT}")
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
  if(T_RESOURCE_LOCK)
    set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK "${T_RESOURCE_LOCK}")
  endif()
endfunction()

# quillon_fuzz_target(NAME n SOURCES ... [LIBS ...] CORPUS dir)
# SOURCES define LLVMFuzzerTestOneInput. The ordinary (native) test run replays every
# file of CORPUS through it under ASan/UBSan; the fuzz preset (clang) also builds the
# libFuzzer driver n_fuzzer for `make fuzz`.
function(quillon_fuzz_target)
  if(QUILLON_WINDOWS)
    return()
  endif()
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${F_NAME}_replay ${F_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/fuzz_replay_main.cpp)
  target_link_libraries(${F_NAME}_replay PRIVATE ${F_LIBS})
  add_test(NAME ${F_NAME}_replay COMMAND ${F_NAME}_replay ${F_CORPUS})
  set_tests_properties(${F_NAME}_replay PROPERTIES LABELS fuzz TIMEOUT 300)
  if(QUILLON_LIBFUZZER)
    add_executable(${F_NAME}_fuzzer ${F_SOURCES})
    target_compile_options(${F_NAME}_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${F_NAME}_fuzzer PRIVATE ${F_LIBS} -fsanitize=fuzzer)
    # scripts/fuzz-long.sh finds each driver's corpus here.
    file(WRITE ${CMAKE_BINARY_DIR}/fuzz-targets/${F_NAME}.corpus "${F_CORPUS}\n")
  endif()
endfunction()

# Adds every immediate subfolder of the current folder that has a CMakeLists.txt, in
# name order. Folders call it last, so a component can live in a subfolder of its own.
function(quillon_add_subfolders)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# quillon_language_tests(NAME n SOURCES ... [LIBS ...] [DEPENDS target...] [RESOURCE_LOCK ...])
# The language rule of a deliverable under four user locales: n runs under the default
# (en-US) locale expecting the abbreviation ENU, n_eng under en-GB expecting ENG, n_deu
# under de-DE expecting DEU and n_ita under it-IT (a language without a module of its
# own) expecting ITA (each gets QUILLON_EXPECT_LANGUAGE). Only C/POSIX locales exist on
# the build machine, so en-GB, de-DE, fr-FR, es-ES and it-IT are generated once into
# ${CMAKE_BINARY_DIR}/locales (target quillon_test_locales); LOCPATH points glibc, and so
# Wine, at them. quillon_locale_environment(var lang) gives the environment of a test
# run under one of them.
set(QUILLON_TEST_LOCALE_DIR ${CMAKE_BINARY_DIR}/locales)
function(quillon_test_locales)
  if(TARGET quillon_test_locales)
    return()
  endif()
  set(stamps)
  foreach(locale en_GB de_DE fr_FR es_ES it_IT)
    set(stamp ${QUILLON_TEST_LOCALE_DIR}/${locale}.UTF-8/LC_IDENTIFICATION)
    add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${QUILLON_TEST_LOCALE_DIR}
      # localedef exits non-zero for mere warnings; the stamp file is what counts.
      COMMAND sh -c "localedef -i ${locale} -f UTF-8 ${QUILLON_TEST_LOCALE_DIR}/${locale}.UTF-8 >/dev/null 2>&1; test -f ${stamp}"
      COMMENT "Generating the ${locale}.UTF-8 locale for the language tests"
      VERBATIM)
    list(APPEND stamps ${stamp})
  endforeach()
  add_custom_target(quillon_test_locales DEPENDS ${stamps})
endfunction()

function(quillon_locale_environment var lang)
  set(${var} "QUILLON_BIN_DIR=${QUILLON_BIN_DIR};QUILLON_TEST_DATA=${CMAKE_SOURCE_DIR}/tests;QUILLON_BUILD_DIR=${CMAKE_BINARY_DIR};QUILLON_LANG=${lang};LOCPATH=${QUILLON_TEST_LOCALE_DIR}" PARENT_SCOPE)
endfunction()

# quillon_locale_variants(NAME n TARGET t [ARGS ...] LOCALES de_DE fr_FR ... [TIMEOUT s]
#                         [RESOURCE_LOCK ...])
# Runs test program t once more per user locale, as n_deu, n_fra, n_esp, n_ita, ... with
# QUILLON_EXPECT_LANGUAGE set to the language's two letters (DE, FR, ES, IT). Like the
# variants of quillon_language_tests these run alone (RUN_SERIAL).
function(quillon_locale_variants)
  cmake_parse_arguments(V "" "NAME;TARGET;TIMEOUT" "ARGS;LOCALES;RESOURCE_LOCK" ${ARGN})
  if(NOT V_TIMEOUT)
    set(V_TIMEOUT 120)
  endif()
  quillon_test_locales()
  add_dependencies(${V_TARGET} quillon_test_locales)
  set(suffixes "de_DE=deu" "fr_FR=fra" "es_ES=esp" "it_IT=ita" "en_GB=eng")
  foreach(locale IN LISTS V_LOCALES)
    set(suffix "")
    foreach(pair IN LISTS suffixes)
      string(REPLACE "=" ";" pair "${pair}")
      list(GET pair 0 name)
      if(name STREQUAL locale)
        list(GET pair 1 suffix)
      endif()
    endforeach()
    if(suffix STREQUAL "")
      message(FATAL_ERROR "quillon_locale_variants: no test locale ${locale}")
    endif()
    string(SUBSTRING ${locale} 0 2 language)
    string(TOUPPER ${language} language)
    add_test(NAME ${V_NAME}_${suffix} COMMAND ${V_TARGET} ${V_ARGS})
    quillon_locale_environment(environment ${locale}.UTF-8)
    set_tests_properties(${V_NAME}_${suffix} PROPERTIES TIMEOUT ${V_TIMEOUT} RUN_SERIAL TRUE
      ENVIRONMENT "${environment};QUILLON_EXPECT_LANGUAGE=${language}")
    if(V_RESOURCE_LOCK)
      set_tests_properties(${V_NAME}_${suffix} PROPERTIES RESOURCE_LOCK "${V_RESOURCE_LOCK}")
    endif()
  endforeach()
endfunction()

function(quillon_language_tests)
  cmake_parse_arguments(L "" "NAME;TIMEOUT" "SOURCES;LIBS;DEPENDS;RESOURCE_LOCK" ${ARGN})
  if(NOT L_TIMEOUT)
    set(L_TIMEOUT 60)
  endif()
  quillon_test_locales()
  quillon_gtest(NAME ${L_NAME} SOURCES ${L_SOURCES} LIBS ${L_LIBS} TIMEOUT ${L_TIMEOUT}
    RESOURCE_LOCK ${L_RESOURCE_LOCK} ENVIRONMENT QUILLON_EXPECT_LANGUAGE=ENU)
  add_dependencies(${L_NAME} quillon_test_locales ${L_DEPENDS})
  foreach(variant "eng;en_GB.UTF-8;ENG" "deu;de_DE.UTF-8;DEU" "ita;it_IT.UTF-8;ITA")
    list(GET variant 0 suffix)
    list(GET variant 1 lang)
    list(GET variant 2 abbreviation)
    add_test(NAME ${L_NAME}_${suffix} COMMAND ${L_NAME})
    quillon_locale_environment(environment ${lang})
    set_tests_properties(${L_NAME}_${suffix} PROPERTIES TIMEOUT ${L_TIMEOUT}
      ENVIRONMENT "${environment};QUILLON_EXPECT_LANGUAGE=${abbreviation}")
    if(L_RESOURCE_LOCK)
      set_tests_properties(${L_NAME}_${suffix} PROPERTIES RESOURCE_LOCK "${L_RESOURCE_LOCK}")
    endif()
    # A Wine program started under another locale rewrites the prefix's user locale
    # settings (Control Panel\International); a program of another test reading dates
    # and times at that moment gets "am" for "AM". These variants run alone.
    set_tests_properties(${L_NAME}_${suffix} PROPERTIES RUN_SERIAL TRUE)
  endforeach()
endfunction()

# quillon_type_library(NAME n IDL file OUTPUT_DIR dir [FIX_LIBRARY_GUID guid])
# widl (Windows only) on one IDL of a COM server: dir/n_h.h (the interfaces), dir/n_i.c
# (the GUID definitions) and dir/n.tlb (the type library the server embeds as a
# resource), and the target n_idl that makes them. FIX_LIBRARY_GUID puts the library's
# GUID back where widl overwrote its last two bytes, as it does for a library that
# declares a dispinterface without members (cmake/fix_typelib_guid.py).
function(quillon_type_library)
  cmake_parse_arguments(L "" "NAME;IDL;OUTPUT_DIR;FIX_LIBRARY_GUID" "" ${ARGN})
  find_program(QUILLON_WIDL x86_64-w64-mingw32-widl REQUIRED)
  set(wineIdlDir /usr/include/wine/wine/windows)
  set(wineTlbDir /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
  set(header ${L_OUTPUT_DIR}/${L_NAME}_h.h)
  set(guids ${L_OUTPUT_DIR}/${L_NAME}_i.c)
  set(typeLibrary ${L_OUTPUT_DIR}/${L_NAME}.tlb)
  set(fixCommand)
  set(fixDepends)
  if(L_FIX_LIBRARY_GUID)
    set(fixScript ${CMAKE_SOURCE_DIR}/cmake/fix_typelib_guid.py)
    set(fixCommand COMMAND /usr/bin/python3 ${fixScript} ${typeLibrary} ${L_FIX_LIBRARY_GUID})
    set(fixDepends ${fixScript})
  endif()
  get_filename_component(idlName ${L_IDL} NAME)
  add_custom_command(
    OUTPUT ${header} ${guids} ${typeLibrary}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${L_OUTPUT_DIR}
    COMMAND ${QUILLON_WIDL} --win64 -I${wineIdlDir} -L${wineTlbDir}
            -h -H ${header} -t -T ${typeLibrary} -u -U ${guids} ${L_IDL}
    ${fixCommand}
    DEPENDS ${L_IDL} ${fixDepends}
    COMMENT "widl ${idlName}"
    VERBATIM)
  add_custom_target(${L_NAME}_idl DEPENDS ${header} ${guids} ${typeLibrary})
endfunction()
