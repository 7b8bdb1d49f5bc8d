// A generated product tree of realistic size for the benchmarks: 2,000 files
// in 120 folders (12 at the top, 9 in each of them), about the requested
// size, half of them text-like (source code, logs, documentation: lines of
// words from a fixed vocabulary, indented, with numbers that vary, so runs
// of bytes repeat as they do in real text) and half with a random second
// half (as compressed images and archives are).  The same seed gives the
// same tree.
#ifndef VELLMARK_BENCH_PRODUCTTREE_H
#define VELLMARK_BENCH_PRODUCTTREE_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace benchtree {

struct Random {
    uint64_t x;
    uint64_t Next()
    {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    }
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
};

// Text-like bytes, as source code, logs and documentation are: lines drawn
// from a fixed set of line shapes (the common ones far more often than the
// rare ones), whose words come from a fixed vocabulary and whose number
// fields vary, indented in nested blocks.  Such text repeats long runs of
// bytes, as real text does; that is what makes zlib's highest level slow.
class TextSource {
public:
    explicit TextSource(Random& r)
    {
        for (int i = 0; i < 4000; ++i) {
            std::string w;
            uint32_t length = 2 + r.Below(9);
            for (uint32_t k = 0; k < length; ++k)
                w += static_cast<char>('a' + r.Below(26));
            if (r.Below(10) == 0)
                w[0] = static_cast<char>(w[0] - 32);
            words_.push_back(w);
        }
        for (int i = 0; i < 1500; ++i) {
            std::vector<int> shape;   // -1 stands for a number
            uint32_t length = 3 + r.Below(10);
            for (uint32_t k = 0; k < length; ++k) {
                // Three draws, the least kept: low indices are the common words.
                uint32_t a = r.Below(4000), b = r.Below(4000), c = r.Below(4000);
                shape.push_back(r.Below(6) == 0 ? -1 : static_cast<int>(std::min(a, std::min(b, c))));
            }
            shapes_.push_back(shape);
        }
    }

    void Fill(Random& r, std::string& out, size_t length)
    {
        int indent = 0;
        while (out.size() < length) {
            const std::vector<int>& shape = shapes_[std::min(r.Below(1500), r.Below(1500))];
            out.append(static_cast<size_t>(indent) * 4, ' ');
            for (size_t k = 0; k < shape.size(); ++k) {
                if (k > 0)
                    out += ' ';
                out += shape[k] < 0 ? std::to_string(r.Below(k % 2 ? 100 : 100000))
                                    : words_[static_cast<size_t>(shape[k])];
            }
            out += r.Below(3) ? ";\r\n" : " {\r\n";
            uint32_t step = r.Below(5);
            if (step == 0 && indent < 6)
                ++indent;
            else if (step == 1 && indent > 0)
                --indent;
        }
        out.resize(length);
    }

private:
    std::vector<std::string> words_;
    std::vector<std::vector<int>> shapes_;
};

struct ProductTree {
    std::vector<std::string> folders;   // relative, backslash-separated, parents first
    std::vector<std::string> files;     // relative, backslash-separated
    uint64_t bytes = 0;
};

inline std::filesystem::path HostPath(const std::filesystem::path& root, const std::string& relative)
{
    std::string path = relative;
    std::replace(path.begin(), path.end(), '\\', '/');
    return root / path;
}

// Writes the tree under `root` below a top folder `top` (which is made;
// what was there goes), or right under `root` when `top` is empty.  false
// when a file cannot be written.
inline bool MakeProductTree(const std::filesystem::path& root, const std::string& top, size_t megabytes,
                            ProductTree* tree)
{
    Random r{0x9E3779B97F4A7C15ull};
    TextSource text(r);
    std::error_code ec;
    std::filesystem::remove_all(top.empty() ? root : root / top, ec);
    std::filesystem::create_directories(root);
    for (int t = 0; t < 12; ++t) {
        std::string module = (top.empty() ? "" : top + "\\") + "module" + std::to_string(t);
        tree->folders.push_back(module);
        for (int sub = 0; sub < 9; ++sub)
            tree->folders.push_back(module + "\\part" + std::to_string(sub));
    }
    for (const std::string& folder : tree->folders)
        std::filesystem::create_directories(HostPath(root, folder));

    const int files = 2000;
    const uint64_t mean = static_cast<uint64_t>(megabytes) * 1000000 / files;
    std::string content;
    for (int i = 0; i < files; ++i) {
        size_t size = static_cast<size_t>(mean / 4 + r.Below(static_cast<uint32_t>(mean * 3 / 2)));
        bool mixed = i % 2 == 1;
        content.clear();
        text.Fill(r, content, mixed ? size / 2 : size);
        while (content.size() < size) {
            uint64_t v = r.Next();
            content.append(reinterpret_cast<const char*>(&v), std::min<size_t>(8, size - content.size()));
        }
        std::string file = tree->folders[static_cast<size_t>(i) % tree->folders.size()] + "\\file" +
                           std::to_string(i) + (mixed ? ".dat" : ".txt");
        FILE* out = fopen(HostPath(root, file).string().c_str(), "wb");
        bool written = out && fwrite(content.data(), 1, content.size(), out) == content.size();
        if (out)
            written = fclose(out) == 0 && written;
        if (!written)
            return false;
        tree->files.push_back(file);
        tree->bytes += content.size();
    }
    return true;
}

}  // namespace benchtree

#endif
