# cmake -P: installs the libraries' components into a fresh prefix, checks
# what each part holds, builds the outside client there and runs it.
cmake_minimum_required(VERSION 3.25)

set(prefix ${WORK_DIR}/prefix)
set(libs progreso grafica Pindle)
file(REMOVE_RECURSE ${WORK_DIR})

function(run what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${what} failed (${rc})")
    endif()
endfunction()

function(install_component component)
    run("installing ${component}" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component ${component})
endfunction()

# The runtime part: the versioned objects and nothing a build needs.
install_component(tandrel_libs)
file(GLOB_RECURSE runtime RELATIVE ${prefix} LIST_DIRECTORIES false ${prefix}/*)
foreach(file ${runtime})
    if(NOT file MATCHES "^${LIBDIR}/lib(progreso|grafica|Pindle)\\.so\\.[0-9.]+$")
        message(FATAL_ERROR "the runtime part holds ${file}")
    endif()
endforeach()
foreach(lib ${libs})
    if(NOT EXISTS ${prefix}/${LIBDIR}/lib${lib}.so.1)
        message(FATAL_ERROR "the runtime part has no lib${lib}.so.1")
    endif()
endforeach()

# The development part: headers a client includes, never the ones that stay
# inside a library or stand in for one in the tests.
install_component(tandrel_dev)
foreach(header twips_local.h graph_geometry.h system_tray_backend.h recording_tray_backend.h)
    file(GLOB_RECURSE leaked ${prefix}/*/${header})
    if(leaked)
        message(FATAL_ERROR "a private header is installed: ${leaked}")
    endif()
endforeach()

# Each library's packages alone, then a program that uses all three.
function(configure_and_build what source build)
    run("configuring ${what}" ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/${LIBDIR}/pkgconfig
        ${CMAKE_COMMAND} -S ${source} -B ${build} -G ${GENERATOR}
        -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH=${prefix}
        -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DPKG_CONFIG_EXECUTABLE=${PKG_CONFIG} -DQt6_DIR=${Qt6_DIR}
        -DINSTALLED_INCLUDE_DIR=${prefix}/include ${ARGN})
    run("building ${what}" ${CMAKE_COMMAND} --build ${build})
endfunction()
foreach(lib ${libs})
    configure_and_build("the ${lib} probe" ${PROBE_DIR} ${WORK_DIR}/probe_${lib} -DLIB=${lib})
endforeach()
configure_and_build("the client" ${CLIENT_DIR} ${WORK_DIR}/build)

# A program built against the libraries runs on the runtime part alone: with
# the unversioned names gone it still finds its libraries by their SONAME.
file(GLOB namelinks ${prefix}/${LIBDIR}/lib*.so)
file(REMOVE ${namelinks})
foreach(client client_cmake client_pc)
    run("running ${client}" ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH QT_QPA_PLATFORM=offscreen
        ${WORK_DIR}/build/${client})
endforeach()
