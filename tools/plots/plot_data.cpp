// zt_plot_data responses DIR
// zt_plot_data modulation PREFIX SECONDS [symbol=value ...]
#include "plot_data.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "responses") == 0) return ztplots::write_responses(argv[2]);
    if (argc >= 4 && std::strcmp(argv[1], "modulation") == 0)
        return ztplots::write_modulation(argv[2], std::atof(argv[3]), argc - 4, argv + 4);
    std::fprintf(stderr,
                 "usage: %s responses DIR\n"
                 "       %s modulation PREFIX SECONDS [symbol=value ...]\n",
                 argv[0], argv[0]);
    return 2;
}
