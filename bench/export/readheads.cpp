// The reference of the export benchmark: one process that lists a folder, sorts the names and
// reads the first 64 KiB of each file, with plain system calls and nothing else.
//
//   bench_readheads FOLDER

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char* argv[]) {
    if (argc != 2)
        return 2;
    const std::string folder = argv[1];
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 1;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    static char buffer[64 * 1024];
    long long total = 0;
    for (const std::string& name : names) {
        const int fd = ::open((folder + '/' + name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        total += n > 0 ? n : 0;
        ::close(fd);
    }
    std::printf("%zu files, %lld bytes\n", names.size(), total);
    return total > 0 ? 0 : 1;
}
