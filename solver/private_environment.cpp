// The first module of the solve's own namespace (private_library.hpp): the namespace's C library
// starts with the process's environment, and this replaces it before the linear-algebra library
// is loaded there and reads it.
#include <unistd.h>

extern "C" __attribute__((visibility("default"))) void zephor_private_set_environment(char** env) { environ = env; }
