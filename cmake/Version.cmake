# KV_VERSION: the version every program shows and every package is named with. It is the project
# version, with "-demo" added when the public demo key is the built-in package key, so that such
# a build can never pass for a vendor's release. Programs take it from the kv_version target as
# KV_PROGRAM_VERSION.
set(KV_VERSION ${PROJECT_VERSION})
if(KV_DEMO_KEY_BUILT_IN)
  string(APPEND KV_VERSION "-demo")
endif()
add_library(kv_version INTERFACE)
target_compile_definitions(kv_version INTERFACE KV_PROGRAM_VERSION="${KV_VERSION}")
