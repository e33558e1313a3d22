// The work no launcher can avoid, as one program: the three fixed shell
// commands through /bin/sh, then the start of one program in the background.
// Whole-process figures of the launcher are given as a ratio to this.
#include <unistd.h>

#include <cstdlib>
#include <initializer_list>

int main() {
    for (const char* command : {"mkdir -p /tmp/lwm2m/etc", "rm -rf /tmp/lwm2m/etc/*.*",
                                "rm -f /var/lwm2m_map.txt 2> /dev/null"}) {
        const int ignored = std::system(command);
        static_cast<void>(ignored);
    }
    if (::fork() == 0) {
        char program[] = "/opt/Quorvane/bin/lwm2mclient";
        char* const argv[] = {program, nullptr};
        ::execv(program, argv);
        ::_exit(127);
    }
    return 0;
}
