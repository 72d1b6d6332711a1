# Install rules of megcxc, included by the top-level CMakeLists.txt after the
# library and the programs are defined. `cmake --install` puts in place
#
#   <includedir>/megcxc/megcxc.h and <includedir>/megcxc/<folder>/*.h
#       the headers of every core folder, keeping the folder layout, so the
#       installed headers include each other as they do in the source tree
#   <libdir>/libmegcxc.a (or .so with BUILD_SHARED_LIBS)
#   <libdir>/cmake/megcxc/megcxcConfig.cmake, megcxcConfigVersion.cmake,
#       megcxcTargets*.cmake: find_package(megcxc) gives megcxc::megcxc
#   <libdir>/pkgconfig/megcxc.pc
#   <bindir>/cxc and <bindir>/cxc-manager, when they are built
#
# Headers that only tests and fuzz drivers include (the allocation-failure
# controls) are left out; their functions are in the library all the same.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(MEGCXC_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/megcxc)
set(MEGCXC_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/megcxc)
set(MEGCXC_TEST_ONLY_HEADERS alloc_test_hook.h)

# A sanitized library needs the sanitizer runtimes in every program that links
# it. Inside this build add_link_options() sees to that; an installed copy
# tells its consumers through the exported target and the pkg-config file.
set(MEGCXC_SANITIZE_LINK_FLAGS "")
if(MEGCXC_SANITIZE)
  set(MEGCXC_SANITIZE_LINK_FLAGS -fsanitize=address,undefined)
  target_link_options(megcxc INTERFACE $<INSTALL_INTERFACE:${MEGCXC_SANITIZE_LINK_FLAGS}>)
endif()

install(TARGETS megcxc EXPORT megcxcTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${MEGCXC_INSTALL_INCLUDEDIR})

install(FILES ${PROJECT_SOURCE_DIR}/megcxc.h DESTINATION ${MEGCXC_INSTALL_INCLUDEDIR})
set(test_only_patterns)
foreach(header IN LISTS MEGCXC_TEST_ONLY_HEADERS)
  list(APPEND test_only_patterns PATTERN ${header} EXCLUDE)
endforeach()
foreach(dir IN LISTS MEGCXC_CORE_DIRS)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/ DESTINATION ${MEGCXC_INSTALL_INCLUDEDIR}/${dir}
          FILES_MATCHING PATTERN "*.h" ${test_only_patterns})
endforeach()

install(EXPORT megcxcTargets NAMESPACE megcxc:: DESTINATION ${MEGCXC_INSTALL_CMAKEDIR})
set(MEGCXC_FIND_DEPENDENCY_LINES "${MEGCXC_CONFIG_DEPENDENCIES}")
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/megcxcConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/megcxcConfig.cmake
                              INSTALL_DESTINATION ${MEGCXC_INSTALL_CMAKEDIR})
# Before 1.0 a minor release may change the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/megcxcConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/megcxcConfig.cmake ${PROJECT_BINARY_DIR}/megcxcConfigVersion.cmake
        DESTINATION ${MEGCXC_INSTALL_CMAKEDIR})

# pkg-config: the prefix is found from where the .pc file lies, so the
# installed tree can be moved (cmake --install --prefix, packaging) as long
# as the library and include folders are relative to the prefix.
function(megcxc_pc_dir out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "\${prefix}/${dir}" PARENT_SCOPE)
  endif()
endfunction()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(MEGCXC_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH pc_to_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
  set(MEGCXC_PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
endif()
megcxc_pc_dir(MEGCXC_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
megcxc_pc_dir(MEGCXC_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
# -pthread for the worker threads (Threads::Threads in CMake terms).
set(pc_link_flags ${MEGCXC_PC_EXTRA_LIBS} -pthread ${MEGCXC_SANITIZE_LINK_FLAGS})
list(JOIN MEGCXC_PC_REQUIRES ", " MEGCXC_PC_REQUIRES_TEXT)
list(JOIN pc_link_flags " " MEGCXC_PC_LINK_FLAGS)
configure_file(${CMAKE_CURRENT_LIST_DIR}/megcxc.pc.in ${PROJECT_BINARY_DIR}/megcxc.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/megcxc.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The programs. The GUI library goes along only when it is a shared one.
set(MEGCXC_INSTALLED_PROGRAMS)
foreach(program cxc cxc-manager)
  if(TARGET ${program})
    list(APPEND MEGCXC_INSTALLED_PROGRAMS ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    if(BUILD_SHARED_LIBS)
      set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
    endif()
  endif()
endforeach()
if(TARGET megcxc_ui)
  get_target_property(ui_type megcxc_ui TYPE)
  if(ui_type STREQUAL "SHARED_LIBRARY")
    install(TARGETS megcxc_ui LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  endif()
endif()

# cpack -G DEB (from the build folder) makes a Debian package of the same tree.
set(CPACK_PACKAGE_NAME megcxc)
set(CPACK_PACKAGE_VENDOR megcxc)
set(CPACK_PACKAGE_CONTACT "megcxc maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Time-frequency cross-spectral data between every pair of MEG sensors: library, cxc and cxc-manager")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
include(CPack)
