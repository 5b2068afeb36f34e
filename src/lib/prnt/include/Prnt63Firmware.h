// The firmware file of a model-6397 printer: which file a printer of a subtype takes, and
// the levels its header states. The header is the file's first line, "EcLevel <hex>", and for
// a subtype other than 0 its second line, "RevisionLevel <hex>" (a "BootLevel" line is not
// one); a missing or malformed line counts as 0. Every read is bounded by the bytes given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct Prnt63FirmwareHeader {
    uint32_t ecLevel = 0;
    uint32_t revision = 0;
};

// The file name of a subtype, or null when no file belongs to it.
const char* Prnt63FirmwareFile(int subtype, bool featureBit1, bool featureBit5);

// The header of the file text (n bytes, not necessarily terminated).
Prnt63FirmwareHeader Prnt63ReadFirmwareHeader(const char* text, size_t n, int subtype);

// The header of a file: 0, or 316 when it cannot be opened. Only its first two lines are
// read (at most 256 bytes).
int Prnt63ReadFirmwareHeaderFile(const std::string& path, int subtype, Prnt63FirmwareHeader& out);
