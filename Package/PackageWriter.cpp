#include "PackageWriter.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "LittleEndian.h"
#include "Package.h"
#include "StreamCompressor.h"

bool FileSink::Write(const void* bytes, size_t length)
{
    return length == 0 || fwrite(bytes, 1, length, file) == length;
}

bool FileSink::Patch(uint64_t offset, const void* bytes, size_t length)
{
    if (fflush(file) != 0)
        return false;
#ifdef _WIN32
    int64_t here = _ftelli64(file);
    if (_fseeki64(file, static_cast<int64_t>(offset), SEEK_SET) != 0)
        return false;
    bool ok = fwrite(bytes, 1, length, file) == length;
    return _fseeki64(file, here, SEEK_SET) == 0 && ok;
#else
    off_t here = ftello(file);
    if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0)
        return false;
    bool ok = fwrite(bytes, 1, length, file) == length;
    return fseeko(file, here, SEEK_SET) == 0 && ok;
#endif
}

bool MemorySink::Write(const void* data, size_t length)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + length);
    return true;
}

bool MemorySink::Patch(uint64_t offset, const void* data, size_t length)
{
    if (offset + length > bytes.size())
        return false;
    memcpy(bytes.data() + offset, data, length);
    return true;
}

namespace {

// One compressed file, handed from a worker to the writing thread.
struct Compressed {
    bool ready = false;
    bool failed = false;
    std::string error;
    uint32_t size = 0;
    uint32_t checksum = 0;
    uint64_t streamHash = 0;
    size_t duplicateOf = SIZE_MAX;   // the earlier file (position in `files`) of the same content
    std::vector<uint8_t> stream;
};

// A 64-bit hash of some bytes, word by word (several GB a second): with
// their size and Adler-32 it tells identical contents (and streams) apart
// from all others.
uint64_t BytesHash(const void* bytes, size_t length)
{
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    uint64_t hash = 0x243F6A8885A308D3ull ^ length;
    size_t at = 0;
    for (; at + 8 <= length; at += 8) {
        uint64_t word;
        memcpy(&word, p + at, 8);
        hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
        hash ^= hash >> 29;
    }
    for (; at < length; ++at)
        hash = (hash ^ p[at]) * 0x100000001B3ull;
    return hash ^ (hash >> 32);
}

// The contents seen so far, shared by the compressing threads: a file whose
// content an earlier file has (by position) is not compressed again.
class ContentIndex {
public:
    // The earlier position of the same content, or SIZE_MAX (then this
    // position is remembered for the content, unless an earlier one is).
    size_t Claim(uint32_t size, uint32_t checksum, uint64_t hash, size_t position)
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto found = seen_.emplace(Key{size, checksum, hash}, position);
        if (found.second)
            return SIZE_MAX;
        if (found.first->second < position)
            return found.first->second;
        found.first->second = position;   // a later position got here first; it is compressed all the same
        return SIZE_MAX;
    }

private:
    struct Key {
        uint32_t size, checksum;
        uint64_t hash;
        bool operator<(const Key& o) const
        {
            return hash != o.hash ? hash < o.hash : size != o.size ? size < o.size : checksum < o.checksum;
        }
    };
    std::mutex lock_;
    std::map<Key, size_t> seen_;
};

// What identifies a stream already written.
struct StreamKey {
    uint32_t size, checksum, length;
    uint64_t hash;
    bool operator<(const StreamKey& o) const
    {
        if (hash != o.hash)
            return hash < o.hash;
        if (size != o.size)
            return size < o.size;
        if (checksum != o.checksum)
            return checksum < o.checksum;
        return length < o.length;
    }
};

bool ReadWholeFile(const std::filesystem::path& path, std::string* content, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path.u8string() + ": cannot be read";
        return false;
    }
    std::error_code ec;
    uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        *error = path.u8string() + ": cannot be read";
        return false;
    }
    if (size > 0xFFFFFFFFu) {
        *error = path.u8string() + ": larger than 4 GB, which a package entry cannot hold";
        return false;
    }
    content->resize(static_cast<size_t>(size));
    if (size > 0 && !in.read(&(*content)[0], static_cast<std::streamsize>(size))) {
        *error = path.u8string() + ": cannot be read";
        return false;
    }
    // The file may have grown since its size was taken: only a clean end counts.
    if (in.peek() != std::char_traits<char>::eof()) {
        *error = path.u8string() + ": changed while it was read";
        return false;
    }
    return true;
}

std::string CompressFailureText(int code)
{
    switch (code) {
    case CompressNoMemory:
        return "out of memory";
    case CompressTooLarge:
        return "too large for one stream";
    default:
        return std::string(CompressorName()) + " error";
    }
}

void CompressItem(const PackItem& item, size_t position, ContentIndex& contents, StreamCompressor& compressor,
                  Compressed* out)
{
    std::string loaded;
    const std::string* content = &item.content;
    if (!item.source.empty()) {
        if (!ReadWholeFile(item.source, &loaded, &out->error)) {
            out->failed = true;
            return;
        }
        content = &loaded;
    }
    if (content->size() > 0xFFFFFFFFu) {
        out->failed = true;
        out->error = item.name + ": larger than 4 GB, which a package entry cannot hold";
        return;
    }
    out->size = static_cast<uint32_t>(content->size());
    out->checksum = PackageAdler32(content->data(), content->size());
    out->duplicateOf = contents.Claim(out->size, out->checksum, BytesHash(content->data(), content->size()), position);
    if (out->duplicateOf != SIZE_MAX)
        return;
    int code = compressor.Compress(content->data(), content->size(), &out->stream);
    if (code != CompressOk) {
        out->failed = true;
        out->error = item.name + ": cannot be compressed (" + CompressFailureText(code) + ")";
        return;
    }
    out->streamHash = BytesHash(out->stream.data(), out->stream.size());
}

}  // namespace

bool WritePackageArchive(const std::vector<PackItem>& items, uint64_t prefixLength, ArchiveSink& sink,
                         const PackOptions& options, std::string* error)
{
    std::string scratch;
    if (!error)
        error = &scratch;
    if (items.empty() || items[0].parent != -1) {
        *error = "the first item must be the root";
        return false;
    }
    if (static_cast<uint64_t>(items.size()) * PackageEntryRecordSize > 0xFFFFFFFFu) {
        *error = "too many entries for one package";
        return false;
    }
    for (size_t i = 1; i < items.size(); ++i) {
        if (items[i].parent < 0 || static_cast<size_t>(items[i].parent) >= i || !items[items[i].parent].directory) {
            *error = "item " + items[i].name + " does not follow its parent directory";
            return false;
        }
        if (items[i].name.empty() || items[i].name.size() >= PackageNameSize) {
            *error = "the name " + items[i].name + " is empty or longer than 259 bytes";
            return false;
        }
    }

    std::vector<PackageEntry> directory(items.size());
    memset(directory.data(), 0, directory.size() * sizeof(PackageEntry));
    std::vector<size_t> files;
    std::vector<uint64_t> fileBytes;   // each file's size as listed, for the workers' claims
    uint64_t totalBytes = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        PackageEntry& e = directory[i];
        memcpy(e.name, items[i].name.data(), std::min<size_t>(items[i].name.size(), PackageNameSize - 1));
        e.parent = items[i].parent;
        if (i == 0) {
            e.attributes = 0;
        } else if (items[i].directory) {
            e.attributes = PackageAttributeDirectory;
        } else {
            e.attributes = PackageAttributeFile;
            files.push_back(i);
            std::error_code ec;
            uint64_t bytes = items[i].source.empty() ? items[i].content.size()
                                                     : std::filesystem::file_size(items[i].source, ec);
            if (ec)
                bytes = 0;
            fileBytes.push_back(bytes);
            totalBytes += bytes;
        }
    }

    uint8_t header[PackageHeaderSize] = {};
    WriteLittle32(header, PackageMagic);
    if (!sink.Write(header, sizeof header)) {
        *error = "cannot write the output";
        return false;
    }

    // Workers compress files ahead of the writer, which takes them in order.
    // How far ahead: two files for each worker, and beyond that as many
    // small files as hold ClaimAheadBytes together.  Memory stays bounded
    // either way; the many small files of a source tree, whose times vary
    // widely, would otherwise keep a worker waiting for the writer behind one
    // slow file.
    unsigned threads = options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
    const size_t window = static_cast<size_t>(threads) * 2;
    constexpr size_t ClaimAheadFiles = 1024;
    constexpr uint64_t ClaimAheadBytes = 32u << 20;
    std::vector<Compressed> results(files.size());
    ContentIndex contents;
    std::mutex lock;
    std::condition_variable changed;
    size_t nextToClaim = 0, written = 0;
    uint64_t claimedBytes = 0;   // of the files claimed and not yet written
    bool stop = false;
    auto mayClaim = [&] {
        if (nextToClaim < written + window)
            return true;
        return nextToClaim < written + ClaimAheadFiles && claimedBytes + fileBytes[nextToClaim] <= ClaimAheadBytes;
    };

    auto worker = [&]() {
        StreamCompressor compressor(options.level);
        for (;;) {
            size_t index;
            {
                std::unique_lock<std::mutex> guard(lock);
                changed.wait(guard, [&] { return stop || nextToClaim >= files.size() || mayClaim(); });
                if (stop || nextToClaim >= files.size())
                    return;
                index = nextToClaim++;
                claimedBytes += fileBytes[index];
            }
            Compressed result;
            CompressItem(items[files[index]], index, contents, compressor, &result);
            {
                std::lock_guard<std::mutex> guard(lock);
                result.ready = true;
                results[index] = std::move(result);
            }
            changed.notify_all();
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads && t < files.size(); ++t)
        pool.emplace_back(worker);

    // A file whose content another file has already gets a record that
    // points at that stream instead of a copy of it, as installers of large
    // products do; the reader takes any stream inside the data region.  Most
    // such files are found before they are compressed (ContentIndex); one
    // compressed in the same moment as its twin is found here, by its stream
    // (the encoder gives the same bytes for the same content), so the
    // package does not depend on the threads.
    std::map<StreamKey, uint32_t> writtenStreams;   // -> offset
    bool ok = true;
    uint64_t dataSize = 0, doneBytes = 0;
    uint32_t dataChecksum = PackageAdler32(nullptr, 0);
    for (size_t k = 0; k < files.size() && ok; ++k) {
        Compressed result;
        {
            std::unique_lock<std::mutex> guard(lock);
            changed.wait(guard, [&] { return results[k].ready; });
            result = std::move(results[k]);
            results[k] = Compressed();
            written = k + 1;
            claimedBytes -= fileBytes[k];
        }
        changed.notify_all();
        if (result.failed) {
            *error = result.error;
            ok = false;
            break;
        }
        if (dataSize + result.stream.size() > 0xFFFFFFFFu) {
            *error = "the compressed files exceed 4 GB, which one package cannot hold";
            ok = false;
            break;
        }
        PackageEntry& e = directory[files[k]];
        if (result.duplicateOf != SIZE_MAX) {
            // Its content's stream is written already (or shared in its turn).
            const PackageEntry& first = directory[files[result.duplicateOf]];
            e.size = first.size;
            e.compressedSize = first.compressedSize;
            e.offset = first.offset;
            e.checksum = first.checksum;
            doneBytes += result.size;
            if (options.progress)
                options.progress(doneBytes, totalBytes);
            continue;
        }
        e.size = result.size;
        e.compressedSize = static_cast<uint32_t>(result.stream.size());
        e.offset = static_cast<uint32_t>(dataSize);
        e.checksum = result.checksum;
        StreamKey key = {e.size, e.checksum, e.compressedSize, result.streamHash};
        auto same = writtenStreams.find(key);
        if (same != writtenStreams.end()) {
            e.offset = same->second;
            doneBytes += result.size;
            if (options.progress)
                options.progress(doneBytes, totalBytes);
            continue;
        }
        writtenStreams.emplace(key, e.offset);
        if (!sink.Write(result.stream.data(), result.stream.size())) {
            *error = "cannot write the output";
            ok = false;
            break;
        }
        dataChecksum = PackageAdler32(result.stream.data(), result.stream.size(), dataChecksum);
        dataSize += result.stream.size();
        doneBytes += result.size;
        if (options.progress)
            options.progress(doneBytes, totalBytes);
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        stop = true;
    }
    changed.notify_all();
    for (std::thread& t : pool)
        t.join();
    if (!ok)
        return false;

    size_t rawLength = directory.size() * sizeof(PackageEntry);
    std::vector<uint8_t> packedDirectory;
    StreamCompressor directoryCompressor(options.level);
    int code = directoryCompressor.Compress(directory.data(), rawLength, &packedDirectory);
    if (code != CompressOk) {
        *error = "cannot compress the directory (" + CompressFailureText(code) + ")";
        return false;
    }
    uint64_t total = prefixLength + PackageHeaderSize + dataSize + packedDirectory.size();
    uint64_t padding = (4 - total % 4) % 4;
    if (total + padding > 0xFFFFFFFFu) {
        *error = "the package would exceed 4 GB, which the format cannot address";
        return false;
    }
    static const uint8_t zeros[4] = {0, 0, 0, 0};
    if (!sink.Write(packedDirectory.data(), packedDirectory.size()) || !sink.Write(zeros, padding)) {
        *error = "cannot write the output";
        return false;
    }
    WriteLittle32(header + 4, static_cast<uint32_t>(dataSize));
    WriteLittle32(header + 8, static_cast<uint32_t>(packedDirectory.size()));
    WriteLittle32(header + 12, PackageAdler32(directory.data(), rawLength));
    WriteLittle32(header + 16, static_cast<uint32_t>(directory.size()));
    WriteLittle32(header + 20, dataChecksum);
    WriteLittle32(header + 24, PackageAdler32(packedDirectory.data(), packedDirectory.size()));
    if (!sink.Patch(prefixLength, header, sizeof header)) {
        *error = "cannot write the output";
        return false;
    }
    return true;
}
