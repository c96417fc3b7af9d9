# Sanitizer and fuzzing builds, in one place.
#
# GCSDK_SANITIZE: OFF, ON / address (AddressSanitizer with UndefinedBehaviorSanitizer), or thread
# (ThreadSanitizer, scripts/tsan.sh).
# GCSDK_FUZZ: the libFuzzer targets; it brings the address set when GCSDK_SANITIZE names none.
# Afterwards GCSDK_SANITIZERS lists the sanitizers in play (empty in a normal build), for the few
# places that must know.
set(GCSDK_SANITIZE OFF CACHE STRING "Sanitizers: OFF, ON or address (ASan+UBSan), or thread")
set_property(CACHE GCSDK_SANITIZE PROPERTY STRINGS OFF ON address thread)

string(TOLOWER "${GCSDK_SANITIZE}" _gcsdk_sanitize)
if(_gcsdk_sanitize MATCHES "^(|off|no|false|0)$")
  set(GCSDK_SANITIZERS "")
elseif(_gcsdk_sanitize MATCHES "^(on|yes|true|1|address)$")
  set(GCSDK_SANITIZERS address undefined)
elseif(_gcsdk_sanitize STREQUAL "thread")
  if(GCSDK_FUZZ)
    message(FATAL_ERROR "GCSDK_FUZZ needs AddressSanitizer; it cannot be built with GCSDK_SANITIZE=thread")
  endif()
  set(GCSDK_SANITIZERS thread)
else()
  message(FATAL_ERROR "GCSDK_SANITIZE=${GCSDK_SANITIZE}: use OFF, ON, address or thread")
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
