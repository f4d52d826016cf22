# kv_config: the package format, parser and signature check, with the public key built in.
#
# KV_PACKAGE_PUBLIC_KEY names the PEM file ("RSA PUBLIC KEY", PKCS#1) whose key the program
# trusts. The default is the demo key in keys/, whose private half is public: a vendor build must
# name its own public key here.
set(KV_DEMO_PUBLIC_KEY ${PROJECT_SOURCE_DIR}/keys/demo-public.pem)
set(KV_PACKAGE_PUBLIC_KEY ${KV_DEMO_PUBLIC_KEY} CACHE FILEPATH
    "PEM file (RSA PUBLIC KEY) of the key that signs trusted configuration packages")

if(NOT EXISTS ${KV_PACKAGE_PUBLIC_KEY})
  message(FATAL_ERROR "KV_PACKAGE_PUBLIC_KEY: no such file: ${KV_PACKAGE_PUBLIC_KEY}")
endif()
file(READ ${KV_PACKAGE_PUBLIC_KEY} KV_PACKAGE_PUBLIC_KEY_PEM)
# The key is built in with LF line ends only, whatever the file uses.
string(REPLACE "\r" "" KV_PACKAGE_PUBLIC_KEY_PEM "${KV_PACKAGE_PUBLIC_KEY_PEM}")
if(NOT KV_PACKAGE_PUBLIC_KEY_PEM MATCHES
   "^-----BEGIN RSA PUBLIC KEY-----\n[A-Za-z0-9+/=\n]+-----END RSA PUBLIC KEY-----\n$")
  message(FATAL_ERROR "KV_PACKAGE_PUBLIC_KEY: ${KV_PACKAGE_PUBLIC_KEY} is not a single PEM block "
                      "\"RSA PUBLIC KEY\" (make one with: openssl rsa -in PRIVATE.pem "
                      "-RSAPublicKey_out)")
endif()
file(SHA256 ${KV_DEMO_PUBLIC_KEY} kv_demo_key_hash)
string(SHA256 kv_built_in_key_hash "${KV_PACKAGE_PUBLIC_KEY_PEM}")
if(kv_built_in_key_hash STREQUAL kv_demo_key_hash)
  set(KV_DEMO_KEY_BUILT_IN ON CACHE INTERNAL "The demo public key is built in")
  message(WARNING "The package signature key is the public DEMO key (keys/demo-public.pem): "
                  "anybody can sign packages this program accepts as valid. A vendor build must "
                  "set -DKV_PACKAGE_PUBLIC_KEY=/path/to/its-own-public.pem.")
else()
  set(KV_DEMO_KEY_BUILT_IN OFF CACHE INTERNAL "The demo public key is built in")
endif()
get_filename_component(KV_PACKAGE_PUBLIC_KEY_NAME ${KV_PACKAGE_PUBLIC_KEY} NAME)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/BuiltInPublicKey.cpp.in
               ${CMAKE_CURRENT_BINARY_DIR}/BuiltInPublicKey.cpp @ONLY)

add_library(kv_config STATIC
  Base64.cpp
  ConfigPackage.cpp
  PackageEntries.cpp
  PackageLines.cpp
  PackageSignature.cpp
  ${CMAKE_CURRENT_BINARY_DIR}/BuiltInPublicKey.cpp)
target_include_directories(kv_config PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kv_config PUBLIC kv_setupfile PRIVATE kv_crypto)
