# Sanitizer and fuzzing builds, in one place.
#
# GCSDK_SANITIZE: OFF, or ON / address (AddressSanitizer with UndefinedBehaviorSanitizer).
# GCSDK_FUZZ: the libFuzzer targets; it brings the address set when GCSDK_SANITIZE names none.
# Afterwards GCSDK_SANITIZERS lists the sanitizers in play (empty in a normal build), for the few
# places that must know.
set(GCSDK_SANITIZE OFF CACHE STRING "Sanitizers: OFF, ON or address (ASan+UBSan)")
set_property(CACHE GCSDK_SANITIZE PROPERTY STRINGS OFF ON address)

string(TOLOWER "${GCSDK_SANITIZE}" _gcsdk_sanitize)
if(_gcsdk_sanitize MATCHES "^(|off|no|false|0)$")
  set(GCSDK_SANITIZERS "")
elseif(_gcsdk_sanitize MATCHES "^(on|yes|true|1|address)$")
  set(GCSDK_SANITIZERS address undefined)
else()
  message(FATAL_ERROR "GCSDK_SANITIZE=${GCSDK_SANITIZE}: use OFF, ON or address")
endif()
if(GCSDK_FUZZ AND NOT GCSDK_SANITIZERS)
  set(GCSDK_SANITIZERS address undefined)
endif()

if(GCSDK_SANITIZERS)
  list(JOIN GCSDK_SANITIZERS "," _gcsdk_sanitize_list)
  add_compile_options(-fsanitize=${_gcsdk_sanitize_list} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${_gcsdk_sanitize_list})
  if("undefined" IN_LIST GCSDK_SANITIZERS)
    # Undefined behaviour stops the program, as a memory error does.
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()
if(GCSDK_FUZZ)
  # Coverage for the fuzzer in all our code; only the fuzz targets link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
