// A child for the live process tests: `burn` keeps one processor busy, `hold MIB` keeps that
// much memory of its own resident; both print "ready" once they are doing so and run until
// they are killed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "burn") == 0) {
        std::puts("ready");
        std::fflush(stdout);
        volatile unsigned long spin = 0;
        for (;;)
            spin = spin + 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "hold") == 0) {
        const std::size_t bytes = std::strtoul(argv[2], nullptr, 10) << 20;
        void* memory =
            ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED)
            return 1;
        const long page = ::sysconf(_SC_PAGESIZE);
        for (std::size_t at = 0; at < bytes; at += static_cast<std::size_t>(page))
            static_cast<volatile char*>(memory)[at] = 1;
        std::puts("ready");
        std::fflush(stdout);
        for (;;)
            ::pause();
    }
    std::fprintf(stderr, "usage: %s burn | hold MIB\n", argv[0]);
    return 2;
}
