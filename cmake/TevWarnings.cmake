# The one warnings list of the project; every target of ours gets it, on both targets.
add_library(tev_warnings INTERFACE)
target_compile_options(tev_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Wformat=2
  -Wimplicit-fallthrough -Werror)
