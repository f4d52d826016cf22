# CPack External-generator script: builds the Windows Installer package from the staged files
# with wixl (packaging/KVSetupConfigurator.wxs), then with msibuild adds what wixl cannot write:
# the system PATH entry for the install folder (an Environment row that appends the folder on
# install and takes just that part out again on uninstall, with the actions that apply it), a
# plain Start-menu shortcut (wixl only writes advertised ones) and upgrades within one version.
# Signs the package when the release names a certificate (Signing.cmake).
set(staged "${CPACK_TEMPORARY_DIRECTORY}")
set(msi "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.msi")

# run(WHAT COMMAND...): runs a tool, ends the packaging with its output when it fails.
function(run what)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${staged}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${output}")
  endif()
  set(run_output "${output}" PARENT_SCOPE)
endfunction()

# wixl finds the files a .wxs names only beside it: the description and the icon join the staged
# files, which the MSI names one by one.
file(REMOVE "${msi}")
file(COPY ${CPACK_KV_WXS} ${CPACK_KV_ICON} DESTINATION "${staged}")
get_filename_component(wxs "${CPACK_KV_WXS}" NAME)
get_filename_component(icon "${CPACK_KV_ICON}" NAME)
run(wixl ${CPACK_KV_WIXL} --arch x64 -o ${msi}
    -D Version=${CPACK_KV_MSI_VERSION} -D UpgradeCode=${CPACK_KV_MSI_UPGRADE_CODE}
    -D ProductName=${CPACK_KV_MSI_PRODUCT_NAME}
    -D Manufacturer=${CPACK_PACKAGE_VENDOR} -D Summary=${CPACK_PACKAGE_DESCRIPTION_SUMMARY}
    -D HelpLink=${CPACK_KV_HELP_URL} -D Icon=${icon} ${wxs})

# packaging/Environment.idt appends the install folder to the machine's Path: "=" sets the
# variable on install, "-" takes the folder out again on uninstall, "*" makes it the machine's,
# and "[~];" keeps the value already there in front of the folder.
set(queries "UPDATE `Shortcut` SET `Target` = '[#WindowProgram]' WHERE `Shortcut` = 'StartMenu'"
# A rebuilt package of the same version replaces the installed one instead of joining it as a
# second product: the upgrade search includes its own version (VersionMaxInclusive).
  "DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'"
  "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES ('{${CPACK_KV_MSI_UPGRADE_CODE}}', '${CPACK_KV_MSI_VERSION}', 513, 'WIX_UPGRADE_DETECTED')")
# The two actions that apply the table, at their standard places (after RemoveFiles and after
# the registry is written) when wixl's sequence lacks them.
run(msiinfo ${CPACK_KV_MSIINFO} export ${msi} InstallExecuteSequence)
foreach(action_at RemoveEnvironmentStrings:3300 WriteEnvironmentStrings:5200)
  string(REPLACE ":" ";" action_at "${action_at}")
  list(GET action_at 0 action)
  list(GET action_at 1 sequence)
  if(NOT run_output MATCHES "(^|\n)${action}\t")
    list(APPEND queries "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('${action}', ${sequence})")
  endif()
endforeach()
set(arguments -i ${CPACK_KV_ENVIRONMENT_TABLE})
foreach(query IN LISTS queries)
  list(APPEND arguments -q "${query}")
endforeach()
run(msibuild ${CPACK_KV_MSIBUILD} ${msi} ${arguments})

if(CPACK_KV_SIGN_PKCS12)
  include(${CMAKE_CURRENT_LIST_DIR}/Signing.cmake)
  kv_sign_file("${msi}")
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES "${msi}")
