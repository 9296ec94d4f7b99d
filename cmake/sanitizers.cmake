# Sanitizer builds of everything: the program, the modules, the tests.
option(ZORVA_ASAN "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(ZORVA_TSAN "Build with ThreadSanitizer" OFF)

if(ZORVA_ASAN AND ZORVA_TSAN)
  message(FATAL_ERROR "ZORVA_ASAN and ZORVA_TSAN exclude each other")
endif()

if(ZORVA_ASAN)
  # The vptr check needs the type_info of every class a module calls through,
  # and Session's lives in the program: modules link with --no-undefined.
  # Undefined behaviour stays recoverable only so that ubsan.supp can silence
  # a third-party header; UBSAN_OPTIONS=halt_on_error=1 stops at anything else.
  set(ZORVA_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize=vptr)
elseif(ZORVA_TSAN)
  set(ZORVA_SANITIZER_FLAGS -fsanitize=thread)
endif()

if(ZORVA_SANITIZER_FLAGS)
  add_compile_options(${ZORVA_SANITIZER_FLAGS} -fno-omit-frame-pointer)
  add_link_options(${ZORVA_SANITIZER_FLAGS})
endif()

# Coverage for libFuzzer in every library the fuzz targets link.
option(ZORVA_FUZZ "Build the fuzz targets as libFuzzer programs (clang)" OFF)
if(ZORVA_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
