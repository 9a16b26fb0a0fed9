# cmake -DBUILD_DIR=... -DAPP_DIR=... -DWORK_DIR=... -DCXX=... [-DGENERATOR=...]
#       [-DSANITIZE=...] -P install_test.cmake
# Installs BUILD_DIR into WORK_DIR/prefix, builds the example with find_package(dirclient)
# and with pkg-config, runs every program built, and compiles every installed header alone.

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out
                    ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        string(JOIN " " command ${ARGN})
        message(FATAL_ERROR "failed (${status}): ${command}\n${out}\n${err}")
    endif()
    set(run_output "${out}" PARENT_SCOPE)
endfunction()

# The example's output must show the dump of its entry and the names in order.
function(check_example program)
    run("${program}")
    foreach(expected "DEntry {\n  dn: cn=Ann Smith,ou=people,o=acme\n  Attribute {\n"
                     "    <string, a.smith@acme.example>\n" "    <int, 42>\n"
                     "sorted: cn=alice,ou=people,o=acme\nsorted: cn=Bob,ou=people,o=acme\nsorted: cn=Carol,ou=people,o=acme\n")
        string(FIND "${run_output}" "${expected}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "${program}: output lacks [${expected}]:\n${run_output}")
        endif()
    endforeach()
    message(STATUS "ran ${program}")
endfunction()

set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")
run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")

set(flags "")
if(SANITIZE)
    set(flags "-fsanitize=${SANITIZE}")
endif()

# 1. CMake package.
set(generator_args)
if(GENERATOR)
    set(generator_args -G "${GENERATOR}")
endif()
run(${CMAKE_COMMAND} -S "${APP_DIR}" -B "${WORK_DIR}/cmake-build" ${generator_args}
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX}" "-DCMAKE_CXX_FLAGS=${flags}")
run(${CMAKE_COMMAND} --build "${WORK_DIR}/cmake-build")
check_example("${WORK_DIR}/cmake-build/example_app")
if(EXISTS "${WORK_DIR}/cmake-build/example_app_g")
    check_example("${WORK_DIR}/cmake-build/example_app_g")
endif()

# 2. pkg-config, looking only at the installed prefix.
file(GLOB_RECURSE pc_files "${prefix}/*/dirclient.pc")
list(LENGTH pc_files count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one dirclient.pc under ${prefix}, found: ${pc_files}")
endif()
get_filename_component(pc_dir "${pc_files}" DIRECTORY)
set(pkg_config ${CMAKE_COMMAND} -E env "PKG_CONFIG_PATH=${pc_dir}" pkg-config)
run(${pkg_config} --cflags dirclient)
separate_arguments(cflags UNIX_COMMAND "${run_output}")
run(${pkg_config} --libs dirclient)
separate_arguments(libs UNIX_COMMAND "${run_output}")
run(${pkg_config} --variable=libdir dirclient)
string(STRIP "${run_output}" libdir)
separate_arguments(sanitize UNIX_COMMAND "${flags}")
run("${CXX}" -std=c++20 ${sanitize} ${cflags} "${APP_DIR}/example_app.cpp" ${libs}
    "-Wl,-rpath,${libdir}" -o "${WORK_DIR}/example_app_pc")
check_example("${WORK_DIR}/example_app_pc")

# 3. Every installed header stands alone: each compiles on its own as C++ with g++ and
#    clang++, each C header (one that opens a C linkage block for C++ readers only) also
#    with the C compiler, and
#    nothing but the library's own headers lies under include/.
file(GLOB_RECURSE installed RELATIVE "${prefix}/include" "${prefix}/include/*")
foreach(path IN LISTS installed)
    if(NOT path MATCHES "^dirclient/[a-z0-9_]+\\.h$")
        message(FATAL_ERROR "unexpected file under include/: ${path}")
    endif()
endforeach()
foreach(private server_connect.h tls_options.h session_core.h ffdn.h)
    if(EXISTS "${prefix}/include/dirclient/${private}")
        message(FATAL_ERROR "private header installed: ${private}")
    endif()
endforeach()
find_program(CLANGXX NAMES clang++ clang++-14)
set(compilers "${CXX}")
if(CLANGXX)
    list(APPEND compilers "${CLANGXX}")
endif()
set(warnings -Wall -Wextra -Werror)
foreach(path IN LISTS installed)
    set(header "${prefix}/include/${path}")
    foreach(compiler IN LISTS compilers)
        run("${compiler}" -std=c++20 -fsyntax-only ${warnings} -x c++ "-I${prefix}/include" "${header}")
    endforeach()
    file(READ "${header}" text)
    if(text MATCHES "#ifdef __cplusplus\n(#include [^\n]*\n|\n)*extern \"C\" {")
        run("${CC}" -std=c11 -fsyntax-only ${warnings} -x c "-I${prefix}/include" "${header}")
    endif()
endforeach()
list(LENGTH installed count)
message(STATUS "${count} installed headers compile alone")
