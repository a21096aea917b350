// The base block of a registry hive file ("regf"), checked without the registry: a restore
// must not put a saved file in place of a hive when its header alone shows that the
// registry will refuse it, and the DOS program has no registry to ask at all.
//
// Header-only and free of any library, so that the Windows programs and the DOS program
// judge a file alike. Only the saved file is judged this way: the live file a restore
// replaces may be anything (a damaged hive is the usual reason to restore).
#pragma once
#include <stdint.h>

namespace regf {

// Bytes of the base block that the checks read: the checksum covers the first 508, and
// the sum itself is at 508.
const int kCbHead = 512;
// The base block is a whole page; the hive bins follow it.
const uint32_t kCbBaseBlock = 4096;

enum class Verdict {
    NotRegf,  // does not begin with the signature: another format, judged by others
    Sound,    // signature, checksum, sequence numbers and size agree
    Broken,   // begins like a hive file but its base block is damaged or cut off
};

inline uint32_t readU32(const unsigned char* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// The checksum the registry keeps at offset 508: the XOR of the first 127 double words,
// with 0 written as 1 and all ones as all ones less one.
inline uint32_t checksumOf(const unsigned char* head) {
    uint32_t sum = 0;
    for (int i = 0; i < 508; i += 4) sum ^= readU32(head + i);
    if (sum == 0) return 1;
    if (sum == 0xFFFFFFFFu) return 0xFFFFFFFEu;
    return sum;
}

// head: the first cbHead bytes of the file (kCbHead when it has that many); cbFile: the
// file's whole size. A file with the signature is sound when its checksum is right, its
// two sequence numbers are equal (a save completed) and the hive bins it declares fit
// inside the file.
inline Verdict checkBaseBlock(const unsigned char* head, int cbHead, uint32_t cbFile) {
    if (cbHead < 4 || head[0] != 'r' || head[1] != 'e' || head[2] != 'g' || head[3] != 'f') return Verdict::NotRegf;
    if (cbHead < kCbHead || cbFile < kCbBaseBlock) return Verdict::Broken;
    if (readU32(head + 508) != checksumOf(head)) return Verdict::Broken;
    if (readU32(head + 4) != readU32(head + 8)) return Verdict::Broken;
    const uint32_t cbBins = readU32(head + 40);
    if (cbBins > cbFile - kCbBaseBlock) return Verdict::Broken;
    return Verdict::Sound;
}

}  // namespace regf
