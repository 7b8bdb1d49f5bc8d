// Paths put together from pieces, and the product's folder and key names.
// Portable: no Windows calls, so the rules are tested natively as well.
//
// One rule holds for every path built here: a piece that does not fit is
// never cut.  A path cut short can name another file, folder or key, so the
// whole path is refused instead and its user fails on an empty text.
#ifndef VELLMARK_PATHTEXT_H
#define VELLMARK_PATHTEXT_H

#include <cstddef>

#include "Settings.h"

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

// A full path: a drive letter, a colon and a backslash ("C:\..."), or two
// backslashes (a server's share, "\\server\...").  A folder that is no full
// path would be taken relative to whatever the current folder happens to be.
bool IsFullPath(const char* path);

// The Company and Product settings, the product's names: each null when the
// script has no such setting.  They point into the record itself.
struct ProductSettings {
    ProductSettings();
    ProductSettings(const ProductSettings&) = delete;
    ProductSettings& operator=(const ProductSettings&) = delete;

    const char* company;
    const char* product;

private:
    char companyText_[SettingValueSize];
    char productText_[SettingValueSize];
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

// The key of the list of installed programs, below HKEY_LOCAL_MACHINE.
constexpr char UninstallKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// A product's entry in that list: UninstallKeyPath, "\" and the product's
// name, or without one (null) the company's.  1 when it fits; 0 with
// `destination` empty when it would not, or when the name chosen is null or
// empty: the key would be the list itself.
int BuildUninstallEntryPath(const char* company, const char* product, char* destination, size_t capacity);

// `base` followed by the names, into `destination` of `capacity` bytes: the
// default destination folder (Program Files + "\Company\Product"), the
// installed-version and product keys ("Software\Company\Product") and the
// shared files key.  1 when the whole path fits; 0 with `destination` empty
// when it would not.
int BuildProductPath(const char* base, ProductNames names, char* destination, size_t capacity);

// ---------------------------------------------------------------------------
// Drivers and their services

// The longest service name a driver can have: the registry takes no longer
// name for one key, and the service manager none longer than that either.
constexpr size_t ServiceNameLimit = 255;

// The size of a service's key path: "System\CurrentControlSet\Services\"
// (34 characters), a name of ServiceNameLimit characters, "\Security" (9) and
// the terminator.
constexpr size_t ServiceKeyPathSize = 34 + ServiceNameLimit + 9 + 1;

// The size of a driver's image path, its terminator included: the longest
// path Windows opens a driver file by (MAX_PATH).
constexpr size_t DriverImagePathSize = 260;

// Whether `name` can name a driver's service: a text that is not empty, holds
// no backslash (it is one key below the services key; one with a backslash
// would reach other keys) and has at most ServiceNameLimit characters.
bool IsServiceName(const char* name);

// "System\CurrentControlSet\Services\" and the service name, followed by
// "\" and `subkey` when that is not null ("Enum", "Security").  1 when
// `serviceName` is a service name and the path fits `capacity` bytes; 0 with
// `destination` empty otherwise.
int BuildServiceKeyPath(const char* serviceName, const char* subkey, char* destination, size_t capacity);

// The file name of a path: the text after its last "\" or "/", or the whole
// text when it has neither.  Never null for a text; null for null.
const char* PathFileName(const char* path);

// The image path a driver's service refers to its file by, wherever the file
// was copied: "\SystemRoot\System32\drivers\" and PathFileName(driverPath).
// 1 when the file name is not empty and the path fits `capacity` bytes; 0
// with `destination` empty otherwise.
int BuildDriverImagePath(const char* driverPath, char* destination, size_t capacity);

// ---------------------------------------------------------------------------
// Shortcuts

// The size of a shortcut's path, its terminator included: the shell saves a
// link under a path of at most MAX_PATH wide characters, so a longer one is
// refused rather than cut into another name.
constexpr size_t ShortcutPathSize = 260;

// Cuts a shortcut's target to its folder, in place: the text ends at its last
// backslash; with no backslash after the first character it becomes empty
// ("C:\Apps\tool.exe" becomes "C:\Apps", "tool.exe" the empty text).  The
// folder is the link's working directory.  Null is left alone.
void CutToFolder(char* path);

#endif
