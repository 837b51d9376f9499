include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Installs one of the control libraries in two parts: tandrel_libs is what a
# program needs to run, tandrel_dev what a client needs to build against it
# (the public headers, a CMake package Tandrel::<name> and a pkg-config file,
# made from <name>Config.cmake.in and <name>.pc.in beside the library).
function(tandrel_install_library name version)
    set(headers ${ARGN})
    set(cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/${name})
    install(TARGETS ${name} EXPORT ${name}Targets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT tandrel_libs NAMELINK_COMPONENT tandrel_dev)
    install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${name} COMPONENT tandrel_dev)
    install(EXPORT ${name}Targets NAMESPACE Tandrel:: DESTINATION ${cmakedir} COMPONENT tandrel_dev)
    configure_package_config_file(${name}Config.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/${name}Config.cmake
        INSTALL_DESTINATION ${cmakedir})
    write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/${name}ConfigVersion.cmake
        VERSION ${version} COMPATIBILITY SameMajorVersion)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}Config.cmake ${CMAKE_CURRENT_BINARY_DIR}/${name}ConfigVersion.cmake
        DESTINATION ${cmakedir} COMPONENT tandrel_dev)

    # The .pc file finds the prefix from where it lies, so it stays right
    # when installed with --prefix or DESTDIR.
    if(IS_ABSOLUTE ${CMAKE_INSTALL_LIBDIR})
        set(pc_prefix ${CMAKE_INSTALL_PREFIX})
    else()
        file(RELATIVE_PATH pc_up /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
        string(REGEX REPLACE "/$" "" pc_up ${pc_up})
        set(pc_prefix "\${pcfiledir}/${pc_up}")
    endif()
    set(pc_libdir "\${prefix}")
    cmake_path(APPEND pc_libdir ${CMAKE_INSTALL_LIBDIR})
    set(pc_includedir "\${prefix}")
    cmake_path(APPEND pc_includedir ${CMAKE_INSTALL_INCLUDEDIR} ${name})
    configure_file(${name}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT tandrel_dev)
endfunction()
