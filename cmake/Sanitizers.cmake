# Sanitizers for the whole build, chosen by QUORVEL_SANITIZE: "address" (or
# ON, as before there was a choice) is AddressSanitizer with
# UndefinedBehaviorSanitizer, "thread" is ThreadSanitizer. Their runtimes come
# with the executables, so QUORVEL_SANITIZER_FLAGS (empty without a
# sanitizer) also tells the shared library not to insist on resolving every
# symbol at link time.
string(TOLOWER "${QUORVEL_SANITIZE}" quorvel_sanitize)
set(QUORVEL_SANITIZER_FLAGS "")
if(quorvel_sanitize STREQUAL "thread")
  set(QUORVEL_SANITIZER_FLAGS -fsanitize=thread)
elseif(quorvel_sanitize MATCHES "^(address|on|yes|true|1)$")
  set(QUORVEL_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined)
elseif(NOT quorvel_sanitize MATCHES "^(off|no|false|0|)$")
  message(FATAL_ERROR "QUORVEL_SANITIZE is address, thread or OFF, not '${QUORVEL_SANITIZE}'")
endif()
if(QUORVEL_SANITIZER_FLAGS)
  add_compile_options(${QUORVEL_SANITIZER_FLAGS} -fno-omit-frame-pointer -g)
  add_link_options(${QUORVEL_SANITIZER_FLAGS})
endif()
