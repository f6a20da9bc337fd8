#include "unitVersion.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0)
    {
        std::printf("%s %s\n", wardlark::kProgramName, wardlark::kFullVersionText);
        return 0;
    }
    return 0;
}
