#include <cstdio>
#include <cstdlib>

#include "console.h"

void attendreTouche()
{
    std::fflush(stdout);
    // The command interpreter prints its own prompt, reads the key and ends
    // the line.
    std::system("pause");  // NOLINT(cert-env33-c): the wait is the interpreter's own
}
