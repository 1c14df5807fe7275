# Installing: the programs with their man pages (the importer where it was built), the two libraries with their headers, and a
# package so that other projects can find_package(Vorlatic) and link Vorlatic::threedb and
# Vorlatic::meshtext.
include(CMakePackageConfigHelpers)
# The programs are in the package too, as Vorlatic::vorlatic and so on: vorlatic_add_meshes()
# runs them.
install(TARGETS vorlatic vorlatic-inspect EXPORT VorlaticTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES man/vorlatic.1 man/vorlatic-inspect.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TARGET vorlatic-import)
  install(TARGETS vorlatic-import EXPORT VorlaticTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES man/vorlatic-import.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(TARGETS meshtext threedb EXPORT VorlaticTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY meshtext/include/ threedb/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
set(packageDir ${CMAKE_INSTALL_LIBDIR}/cmake/Vorlatic)
install(EXPORT VorlaticTargets NAMESPACE Vorlatic:: DESTINATION ${packageDir})
configure_package_config_file(cmake/VorlaticConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/VorlaticConfig.cmake
                              INSTALL_DESTINATION ${packageDir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VorlaticConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VorlaticConfig.cmake
              ${PROJECT_BINARY_DIR}/VorlaticConfigVersion.cmake
              cmake/VorlaticMeshes.cmake cmake/VorlaticMeshStep.cmake
        DESTINATION ${packageDir})
# The device-side loader, to be copied into a game for the handheld.
install(FILES loader/v3db.h loader/v3db.c DESTINATION ${CMAKE_INSTALL_DATADIR}/vorlatic/loader)
# The Blender add-on: its package, to copy or link into Blender's add-ons, and the zip that
# Blender's "Install from disk" takes.
install(FILES ${VORLATIC_BLENDER_ADDON_FILES}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/vorlatic/blender/io_mesh_vorlatic)
install(FILES ${VORLATIC_BLENDER_ADDON_ZIP} DESTINATION ${CMAKE_INSTALL_DATADIR}/vorlatic/blender)
