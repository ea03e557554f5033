#include <cstdio>

#include "app/DiskTool.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    // Texts and dump lines are byte-exact: no "\r" before the line ends.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    DiskTool tool(argc, argv);
    return tool.run();
}
