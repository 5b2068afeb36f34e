#include "FileHelpers.h"

#include <cerrno>
#include <cstdio>

int ReadFromFile(const char* path, void* buffer, int size) {
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::printf("OVKTSTR: Error %d on open of file '%s'\n", errno, path);
        return -1;
    }
    int result = -1;
    long length = 0;
    int rc;
    if ((rc = std::fseek(f, 0, SEEK_END)) != 0) {
        std::printf("OVKTSTR: Error %d/%d on seek_end of file '%s'\n", rc, errno, path);
    } else if ((length = std::ftell(f)) <= 0) {
        // An empty file is refused like an unreadable one.
        std::printf("OVKTSTR: Error %d/%d on ftell of file '%s'\n", -1, length < 0 ? errno : 0, path);
    } else if ((rc = std::fseek(f, 0, SEEK_SET)) != 0) {
        std::printf("OVKTSTR: Error %d/%d on seek_set of file '%s'\n", rc, errno, path);
    } else if (length > size) {
        std::printf("OVKTSTR: Buffer not big enough: have %d bytes, '%s' is %ld bytes long\n", size,
                    path, length);
        result = 0;
    } else {
        const size_t got = std::fread(buffer, 1, static_cast<size_t>(length), f);
        if (std::ferror(f)) {
            std::printf("OVKTSTR: Error %d reading file '%s'\n", errno, path);
        } else if (static_cast<long>(got) != length) {
            std::printf("OVKTSTR: Only read %d out of %ld bytes of file '%s'\n", static_cast<int>(got),
                        length, path);
        } else {
            std::printf("OVKTSTR: Read %d bytes from '%s'\n", static_cast<int>(got), path);
            result = static_cast<int>(got);
        }
    }
    std::fclose(f);
    return result;
}

int WriteToFile(const char* path, const void* data, int length) {
    FILE* f = std::fopen(path, "wb");
    if (!f) {
        std::printf("OVKTSTR: Error %d on open of file '%s'\n", errno, path);
        return -1;
    }
    const size_t put = std::fwrite(data, 1, static_cast<size_t>(length), f);
    const int error = std::ferror(f) ? errno : 0;
    const bool closed = std::fclose(f) == 0;
    if (error || !closed) {
        std::printf("OVKTSTR: Error %d writing file '%s'\n", error ? error : errno, path);
        return -1;
    }
    if (static_cast<int>(put) != length) {
        std::printf("OVKTSTR: Only wrote %d out of %d bytes of file '%s'\n", static_cast<int>(put),
                    length, path);
        return -1;
    }
    std::printf("OVKTSTR: Wrote %d bytes to '%s'\n", length, path);
    return length;
}
