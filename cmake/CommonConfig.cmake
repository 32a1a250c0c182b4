# Settings shared by every target of our own code. Targets link pelmora_options instead of
# repeating flags, so none of them can forget the warnings or the language level.
add_library(pelmora_options INTERFACE)
target_compile_features(pelmora_options INTERFACE cxx_std_20)
target_compile_options(pelmora_options INTERFACE
  -Wall -Wextra -Werror -Wnon-virtual-dtor -Wold-style-cast -Wshadow=local)

option(PELMORA_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(PELMORA_SANITIZE)
  target_compile_options(pelmora_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(pelmora_options INTERFACE -fsanitize=address,undefined)
endif()

# GCC 12 at -O2 and above reports overlapping copies inside std::string's operator+ that cannot
# happen (GCC bug 105651); the warning is off there so optimised builds of plain string code pass.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(pelmora_options INTERFACE -Wno-restrict)
endif()

# Hardening, as Debian builds its programs: the relocations are read-only and bound at start;
# optimised builds guard the stack and use the C library's checked string and memory functions
# (these need the optimiser to size the buffers; the sanitizer build checks more anyway).
target_link_options(pelmora_options INTERFACE -Wl,-z,relro -Wl,-z,now)
if(NOT PELMORA_SANITIZE)
  target_compile_options(pelmora_options INTERFACE
    $<$<NOT:$<CONFIG:Debug>>:-fstack-protector-strong>)
  target_compile_definitions(pelmora_options INTERFACE
    $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()
