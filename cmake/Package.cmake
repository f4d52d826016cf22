# Install rules and the release packages (made by scripts/release.sh with CPack). Windows: a zip
# and an MSI (CPack's External generator, cmake/MakeMsi.cmake) with the program, its console
# twin, kvreadback, a README for administrators and the licence; the programs and the MSI are
# signed when cpack is given a certificate (cmake/Signing.cmake).
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
  set(CPACK_GENERATOR ZIP External)
  set(CPACK_PACKAGE_FILE_NAME KVSetupConfigurator-${KV_VERSION}-win64)
  set(KV_HELP_URL "http://localhost/kvsetupconfigurator/"
      CACHE STRING "Support page shown in Windows' Apps & features and in the signatures")
  set(CPACK_KV_HELP_URL ${KV_HELP_URL})
  set(CPACK_KV_SIGNED_PROGRAMS KVSetupConfigurator.exe KVSetupConfigurator.com kvreadback.exe)
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/SignPrograms.cmake)
  set(CPACK_EXTERNAL_ENABLE_STAGING ON)
  set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${PROJECT_SOURCE_DIR}/cmake/MakeMsi.cmake)
  set(CPACK_KV_WXS ${PROJECT_SOURCE_DIR}/packaging/KVSetupConfigurator.wxs)
  set(CPACK_KV_ENVIRONMENT_TABLE ${PROJECT_SOURCE_DIR}/packaging/Environment.idt)
  set(CPACK_KV_ICON ${PROJECT_SOURCE_DIR}/app/res/KVSetupConfigurator.ico)
  # Every MSI of the tool carries this upgrade code, so that each replaces the one installed.
  set(CPACK_KV_MSI_UPGRADE_CODE 6C1A6D2E-3F0B-4C8E-9A51-2B7D0E4F8A13)
  # Windows Installer versions are numbers only; a demo build says so in its name instead.
  set(CPACK_KV_MSI_VERSION ${PROJECT_VERSION})
  set(CPACK_KV_MSI_PRODUCT_NAME KVSetupConfigurator)
  if(KV_DEMO_KEY_BUILT_IN)
    string(APPEND CPACK_KV_MSI_PRODUCT_NAME " (demo key)")
  endif()
  find_program(CPACK_KV_WIXL wixl REQUIRED)
  find_program(CPACK_KV_MSIBUILD msibuild REQUIRED)
  find_program(CPACK_KV_MSIINFO msiinfo REQUIRED)
  find_program(CPACK_KV_OSSLSIGNCODE osslsigncode REQUIRED)
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
