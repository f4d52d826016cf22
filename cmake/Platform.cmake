# Picks the platform backend source of a module: NAME_posix.cpp on Linux, NAME_win32.cpp on
# Windows. Logic files never test the platform themselves.
function(kv_platform_source out_var base)
  set(${out_var} "${base}_${KV_PLATFORM}.cpp" PARENT_SCOPE)
endfunction()
