# kv_sign_file(FILE): signs FILE in place with osslsigncode (Authenticode, SHA-256) when the
# release names a code-signing certificate. Used by the CPack scripts; the certificate comes from
# cpack -D CPACK_KV_SIGN_PKCS12=CERT.p12, its password from the file CPACK_KV_SIGN_PASSWORD_FILE
# (read by osslsigncode, never put on a command line) and a time-stamp server from
# CPACK_KV_SIGN_TIMESTAMP. A failure ends the packaging with one line naming the file and
# osslsigncode's reason.
function(kv_sign_file file)
  get_filename_component(name "${file}" NAME)
  set(command ${CPACK_KV_OSSLSIGNCODE} sign -pkcs12 ${CPACK_KV_SIGN_PKCS12} -h sha256
      -n ${CPACK_PACKAGE_NAME} -i ${CPACK_KV_HELP_URL})
  if(CPACK_KV_SIGN_PASSWORD_FILE)
    list(APPEND command -readpass ${CPACK_KV_SIGN_PASSWORD_FILE})
  endif()
  if(CPACK_KV_SIGN_TIMESTAMP)
    list(APPEND command -ts ${CPACK_KV_SIGN_TIMESTAMP})
  endif()
  # osslsigncode writes a new file; it replaces the unsigned one only when signing succeeded.
  set(signed "${file}.signed")
  file(REMOVE "${signed}")
  execute_process(COMMAND ${command} -in ${file} -out ${signed}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    # osslsigncode gives its reason first on standard error, then OpenSSL's error stack.
    string(STRIP "${errors}\n${output}" reason)
    string(REGEX REPLACE "\n.*" "" reason "${reason}")
    file(REMOVE "${signed}")
    message(FATAL_ERROR "kv-sign: signing ${name} failed: ${reason}")
  endif()
  file(RENAME "${signed}" "${file}")
  message(STATUS "Signed ${name}")
endfunction()
