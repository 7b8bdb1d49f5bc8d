#include "PackageWriter.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>
#include <zlib.h>

#include "Package.h"

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

static void PutLittle32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

namespace {

// One compressed file, handed from a worker to the writing thread.
struct Compressed {
    bool ready = false;
    bool failed = false;
    std::string error;
    uint32_t size = 0;
    uint32_t checksum = 0;
    std::vector<uint8_t> stream;
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

void CompressItem(const PackItem& item, int level, Compressed* out)
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
    uLongf bound = compressBound(static_cast<uLong>(content->size()));
    out->stream.resize(bound);
    int z = compress2(out->stream.data(), &bound, reinterpret_cast<const Bytef*>(content->data()),
                      static_cast<uLong>(content->size()), level);
    if (z != Z_OK) {
        out->failed = true;
        out->error = item.name + ": cannot be compressed (" + (z == Z_MEM_ERROR ? "out of memory" : "zlib error") + ")";
        return;
    }
    out->stream.resize(bound);
    out->size = static_cast<uint32_t>(content->size());
    out->checksum = PackageAdler32(content->data(), content->size());
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
    if (static_cast<uint64_t>(items.size()) * PACKAGE_ENTRY_SIZE > 0xFFFFFFFFu) {
        *error = "too many entries for one package";
        return false;
    }
    for (size_t i = 1; i < items.size(); ++i) {
        if (items[i].parent < 0 || static_cast<size_t>(items[i].parent) >= i || !items[items[i].parent].directory) {
            *error = "item " + items[i].name + " does not follow its parent directory";
            return false;
        }
        if (items[i].name.empty() || items[i].name.size() >= PACKAGE_NAME_SIZE) {
            *error = "the name " + items[i].name + " is empty or longer than 259 bytes";
            return false;
        }
    }
    int level = options.level < 0 ? 0 : (options.level > 9 ? 9 : options.level);

    std::vector<PackageEntry> directory(items.size());
    memset(directory.data(), 0, directory.size() * sizeof(PackageEntry));
    std::vector<size_t> files;
    uint64_t totalBytes = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        PackageEntry& e = directory[i];
        memcpy(e.name, items[i].name.data(), std::min<size_t>(items[i].name.size(), PACKAGE_NAME_SIZE - 1));
        e.parent = items[i].parent;
        if (i == 0) {
            e.attributes = 0;
        } else if (items[i].directory) {
            e.attributes = PACKAGE_ATTRIBUTE_DIRECTORY;
        } else {
            e.attributes = PACKAGE_ATTRIBUTE_FILE;
            files.push_back(i);
            std::error_code ec;
            totalBytes += items[i].source.empty() ? items[i].content.size()
                                                  : std::filesystem::file_size(items[i].source, ec);
        }
    }

    uint8_t header[PACKAGE_HEADER_SIZE] = {};
    PutLittle32(header, PACKAGE_MAGIC);
    if (!sink.Write(header, sizeof header)) {
        *error = "cannot write the output";
        return false;
    }

    // Workers compress files ahead of the writer, at most `window` of them at a
    // time so that memory stays bounded; the writer takes them in order.
    unsigned threads = options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
    const size_t window = static_cast<size_t>(threads) * 2;
    std::vector<Compressed> results(files.size());
    std::mutex lock;
    std::condition_variable changed;
    size_t nextToClaim = 0, written = 0;
    bool stop = false;

    auto worker = [&]() {
        for (;;) {
            size_t index;
            {
                std::unique_lock<std::mutex> guard(lock);
                changed.wait(guard, [&] { return stop || nextToClaim >= files.size() || nextToClaim < written + window; });
                if (stop || nextToClaim >= files.size())
                    return;
                index = nextToClaim++;
            }
            Compressed result;
            CompressItem(items[files[index]], level, &result);
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

    bool ok = true;
    uint64_t dataSize = 0, doneBytes = 0;
    uint32_t dataChecksum = adler32(0L, Z_NULL, 0);
    for (size_t k = 0; k < files.size() && ok; ++k) {
        Compressed result;
        {
            std::unique_lock<std::mutex> guard(lock);
            changed.wait(guard, [&] { return results[k].ready; });
            result = std::move(results[k]);
            results[k] = Compressed();
            written = k + 1;
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
        e.size = result.size;
        e.compressedSize = static_cast<uint32_t>(result.stream.size());
        e.offset = static_cast<uint32_t>(dataSize);
        e.checksum = result.checksum;
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
    uLongf bound = compressBound(static_cast<uLong>(rawLength));
    std::vector<uint8_t> packedDirectory(bound);
    if (compress2(packedDirectory.data(), &bound, reinterpret_cast<const Bytef*>(directory.data()),
                  static_cast<uLong>(rawLength), level) != Z_OK) {
        *error = "cannot compress the directory";
        return false;
    }
    packedDirectory.resize(bound);
    uint64_t total = prefixLength + PACKAGE_HEADER_SIZE + dataSize + packedDirectory.size();
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
    PutLittle32(header + 4, static_cast<uint32_t>(dataSize));
    PutLittle32(header + 8, static_cast<uint32_t>(packedDirectory.size()));
    PutLittle32(header + 12, PackageAdler32(directory.data(), rawLength));
    PutLittle32(header + 16, static_cast<uint32_t>(directory.size()));
    PutLittle32(header + 20, dataChecksum);
    PutLittle32(header + 24, PackageAdler32(packedDirectory.data(), packedDirectory.size()));
    if (!sink.Patch(prefixLength, header, sizeof header)) {
        *error = "cannot write the output";
        return false;
    }
    return true;
}

// Code points of the bytes 0x80 to 0x9F in Windows-1252; 0 where the code page
// leaves the byte undefined.  The bytes 0xA0 to 0xFF equal their code points.
static const uint16_t Windows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

bool Utf8ToWindows1252(const std::string& utf8, std::string* ansi)
{
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t code;
        size_t extra;
        if (c < 0x80) { code = c; extra = 0; }
        else if ((c & 0xE0) == 0xC0) { code = c & 0x1F; extra = 1; }
        else if ((c & 0xF0) == 0xE0) { code = c & 0x0F; extra = 2; }
        else if ((c & 0xF8) == 0xF0) { code = c & 0x07; extra = 3; }
        else return false;
        if (i + extra >= utf8.size())
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char d = static_cast<unsigned char>(utf8[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (d & 0x3F);
        }
        i += extra + 1;
        static const uint32_t smallest[4] = {0, 0x80, 0x800, 0x10000};
        if (code < smallest[extra])
            return false;   // an overlong form is not valid UTF-8
        if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
            out += static_cast<char>(code);
            continue;
        }
        int byte = -1;
        for (int k = 0; k < 32; ++k)
            if (Windows1252High[k] != 0 && Windows1252High[k] == code)
                byte = 0x80 + k;
        if (byte < 0)
            return false;
        out += static_cast<char>(byte);
    }
    *ansi = out;
    return true;
}

std::string Windows1252ToUtf8(const std::string& ansi)
{
    std::string out;
    for (unsigned char c : ansi) {
        uint32_t code = c;
        if (c >= 0x80 && c < 0xA0)
            code = Windows1252High[c - 0x80] ? Windows1252High[c - 0x80] : 0xFFFD;
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}
