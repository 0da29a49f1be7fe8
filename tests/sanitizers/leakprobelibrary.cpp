// A library that, like many, allocates on loading and keeps the memory in a
// global until the process ends.
#include <cstdlib>

static void *kept = nullptr;

__attribute__((constructor)) static void keepSomething()
{
    kept = std::realloc(nullptr, 128);
}
