// What the window costs a host over time: its idle calls at 30 a second,
// first with the plugin running (the cutoff moves, the plot is drawn at
// every call), then with the plugin stopped (nothing changes). Measured as
// the CPU time of the idle calls themselves and of the X server (a private
// Xvfb, which takes the pixels), against the wall time, at scale 1 and 2,
// with the pictures going through shared memory (MIT-SHM) and then with a
// server that does not offer it (as a remote one), through the socket.
// Usage: zt_ui_idle_bench [seconds per phase]
#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "ui_rig.h"

namespace {

double now(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// CPU seconds a process has used in all its threads, to the nanosecond (the
// scheduler's own count: /proc/PID/stat counts in ticks of 10 ms, too coarse
// for a server that works a fraction of a millisecond per picture).
double process_cpu(int pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task/";
    double ns = 0.0;
    DIR* dir = opendir(tasks.c_str());
    for (dirent* e; dir && (e = readdir(dir));) {
        std::ifstream stat(tasks + e->d_name + "/schedstat");
        double task_ns = 0.0;
        if (e->d_name[0] != '.' && stat >> task_ns) ns += task_ns;
    }
    if (dir) closedir(dir);
    return ns * 1e-9;
}

// The server the window draws on: the rig's, until a server without shared
// memory takes its place.
int g_server = 0;

// Starts Xvfb without MIT-SHM (as remote X is) on a free display and points
// DISPLAY at it; it ends with this process.
void use_server_without_shared_memory()
{
    int fds[2];
    if (pipe(fds) != 0) std::exit(1);
    g_server = fork();
    if (g_server == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (!std::freopen("/dev/null", "w", stderr)) _exit(127);  // its notes on displays already taken
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1600x1000x24", "-nolisten", "tcp",
               "-extension", "MIT-SHM", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char number[32] = {};
    if (read(fds[0], number, sizeof number - 1) <= 0) std::exit(1);  // written once it takes clients
    close(fds[0]);
    number[std::strcspn(number, "\n")] = '\0';
    setenv("DISPLAY", (std::string(":") + number).c_str(), 1);
}

void phase(zt_ui_test::UiRig& rig, const char* name, double seconds)
{
    const int calls = static_cast<int>(seconds * 30.0);
    const double wall0 = now(CLOCK_MONOTONIC), server0 = process_cpu(g_server);
    double idle_cpu = 0.0, worst = 0.0;
    for (int i = 0; i < calls; ++i) {
        const double t0 = now(CLOCK_THREAD_CPUTIME_ID);
        rig.idle_iface->idle(rig.ui);
        const double dt = now(CLOCK_THREAD_CPUTIME_ID) - t0;
        idle_cpu += dt;
        if (dt > worst) worst = dt;
        // The host's timer: the next call 1/30 s after this one began.
        const double next = wall0 + (i + 1) / 30.0;
        const double wait = next - now(CLOCK_MONOTONIC);
        if (wait > 0) usleep(static_cast<useconds_t>(wait * 1e6));
    }
    const double wall = now(CLOCK_MONOTONIC) - wall0;
    const double server = process_cpu(g_server) - server0;
    std::printf("  %-28s %4d idle calls: window %6.3f ms per call (worst %6.3f), %5.2f %% of a core; X server %5.2f %%\n",
                name, calls, 1e3 * idle_cpu / calls, 1e3 * worst, 100.0 * idle_cpu / wall, 100.0 * server / wall);
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    zt_ui_test::use_private_x_server();
    g_server = zt_ui_test::x_server_pid();
    zt_ui_test::RunningPlugin plugin;
    for (const bool shared_memory : {true, false}) {
        if (!shared_memory) use_server_without_shared_memory();
        for (const double scale : {1.0, 2.0}) {
            zt_ui_test::UiRig rig;
            zt_ui_test::Offer offer;
            offer.instance = plugin.handle;
            offer.scale = scale;
            if (!rig.open(offer)) {
                std::fprintf(stderr, "the window did not open\n");
                return 1;
            }
            rig.idle();
            std::printf("scale %.0f, %s:\n", scale, shared_memory ? "shared memory" : "no shared memory (socket)");
            plugin.start();
            phase(rig, "cutoff moving (30 Hz)", seconds);
            plugin.stop();
            rig.idle();
            phase(rig, "nothing changing", seconds);
        }
    }
    return 0;
}
