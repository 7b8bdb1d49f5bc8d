// Paths put together from pieces, and the product's folder and key names.
// Portable: no Windows calls, so the rules are tested natively as well.
//
// One rule holds for every path built here: a piece that does not fit is
// never cut.  A path cut short can name another file, folder or key, so the
// whole path is refused instead and its user fails on an empty text.
#ifndef VELLMARK_PATHTEXT_H
#define VELLMARK_PATHTEXT_H

#include <cstddef>

// The size of the executable path and of every work buffer a path is built
// in, and of every buffer a Windows folder query fills.
constexpr size_t WorkBufferSize = 1024;

// A text built piece by piece in a work buffer.  A piece that does not fit
// marks the whole text overlong (and later pieces are ignored).
struct PathText {
    char text[WorkBufferSize];
    size_t length = 0;
    bool overlong = false;

    PathText() { text[0] = '\0'; }
    void Append(const char* piece);
    // Copies the text into `destination` of `capacity` bytes: 1 when it fits
    // (and is not overlong); otherwise 0 with `destination` made empty.
    int CopyTo(char* destination, size_t capacity) const;
};

// Which names of the product follow a base path, each as "\" and the value of
// its setting (Company, Product), and only when that setting exists.
enum ProductNames : unsigned {
    ProductNamesCompany = 1,            // "\Company"
    ProductNamesCompanyAndProduct = 3,  // "\Company\Product"
    ProductNamesCompanyElseProduct = 4, // "\Company", or without a Company setting "\Product"
};

// Appends the names to `path`, from the settings.
void AppendProductNames(PathText* path, ProductNames names);

// The same from given names: `company` and `product` are the values, or null
// where there is none (the uninstaller takes them from the install log).
void AppendProductNamesOf(PathText* path, ProductNames names, const char* company, const char* product);

// The key that counts the references of shared files and drivers:
// "Software", "\Company" (without a company "\Product", without either
// nothing) and "\Shared Files".  1 when it fits; 0 with `destination` empty.
int BuildSharedFilesKeyPath(const char* company, const char* product, char* destination, size_t capacity);

// `base` followed by the names, into `destination` of `capacity` bytes: the
// default destination folder (Program Files + "\Company\Product"), the
// installed-version and product keys ("Software\Company\Product") and the
// shared files key.  1 when the whole path fits; 0 with `destination` empty
// when it would not.
int BuildProductPath(const char* base, ProductNames names, char* destination, size_t capacity);

#endif
