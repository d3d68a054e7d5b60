// Leaves a mark the moment it runs (the file its first argument names), then stays for the
// seconds its second argument gives.
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char* argv[])
{
    if (argc > 1)
        ::close(::open(argv[1], O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    if (argc > 2)
        ::sleep(unsigned(std::atoi(argv[2])));
    return 0;
}
