// The fields of a Windows executable image that signing touches, for the tool
// that packs setups and checks them.
//
// An Authenticode signature covers the whole file except three things: the
// optional header's CheckSum field, the security directory entry (data
// directory 4, whose first field is a FILE offset, not an RVA) and the
// certificate table it names, which the signer appends at the end of the file,
// 8-byte aligned.  Everything after the image's last section is covered, so a
// package appended before signing lies inside the signed range.
//
// The PE checksum is the one's-complement sum of the file's 16-bit
// little-endian words (an odd last byte counts as a word of its own), its own
// field counted as zero, folded to 16 bits, plus the file's length.  Windows
// checks it only for drivers and some system files; signing tools write it,
// and so does `vellmark pack`.
#ifndef VELLMARK_PE_IMAGE_H
#define VELLMARK_PE_IMAGE_H

#include <cstddef>
#include <cstdint>

constexpr uint32_t PeChecksumOffset = 64;               // CheckSum, from the optional header's start
constexpr uint32_t PeSecurityDirectoryIndex = 4;        // IMAGE_DIRECTORY_ENTRY_SECURITY
constexpr uint32_t PeDataDirectorySize = 8;             // a directory entry: two 32-bit fields
constexpr uint32_t PeCertificateAlignment = 8;          // of the table and of each record in it
constexpr uint32_t PeCertificateHeaderSize = 8;         // WIN_CERTIFICATE before its bCertificate
constexpr uint16_t PeCertificateRevision2 = 0x0200;     // WIN_CERT_REVISION_2_0
constexpr uint16_t PeCertificatePkcsSignedData = 0x0002;   // WIN_CERT_TYPE_PKCS_SIGNED_DATA

constexpr uint16_t PeMachineI386 = 0x014C;             // IMAGE_FILE_MACHINE_I386
constexpr uint16_t PeMachineAmd64 = 0x8664;            // IMAGE_FILE_MACHINE_AMD64

// Where the signing fields of an image lie, and what they hold.
struct PeImageLayout {
    uint64_t imageEnd = 0;           // end of the last section (LocateImageEnd)
    uint16_t machine = 0;            // the file header's Machine (PeMachineI386, PeMachineAmd64, ...)
    bool pe32Plus = false;           // optional header magic 0x20B (64-bit) rather than 0x10B
    uint64_t checksumAt = 0;         // file offset of the CheckSum field
    uint32_t checksum = 0;           // the value stored there
    uint64_t securityEntryAt = 0;    // file offset of the security directory entry;
                                     // 0: the image has fewer than five data directories
    uint32_t certificateTableAt = 0;     // the entry's first field (a file offset); 0 when unsigned
    uint32_t certificateTableSize = 0;   // its second field
};

// Reads the layout of the image `image` of `size` bytes.  False when it is no
// executable image (LocateImageEnd gives 0), its optional header has an
// unknown magic or is too short for the CheckSum field, or a field it names
// lies outside `size`.  *layout is written only on true.
bool ReadPeImageLayout(const uint8_t* image, uint64_t size, PeImageLayout* layout);

// Zeroes the CheckSum field and the security directory entry of an image
// whose layout was read from the same bytes: a stub that was signed becomes
// one that claims no signature, whose checksum the packer writes anew.
void ClearSigningFields(uint8_t* image, const PeImageLayout& layout);

// The PE checksum over a file given in pieces, in order.  The four bytes at
// `checksumAt` count as zero whatever they hold.
class PeChecksum {
public:
    explicit PeChecksum(uint64_t checksumAt) : checksumAt(checksumAt) {}
    void Add(const void* bytes, size_t length);
    // The checksum of the bytes added so far, taken as the whole file.
    uint32_t Value() const;

private:
    void AddWords(const uint8_t* bytes, size_t length);   // at an even position, no field inside
    uint64_t checksumAt;
    uint64_t position = 0;     // bytes added so far
    uint64_t sum = 0;          // of the words, folded now and then
    int pendingLow = -1;       // the low byte of a word whose high byte comes next; -1 none
};

// The PE checksum of a whole file held in memory.
uint32_t ComputePeChecksum(const uint8_t* file, uint64_t size, uint64_t checksumAt);

// What the security directory entry of a file names.
enum {
    CertificateTableNone = 0,        // the entry is zero (or the image has none): unsigned
    CertificateTableSound = 1,       // records of the WIN_CERTIFICATE form fill the table, which
                                     // starts 8-byte aligned after the signed content and ends the file
    CertificateTableOutside = 2,     // the table reaches beyond the end of the file
    CertificateTableOverlaps = 3,    // the table starts inside the content it should follow
                                     // (the entry of a stub whose signature was cut off)
    CertificateTableNotAtEnd = 4,    // bytes follow the table: appended after signing
    CertificateTableMalformed = 5    // misaligned, or records that do not fill it exactly
};

// Checks the certificate table that `layout` (read from `file`) names
// against the file of `size` bytes, whose signed content (image and package)
// ends at `contentEnd`.  Returns a code above.
int CheckCertificateTable(const uint8_t* file, uint64_t size, const PeImageLayout& layout, uint64_t contentEnd);

#endif
