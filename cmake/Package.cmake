# Install rules and the release packages (made by scripts/release.sh with CPack). Windows: a zip
# with the program, its console twin, kvreadback, a README for administrators and the licence.
# Linux: a Debian package with the four programs, a manual page for each made from its help
# text, the licence, the README and the change log. Package names carry KV_VERSION.
set(CPACK_PACKAGE_NAME KVSetupConfigurator)
set(CPACK_PACKAGE_VENDOR "KVSetupConfigurator developers")
set(CPACK_PACKAGE_VERSION ${KV_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Turns a vendor's signed setup file into a pre-configured installer")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

if(WIN32)
  install(TARGETS kvsetupconfigurator_exe kvsetupconfigurator_com kvreadback
          RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/README-Windows.txt DESTINATION . RENAME README.txt)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME KVSetupConfigurator-${KV_VERSION}-win64)
else()
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(kv_man_dir ${CMAKE_BINARY_DIR}/man)
  set(kv_summary_kvsetupconfigurator "make a pre-configured installer from a signed setup file")
  set(kv_summary_kvpackage "write and check signed configuration packages")
  set(kv_summary_reservearea "prepare a configurable setup file from a signed one")
  set(kv_summary_kvreadback "show what a configured setup file carries")
  set(kv_man_pages)
  foreach(program kvsetupconfigurator kvpackage reservearea kvreadback)
    set(page ${kv_man_dir}/${program}.1.gz)
    add_custom_command(
      OUTPUT ${page}
      COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/make_manpage.py
              $<TARGET_FILE:${program}> ${program} "${kv_summary_${program}}" ${KV_VERSION} ${page}
      DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/make_manpage.py
      COMMENT "Making the manual page of ${program} from its help text"
      VERBATIM)
    list(APPEND kv_man_pages ${page})
  endforeach()
  add_custom_target(kv_man_pages ALL DEPENDS ${kv_man_pages})

  set(kv_doc_dir share/doc/kvsetupconfigurator)
  install(TARGETS kvsetupconfigurator kvpackage reservearea kvreadback RUNTIME DESTINATION bin)
  install(FILES ${kv_man_pages} DESTINATION share/man/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${kv_doc_dir} RENAME copyright)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
          DESTINATION ${kv_doc_dir})

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_NAME kvsetupconfigurator)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "KVSetupConfigurator developers <kv@localhost>")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "kvsetupconfigurator writes a signed configuration package and an answer file into the\nreserved data area of a signed setup .exe or .msi; kvpackage signs packages, reservearea\nprepares setup files, kvreadback shows what a configured file holds.")
  # The libraries the programs link come from dpkg-shlibdeps; reservearea runs osslsigncode.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "osslsigncode")
endif()
include(CPack)
