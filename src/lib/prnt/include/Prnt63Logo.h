// The logo directory of a model-6397 printer and its files on the host. The directory
// (LogoFile) records which logos the printer holds: the checksum the printer reported after
// the last logo store, the logo memory used and one entry per logo number 1 to 61 (its CRC,
// length, present flag and file name). It is kept as a file of 16112 bytes, little-endian;
// each logo's data are kept in a file of their own.
#pragma once

#include <cstdint>
#include <string>

enum : int {
    PRN63_LOGO_FIRST = 1,
    PRN63_LOGO_LAST = 61,
    PRN63_LOGO_ENTRIES = 61,
    PRN63_LOGO_NAME_SIZE = 256,   // a name of at most 255 characters and its terminating 0
    PRN63_LOGO_ENTRY_SIZE = 264,
    PRN63_LOGO_FILE_SIZE = 16112,
};

struct LogoEntry {
    uint16_t number = 0;
    uint16_t crc = 0;
    uint16_t length = 0;
    uint16_t present = 0;
    char fileName[PRN63_LOGO_NAME_SIZE] = {};
};

struct LogoFile {
    uint16_t checksum = 0;
    uint16_t unused = 0;
    uint32_t memoryUsed = 0;
    LogoEntry entries[PRN63_LOGO_ENTRIES];
};

// The 16112 bytes of the directory file, and back. Reading takes every name only up to its
// first 0 byte (a name filling all 256 bytes becomes empty): no name runs into the next field.
void Prnt63EncodeLogoFile(const LogoFile& in, unsigned char out[PRN63_LOGO_FILE_SIZE]);
void Prnt63DecodeLogoFile(const unsigned char in[PRN63_LOGO_FILE_SIZE], LogoFile& out);

// The name of a logo's file (number 1 to 61) or of the directory file (number 0), under
// OVK_ROOT: "<dir>/6397-<serial>-logo-NN.dat" or "<dir>/6397-<serial>.dat", where dir is the
// configuration's "logo-dir" when set, else "/var/log". Empty when the name would exceed 255
// characters or the number is outside 0 to 61.
std::string Prnt63LogoFileName(const std::string& dir, const char* serial, int number);
// The same with the configured directory, in a buffer that the next call overwrites; null
// when no name can be formed.
const char* GetPrinterLogoFileName(const char* serial, int number);

// Create or replace the file (mode bits masked by 022 for the call) and write n bytes, or
// the 16112 bytes of the directory: 0 when all were written, else -1.
int WriteLogoFile(const char* path, const unsigned char* data, int n);
int WritePrinterLogoFile(const char* path, const LogoFile* file);
// Read n bytes, or the 16112 bytes of the directory: 0, or -1 when the file cannot be
// opened or is short.
int ReadLogoFile(const char* path, unsigned char* buf, int n);
int ReadPrinterLogoFile(const char* path, LogoFile* file);

// 0 when data (n bytes) are logo data for the directory: number 1 to 61, then width x and
// height y, n = x * y * 8 + 3; else 4914.
int Prnt63CheckLogoData(const unsigned char* data, int n);
