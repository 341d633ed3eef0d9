#include "VeltraneVersion.hpp"

#include <cstdio>

int main(int argc, char** argv)
{
    std::printf("Veltrane %s\n", veltrane::kVeltraneVersion);
    return 0;
}
