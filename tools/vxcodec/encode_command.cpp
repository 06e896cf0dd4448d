#include "encode_command.h"

#include <cstdio>

int runEncodeCommand(int, char**)
{
    std::fprintf(stderr, "vxcodec: encoding is not available in this build\n");
    return 1;
}
